#include "platform/shell.h"

#include "platform/text.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

namespace plover {

namespace {

std::function<void(const std::string&)>& opener()
{
    static std::function<void(const std::string&)> instance;
    return instance;
}

std::function<void()>& beeper()
{
    static std::function<void()> instance;
    return instance;
}

} // namespace

void ShellOpen(const std::string& path)
{
    if (opener()) {
        opener()(path);
        return;
    }
    (void)QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(path)));
}

void SetShellOpener(std::function<void(const std::string&)> fn)
{
    opener() = std::move(fn);
}

void Beep()
{
    if (beeper())
        beeper()();
    else
        QApplication::beep();
}

void SetBeeper(std::function<void()> fn)
{
    beeper() = std::move(fn);
}

} // namespace plover

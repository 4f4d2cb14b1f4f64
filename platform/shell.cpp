#include "platform/shell.h"

#include "platform/text.h"

#include <QDesktopServices>
#include <QUrl>

namespace plover {

namespace {

std::function<void(const std::string&)>& opener()
{
    static std::function<void(const std::string&)> instance;
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

} // namespace plover

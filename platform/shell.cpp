#include "platform/shell.h"

#include "platform/text.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace plover {

namespace {

std::function<bool(const std::string&)>& opener()
{
    static std::function<bool(const std::string&)> instance;
    return instance;
}

std::function<void()>& beeper()
{
    static std::function<void()> instance;
    return instance;
}

// The desktop's launcher starts detached and says yes whatever follows;
// its own registry says whether any application takes the file's type.
// Unknown (no registry tool) counts as yes.
bool desktopHasHandler(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty())
        return true;
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool ShellOpen(const std::string& path)
{
    if (opener())
        return opener()(path);
    const QString file = ToQ(path);
    return desktopHasHandler(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void SetShellOpener(std::function<bool(const std::string&)> fn)
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

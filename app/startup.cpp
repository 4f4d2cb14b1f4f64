#include "app/startup.h"

#include "app/mysiteswindow.h"
#include "platform/guard.h"
#include "platform/instancelock.h"
#include "shell/trayicon.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <algorithm>

namespace plover {

std::string CommandLineSiteName(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return std::string();
    std::string name = arguments.front();
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

void StartSiteManager(TMySitesWindow& sites, bool anotherInstance, bool trayAvailable,
                      const std::vector<std::string>& arguments)
{
    // An icon on a desktop without a notification area would leave the
    // program unreachable, so there the site manager stays a plain window.
    const bool livesInTray = !anotherInstance && trayAvailable;
    sites.ExitOnClose = !livesInTray;
    if (livesInTray)
        sites.OvTrayIcon951->Activate();

    const std::string siteName = CommandLineSiteName(arguments);
    if (siteName.empty()) {
        sites.show();
        return;
    }
    const int index = sites.Sites().IndexOf(siteName);
    if (index >= 0) {
        sites.DoConnection(sites.Sites().Object(index).Record());
    } else if (!livesInTray) {
        sites.show();
    }
}

int PloverMain(int argc, char** argv)
{
    // The look-up happens before this process creates its own site manager.
    InstanceLock instance("TMySitesWindow");
    const bool anotherInstance = instance.AnotherInstanceRunning();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plover"));
    // Closing windows never ends the program: only the site manager's exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    TMySitesWindow sites;
    // A damaged sites.dat is reported; start-up goes on with what was read.
    Guard([&] { sites.FormCreate(); });

    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    // A failure while connecting to the named site is reported, and the
    // program goes on.
    if (!Guard([&] { StartSiteManager(sites, anotherInstance, QSystemTrayIcon::isSystemTrayAvailable(), arguments); })
        && !sites.OvTrayIcon951->Active())
        sites.show();  // without an icon, the window is the only way in
    return QApplication::exec();
}

} // namespace plover

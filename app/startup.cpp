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
    // Without an icon the site manager is the one way back in and out (its
    // close is the exit): shown in every case, behind a session that the
    // command line opens.
    if (!livesInTray)
        sites.show();

    const std::string siteName = CommandLineSiteName(arguments);
    if (siteName.empty()) {
        sites.show();
        return;
    }
    const int index = sites.Sites().IndexOf(siteName);
    if (index >= 0)
        sites.DoConnection(sites.Sites().Object(index).Record());
}

void TakeHandOver(TMySitesWindow& sites, const std::vector<std::string>& arguments)
{
    const std::string siteName = CommandLineSiteName(arguments);
    const int index = siteName.empty() ? -1 : sites.Sites().IndexOf(siteName);
    if (index >= 0) {
        sites.DoConnection(sites.Sites().Object(index).Record());
        return;
    }
    sites.show();
    sites.raise();
    sites.activateWindow();
}

int PloverMain(int argc, char** argv)
{
    // The look-up happens before this process creates its own site manager.
    // A running instance takes this start's command line, so one program
    // owns sites.dat; only when it does not answer does this one run too.
    InstanceLock instance("TMySitesWindow");
    const bool anotherInstance = instance.AnotherInstanceRunning();
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    if (anotherInstance && instance.HandOver(arguments))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plover"));
    // Closing windows never ends the program: only the site manager's exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    TMySitesWindow sites;
    // A damaged sites.dat is reported; start-up goes on with what was read.
    Guard([&] { sites.FormCreate(); });

    if (instance.Held())
        instance.AcceptHandOvers([&sites](const std::vector<std::string>& handed) {
            Guard([&] { TakeHandOver(sites, handed); });
        });
    // A failure while connecting to the named site is reported, and the
    // program goes on.
    if (!Guard([&] { StartSiteManager(sites, anotherInstance, QSystemTrayIcon::isSystemTrayAvailable(), arguments); })
        && !sites.OvTrayIcon951->Active())
        sites.show();  // without an icon, the window is the only way in
    return QApplication::exec();
}

} // namespace plover

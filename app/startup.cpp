#include "app/startup.h"

#include "app/mysiteswindow.h"
#include "platform/guard.h"
#include "platform/instancelock.h"

#include <QApplication>
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

int PloverMain(int argc, char** argv)
{
    // The look-up happens before this process creates its own site manager.
    InstanceLock instance("TMySitesWindow");
    const bool anotherInstance = instance.AnotherInstanceRunning();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plover"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plover"));
    // Closing windows never ends the program: only the site manager's exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    TMySitesWindow sites;
    // A damaged sites.dat is reported; start-up goes on with what was read.
    Guard([&] { sites.FormCreate(); });

    // Until the notification-area icon exists, a primary instance would have
    // no way back to a hidden site manager, so every instance behaves like a
    // secondary one: closing the site manager runs the exit.
    const bool trayIconShown = false;
    sites.ExitOnClose = anotherInstance || !trayIconShown;

    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    std::string siteName = CommandLineSiteName(arguments);
    if (!siteName.empty()) {
        int index = sites.Sites().IndexOf(siteName);
        if (index >= 0) {
            // Connecting arrives with the session window; until then the
            // named profile is shown selected in the site manager.
            sites.SelectIndex(index);
            sites.show();
        } else if (anotherInstance || !trayIconShown) {
            sites.show();
        }
    } else {
        sites.show();
    }
    return QApplication::exec();
}

} // namespace plover

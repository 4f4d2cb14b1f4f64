// The program's entry: the one-instance rule, the windows, the command line.
#pragma once

#include <string>
#include <vector>

namespace plover {

// The site name given on the command line: the first argument with every
// "_" read as a space; empty when there is none.
std::string CommandLineSiteName(const std::vector<std::string>& arguments);

class TMySitesWindow;

// The start-up steps after the site manager is loaded. The primary instance
// lives behind its tray icon; without a notification area, or in a second
// instance that runs on its own, it is an ordinary window, shown in every
// case, whose close ends the program.
void StartSiteManager(TMySitesWindow& sites, bool anotherInstance, bool trayAvailable,
                      const std::vector<std::string>& arguments);

// The command line a later start handed over: the profile it names, or the
// site manager when it names none that exists.
void TakeHandOver(TMySitesWindow& sites, const std::vector<std::string>& arguments);

// Runs Plover; returns the process exit code.
int PloverMain(int argc, char** argv);

} // namespace plover

// Where Plover keeps its files on Linux.
//   data directory:   $XDG_DATA_HOME/plover (~/.local/share/plover), mode 0700,
//                     holds sites.dat (mode 0600: it holds passwords)
//   settings file:    $XDG_CONFIG_HOME/plover/plover.ini (~/.config/plover)
//   program directory: the executable's directory (help file, unzip module)
//   temp directory:   TMP, then TMPDIR, then the data directory; ends in "/"
#pragma once

#include <string>

namespace plover {

std::string DataDir();          // created on first use
std::string SettingsFilePath(); // its directory is created on first use
std::string ProgramFile();      // full path of the running executable
std::string ProgramDir();       // without a trailing "/" (except for "/")
std::string TempDirFromEnvironment();
std::string RuntimeDir();       // $XDG_RUNTIME_DIR, else a private folder in /tmp

// Creates the directory and its missing parents; the last level gets mode.
bool MakeDirectories(const std::string& path, unsigned mode);

} // namespace plover

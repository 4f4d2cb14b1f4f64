// Opening a file with the desktop's default application. Tests replace the
// opener with a recorder, so they see what would open without launching it.
#pragma once

#include <functional>
#include <string>

namespace plover {

// Hands the local file to the desktop; the result is not checked.
void ShellOpen(const std::string& path);

// Tests: every ShellOpen goes to opener instead; an empty one restores the desktop.
void SetShellOpener(std::function<void(const std::string&)> opener);

} // namespace plover

// Opening a file with the desktop's default application, and the default
// beep. Tests replace both with recorders, so they see what would open or
// sound without launching or sounding anything.
#pragma once

#include <functional>
#include <string>

namespace plover {

// Hands the local file to the desktop; false when the desktop has nothing
// to open it with (no launcher, or the platform cannot open documents).
[[nodiscard]] bool ShellOpen(const std::string& path);

// Tests: every ShellOpen goes to opener instead, which gives the result;
// an empty one restores the desktop.
void SetShellOpener(std::function<bool(const std::string&)> opener);

// The desktop's default beep (the end of a transfer).
void Beep();
// Tests: every Beep goes to beeper instead; an empty one restores the sound.
void SetBeeper(std::function<void()> beeper);

} // namespace plover

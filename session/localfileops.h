// The local side of the session's rename, delete and make-directory
// commands, on paths the caller has already joined. Each returns what
// happened; the window decides what to tell the user.
#pragma once

#include <string>

namespace plover {

// 0 when the operation worked, else the errno it failed with.
struct TLocalFileResult {
    int Error = 0;
    [[nodiscard]] bool Ok() const { return Error == 0; }
};

// Moves from to to (a folder part in to moves the file), never replacing
// anything already named to: that fails with EEXIST.
[[nodiscard]] TLocalFileResult RenameLocalFile(const std::string& from, const std::string& to);
// Removes one file (not a directory).
[[nodiscard]] TLocalFileResult DeleteLocalFile(const std::string& path);
// Creates one directory; its parent must exist.
[[nodiscard]] TLocalFileResult MakeLocalDirectory(const std::string& path);

} // namespace plover

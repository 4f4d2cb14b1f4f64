// The rules of the session's file commands that need no window: which names
// may become local paths, which items count as archives, and the paths and
// rows the commands build. The window calls these; tests call them directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

// A name from the server may become a local file name only when it names
// one entry of the current directory: not empty, not "." or "..", without
// "/" or a NUL byte. Anything else could write outside the chosen folder.
// A CR or LF is refused too: sent back to the server, it would end the
// command early.
[[nodiscard]] bool IsSafeRemoteName(std::string_view name);
// The message shown when an item is refused for its name.
[[nodiscard]] std::string UnsafeNameMessage(std::string_view name);

// The extension from the last "." (when no "/", "\" or ":" follows it),
// compared with ".zip" ignoring letter case.
[[nodiscard]] bool IsZipName(std::string_view name);

// The part after the last "/".
[[nodiscard]] std::string FileNamePart(std::string_view path);

// directory + "/" + name; a directory that already ends in "/" (the root)
// gets no second one.
[[nodiscard]] std::string JoinLocalPath(std::string_view directory, std::string_view name);

// Where Unzip unpacks an archive: beside it, in a folder named after it
// without its last four characters (the ".zip").
[[nodiscard]] std::string UnzipDestination(std::string_view directory, std::string_view archivePath);

// The row an upload appends: the name, a blank date key, the size.
[[nodiscard]] std::string UploadedRow(std::string_view name, int64_t size);
// A renamed row keeps its date key and size; an empty size becomes "0".
[[nodiscard]] std::string RenamedRow(std::string_view row, std::string_view newName);

// The size step of an upload: opened for reading only (a read-only file
// can be sent), measured and closed. Throws EInOutError when it cannot be read.
[[nodiscard]] int64_t LocalFileSize(const std::string& path);

} // namespace plover

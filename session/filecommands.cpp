#include "session/filecommands.h"

#include "platform/exception.h"
#include "session/listing.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plover {

bool IsSafeRemoteName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0\r\n", 4)) == std::string_view::npos;
}

std::string UnsafeNameMessage(std::string_view name)
{
    std::string shown(name);
    // A NUL would cut the message short and a line break would split it.
    for (char& c : shown)
        if (c == '\0' || c == '\r' || c == '\n')
            c = '?';
    return "The server sent the file name \"" + shown +
           "\", which cannot be used as a local file name. The item was skipped.";
}

bool IsZipName(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view ext = name.substr(dot);
    if (ext.find_first_of("/\\:") != std::string_view::npos || ext.size() != 4)
        return false;
    std::string lower(ext);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower == ".zip";
}

std::string FileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string JoinLocalPath(std::string_view directory, std::string_view name)
{
    std::string out(directory);
    if (out.empty() || out.back() != '/')
        out += '/';
    return out + std::string(name);
}

std::string UnzipDestination(std::string_view directory, std::string_view archivePath)
{
    std::string base = FileNamePart(archivePath);
    base.resize(base.size() > 4 ? base.size() - 4 : 0);
    return JoinLocalPath(directory, base);
}

std::string UploadedRow(std::string_view name, int64_t size)
{
    return MakeListingRow(name, " ", std::to_string(size));
}

std::string RenamedRow(std::string_view row, std::string_view newName)
{
    return MakeListingRow(newName, ExtractListingDate(row), std::to_string(ExtractListingSize(row)));
}

int64_t LocalFileSize(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    const bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw EInOutError::FromErrno(error);
    return static_cast<int64_t>(st.st_size);
}

} // namespace plover

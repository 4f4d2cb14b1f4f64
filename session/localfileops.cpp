#include "session/localfileops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plover {

namespace {

TLocalFileResult resultOf(int status)
{
    return {status == 0 ? 0 : errno};
}

} // namespace

TLocalFileResult RenameLocalFile(const std::string& from, const std::string& to)
{
    // The kernel refuses an existing target itself, so nothing can appear
    // under that name between a check and the move.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return {errno};
    // A file system without that flag: check, then move.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return {EEXIST};
    return resultOf(::rename(from.c_str(), to.c_str()));
}

TLocalFileResult DeleteLocalFile(const std::string& path)
{
    return resultOf(::unlink(path.c_str()));
}

TLocalFileResult MakeLocalDirectory(const std::string& path)
{
    return resultOf(::mkdir(path.c_str(), 0777));
}

} // namespace plover

#include "platform/atomicfile.h"

#include "platform/exception.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plover {

namespace {

// A write beyond a file-size limit would otherwise kill the process.
void ignoreFileSizeSignal()
{
    static const bool done = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)done;
}

} // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode)
{
    ignoreFileSizeSignal();
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        throw EInOutError::FromErrno(errno);

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw EInOutError::FromErrno(err);
    };

    if (fchmod(fd, mode) != 0)
        fail(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw EInOutError::FromErrno(err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw EInOutError::FromErrno(err);
    }
}

} // namespace plover

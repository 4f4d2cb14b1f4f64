#include "platform/instancelock.h"

#include "platform/dirs.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace plover {

namespace {

bool fillAddress(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// True when a live process accepts connections on the socket file.
bool someoneListens(const sockaddr_un& addr)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool live = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return live;
}

} // namespace

InstanceLock::InstanceLock(std::string name, std::string dir)
{
    if (dir.empty())
        dir = RuntimeDir();
    m_path = dir + "/plover-" + name;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

bool InstanceLock::AnotherInstanceRunning()
{
    if (m_fd >= 0)
        return false;
    sockaddr_un addr;
    if (!fillAddress(m_path, addr))
        return false;
    // Binding is the atomic test: of two instances starting together only
    // one gets the name. A stale socket file is removed and binding retried once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 4) == 0) {
            m_fd = fd;
            return false;
        }
        int err = errno;
        ::close(fd);
        if (err != EADDRINUSE)
            return false;
        if (someoneListens(addr))
            return true;
        ::unlink(m_path.c_str());
    }
    return false;
}

} // namespace plover

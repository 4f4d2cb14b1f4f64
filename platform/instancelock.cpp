#include "platform/instancelock.h"

#include "platform/dirs.h"

#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
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

// The hand-over message: a header, every argument followed by a NUL byte,
// then the end of the stream; the answer is "OK\n". The header tells a
// hand-over from a start that only looks whether someone listens. Both
// sides give up after a bounded time and a bounded size, so a stuck peer
// stalls nobody.
constexpr char header[] = "plover-arguments\n";
constexpr std::size_t maxMessage = 64 * 1024;

// Waits for fd to be ready (POLLIN or POLLOUT) until the deadline.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) == 1 && (p.revents & events);
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
    m_notifier.reset();
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

void InstanceLock::AcceptHandOvers(std::function<void(const std::vector<std::string>&)> handler)
{
    m_handler = std::move(handler);
    if (m_fd < 0 || m_notifier)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { acceptOne(); });
}

void InstanceLock::acceptOne()
{
    const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0)
        return;
    // A short, bounded exchange: the other start is waiting for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::string message;
    bool complete = false;
    char buffer[4096];
    while (message.size() < maxMessage && waitFor(c, POLLIN, deadline)) {
        const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        message.append(buffer, static_cast<std::size_t>(n));
    }
    if (complete && message.compare(0, sizeof header - 1, header) == 0) {
        std::vector<std::string> arguments;
        std::size_t start = sizeof header - 1;
        for (std::size_t end; (end = message.find('\0', start)) != std::string::npos; start = end + 1)
            arguments.push_back(message.substr(start, end - start));
        if (waitFor(c, POLLOUT, deadline))
            (void)::send(c, "OK\n", 3, MSG_NOSIGNAL);
        ::close(c);
        if (m_handler)
            m_handler(arguments);
        return;
    }
    ::close(c);
}

bool InstanceLock::HandOver(const std::vector<std::string>& arguments, int timeoutMs) const
{
    sockaddr_un addr;
    if (!fillAddress(m_path, addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool taken = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0
        || (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline))) {
        std::string message = header;
        for (const std::string& a : arguments)
            message += a + '\0';
        std::size_t sent = 0;
        while (sent < message.size() && waitFor(fd, POLLOUT, deadline)) {
            const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        if (sent == message.size() && ::shutdown(fd, SHUT_WR) == 0 && waitFor(fd, POLLIN, deadline)) {
            char answer[3];
            taken = ::recv(fd, answer, sizeof answer, 0) == 3 && std::memcmp(answer, "OK\n", 3) == 0;
        }
    }
    ::close(fd);
    return taken;
}

} // namespace plover

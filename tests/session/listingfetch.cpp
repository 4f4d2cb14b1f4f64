#include "tests/session/listingfetch.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace plover::test {

namespace {

constexpr int IoTimeoutSeconds = 10;
constexpr std::size_t MaxListingBytes = 16 << 20;

class Fd final {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};


int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    timeval tv{IoTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        throw std::runtime_error("connect to 127.0.0.1:" + std::to_string(port) + " failed");
    }
    return fd;
}

class Control final {
public:
    explicit Control(int port) : m_fd(connectTo(port)) {}

    // The final line of the next reply, continuation lines ("123-") skipped.
    std::string Reply()
    {
        std::string first = line();
        if (first.size() >= 4 && first[3] == '-') {
            const std::string end = first.substr(0, 3) + " ";
            for (int n = 0; n < 1000; ++n) {
                std::string next = line();
                if (next.compare(0, 4, end) == 0)
                    return next;
            }
            throw std::runtime_error("endless reply: " + first);
        }
        return first;
    }

    std::string Command(const std::string& cmd, char expect)
    {
        const std::string out = cmd + "\r\n";
        if (::send(m_fd.get(), out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
            throw std::runtime_error("send failed: " + cmd);
        return Expect(expect);
    }

    std::string Expect(char first)
    {
        std::string r = Reply();
        if (r.empty() || r[0] != first)
            throw std::runtime_error("unexpected reply: " + r);
        return r;
    }

private:
    std::string line()
    {
        for (;;) {
            const std::size_t lf = m_buf.find('\n');
            if (lf != std::string::npos) {
                std::string l = m_buf.substr(0, lf);
                m_buf.erase(0, lf + 1);
                if (!l.empty() && l.back() == '\r')
                    l.pop_back();
                return l;
            }
            if (m_buf.size() > 64 * 1024)
                throw std::runtime_error("reply line too long");
            char chunk[4096];
            const ssize_t n = ::recv(m_fd.get(), chunk, sizeof chunk, 0);
            if (n <= 0)
                throw std::runtime_error("control connection closed or timed out");
            m_buf.append(chunk, static_cast<std::size_t>(n));
        }
    }

    Fd m_fd;
    std::string m_buf;
};

int passivePort(const std::string& reply)
{
    const std::size_t open = reply.find('(');
    unsigned h1, h2, h3, h4, p1, p2;
    if (open == std::string::npos ||
        std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
        throw std::runtime_error("bad PASV reply: " + reply);
    return static_cast<int>(p1 * 256 + p2);
}

} // namespace

std::vector<std::string> FetchListing(int port, const std::string& user, const std::string& password)
{
    Control control(port);
    control.Expect('2');
    control.Command("USER " + user, '3');
    control.Command("PASS " + password, '2');
    const int dataPort = passivePort(control.Command("PASV", '2'));
    const Fd data(connectTo(dataPort));
    control.Command("LIST", '1');

    std::string bytes;
    for (;;) {
        char chunk[65536];
        const ssize_t n = ::recv(data.get(), chunk, sizeof chunk, 0);
        if (n == 0)
            break;
        if (n < 0)
            throw std::runtime_error("listing data timed out");
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.size() > MaxListingBytes)
            throw std::runtime_error("listing too long");
    }
    control.Expect('2');
    control.Command("QUIT", '2');

    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = bytes.find('\n', begin);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

} // namespace plover::test

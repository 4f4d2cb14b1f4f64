#include "tests/net/peer.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace plover::test {

Peer::Peer()
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 4) != 0)
        throw std::runtime_error("peer: cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
}

Peer::~Peer()
{
    Close();
    StopListening();
}

bool Peer::Accept(int timeoutMs)
{
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return false;
    m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    // A blocking send to a client that stopped reading fails after 5 s
    // instead of hanging the test.
    timeval limit{5, 0};
    ::setsockopt(m_conn, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return m_conn >= 0;
}

void Peer::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_conn, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("peer: send failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string Peer::Receive(int timeoutMs)
{
    std::string out;
    pollfd p{m_conn, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return out;
    char buf[65536];
    for (int i = 0; i < 1000; ++i) {
        const ssize_t n = ::recv(m_conn, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

void Peer::SendInLoop(std::string data, bool closeWhenDone)
{
    ::fcntl(m_conn, F_SETFL, ::fcntl(m_conn, F_GETFL) | O_NONBLOCK);
    m_out = std::move(data);
    m_outDone = 0;
    m_writer = std::make_unique<QSocketNotifier>(m_conn, QSocketNotifier::Write);
    QObject::connect(m_writer.get(), &QSocketNotifier::activated, [this, closeWhenDone] {
        const ssize_t n = ::send(m_conn, m_out.data() + m_outDone, m_out.size() - m_outDone, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            m_outDone += static_cast<std::size_t>(n);
        else if (errno != EAGAIN && errno != EINTR)
            m_outDone = m_out.size();
        if (SendDone()) {
            m_writer->setEnabled(false);
            if (closeWhenDone)
                QTimer::singleShot(0, &m_context, [this] { Close(); });
        }
    });
}

void Peer::Close()
{
    m_notifier.reset();
    m_writer.reset();
    if (m_conn >= 0)
        ::close(m_conn);
    m_conn = -1;
}

void Peer::StopListening()
{
    if (m_listen >= 0)
        ::close(m_listen);
    m_listen = -1;
}

void Peer::ReadInLoop(std::function<void(const char*, std::size_t)> sink)
{
    m_notifier = std::make_unique<QSocketNotifier>(m_conn, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, sink] {
        char buf[262144];
        const ssize_t n = ::recv(m_conn, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0)
            sink(buf, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            m_notifier->setEnabled(false);
    });
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] { timedOut = true; });
    watchdog.start(timeoutMs);
    for (int turns = 0; !pred() && !timedOut && turns < 10000000; ++turns)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return pred();
}

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace plover::test

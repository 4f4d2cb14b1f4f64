// A TCP peer inside the test process, on 127.0.0.1 with a port chosen by the
// system. Its calls are bounded by a time-out; none sleeps.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plover::test {

class Peer {
public:
    Peer();  // listening
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Takes the pending connection (waits at most timeoutMs).
    bool Accept(int timeoutMs = 5000);
    void Send(const std::string& bytes);
    // Reads what has arrived, waiting at most timeoutMs for the first byte.
    std::string Receive(int timeoutMs = 5000);
    void Close();
    // Stops listening, so connecting to Port() is refused.
    void StopListening();
    // Reads from Qt's loop as data arrives (for senders in the same thread).
    void ReadInLoop(std::function<void(const char*, std::size_t)> sink);
    // Sends from Qt's loop as the socket takes data; closes when all is out
    // if asked to.
    void SendInLoop(std::string data, bool closeWhenDone);
    bool SendDone() const { return m_outDone >= m_out.size(); }
    int Connection() const { return m_conn; }

private:
    int m_listen = -1;
    int m_conn = -1;
    std::uint16_t m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QSocketNotifier> m_writer;
    QObject m_context; // for deferred calls that must die with the peer
    std::string m_out;
    std::size_t m_outDone = 0;
};

// Runs Qt's loop until pred() holds or timeoutMs has passed; pred's value.
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// Process CPU time (all threads) in seconds.
double ProcessCpuSeconds();

} // namespace plover::test

// CListeningSocket: the listening end of an active-mode FTP data connection.
// It listens on a free local port, accepts exactly one connection from the
// server and then stops listening; the accepted socket is then driven like
// any CIPPort connection.
#pragma once

#include "net/ipport.h"

namespace plover {

class CListeningSocket : public CIPPort {
public:
    explicit CListeningSocket(QObject* owner = nullptr);
    ~CListeningSocket() override;

    // Opens a listener on the local address and port (0: the system
    // chooses): the control connection's address, so the data port is not
    // offered on every interface. Only a connection from the expected peer
    // (the server) is taken; another (port theft) is closed and the
    // listener keeps waiting. 0 or the library's error (the listener is
    // then closed).
    [[nodiscard]] int ListenForData(const NetAddress& local, const NetAddress& expectedPeer);
    // The port the listener got; 0 without one.
    std::uint16_t ListenPort() const;
    void CloseListener();
    bool Listening() const { return m_listenSocket != INVALID_SOCKET; }
    SOCKET ListenSocket() const { return m_listenSocket; }

    // Accept notifications for the listener, and the accepted socket's own.
    void HandleSocketMessage(const MSG& msg) override;

protected:
    void FireError(int code, const std::string& description) override;
    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    void FireDataIn(const char* data, std::int64_t length, bool eol) override;
    void FireReadyToSend() override;

private:
    void accept();

    SOCKET m_listenSocket = INVALID_SOCKET;
    NetAddress m_expectedPeer;
};

// PORT's "%d,%d,%d,%d,%d,%d" of an address (host byte order) and a port.
std::string FormatPortArgument(std::uint32_t address, std::uint16_t port);
// EPRT's "|1|address|port|" or "|2|address|port|" (RFC 2428).
std::string FormatEprtArgument(const NetAddress& address, std::uint16_t port);

} // namespace plover

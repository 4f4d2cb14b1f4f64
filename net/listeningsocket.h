// CListeningSocket: the listening end of an active-mode FTP data connection.
// It listens on a free local port, accepts exactly one connection from the
// server and then stops listening; the accepted socket is then driven like
// any CIPPort connection.
#pragma once

#include "net/ipport.h"

namespace plover {

class TFTP;

class CListeningSocket : public CIPPort {
public:
    explicit CListeningSocket(TFTP* owner);
    ~CListeningSocket() override;

    // Opens a listener on the local address (network byte order; the
    // control connection's, so the data port is not offered on every
    // interface) and port (0: the system chooses). 0 or the library's error
    // (the listener is then closed).
    [[nodiscard]] int ListenForData(std::uint16_t port, std::uint32_t localAddress);
    // The PORT argument "h1,h2,h3,h4,p1,p2": the control connection's local
    // address (the one the server reaches us through) and the listener's port.
    [[nodiscard]] int MakePortArgument(SOCKET controlSocket, std::string& argument);
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

    TFTP* m_owner;

private:
    void accept();

    SOCKET m_listenSocket = INVALID_SOCKET;
};

// "%d,%d,%d,%d,%d,%d" of an address (host byte order) and a port.
std::string FormatPortArgument(std::uint32_t address, std::uint16_t port);

} // namespace plover

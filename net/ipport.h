// CIPPort: an asynchronous TCP client connection. It resolves the remote
// host, connects a non-blocking IPv4 socket, takes readiness notifications
// as WM_SOCKET_NOTIFY messages at its owner's hidden window, cuts received
// bytes into lines (LineFIFO) and sends blocks.
// CIPPortMsg adds the synchronous layer a protocol needs: send a command,
// then wait for one reply line (or the connection, or an interrupt) while
// pumping this thread's messages. A wait sleeps in Qt while nothing
// happens; see WaitReplyLine.
#pragma once

#include "net/linefifo.h"
#include "net/winsock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plover {

class HiddenWindow;

class CIPPort : public CWinsock {
public:
    explicit CIPPort(QObject* owner = nullptr);
    ~CIPPort() override;

    // Socket buffer options (SO_RCVBUF / SO_SNDBUF), 2048 by default.
    std::uint16_t InBufferSize() const { return m_inBufferSize; }
    void SetInBufferSize(std::uint16_t size);
    std::uint16_t OutBufferSize() const { return m_outBufferSize; }
    void SetOutBufferSize(std::uint16_t size);
    // False: connecting leaves the system's buffer sizes alone (a bulk data
    // connection wants far more than 2048 bytes).
    bool ApplyBufferSizes() const { return m_applyBufferSizes; }
    void SetApplyBufferSizes(bool apply) { m_applyBufferSizes = apply; }

    // Dotted address, or "" while unset. Writing resolves at once (101 while
    // a socket exists; a name that does not resolve reports the look-up
    // error, silently while the library is unloaded, and leaves 0).
    std::string RemoteHost() const;
    void SetRemoteHost(const std::string& host);
    std::uint32_t RemoteAddress() const { return m_remoteAddress; } // network byte order
    std::uint16_t RemotePort() const { return m_remotePort; }
    void SetRemotePort(std::uint16_t port);
    std::uint16_t LocalPort() const { return m_localPort; }
    void SetLocalPort(std::uint16_t port) { m_localPort = port; }
    bool Linger() const { return m_linger; }
    void SetLinger(bool linger);
    bool KeepAlive() const { return m_keepAlive; }
    void SetKeepAlive(bool keepAlive);

    // While false, received bytes stay in the socket or the buffer. Setting
    // it true while connected posts a read event for what already waits.
    bool AcceptData() const { return m_acceptData; }
    void SetAcceptData(bool accept);
    // Line terminator; empty text is raw mode (each receive is one block).
    const std::string& EOL() const { return m_fifo.EOL(); }
    void SetEOL(const std::string& eol);
    void SetAnyCharacterEOL(bool any) { m_fifo.SetAnyCharacter(any); }
    // Receive buffer size: the longest line, and the most one recv takes.
    // 2048 as designed; a raw data connection may choose 256 KiB.
    std::int32_t ReceiveCapacity() const { return m_fifo.Capacity(); }
    void SetReceiveCapacity(std::int32_t bytes) { m_fifo.SetCapacity(bytes); }

    bool Connected() const { return m_connected; }
    // True connects (the outcome arrives as a connect notification), false
    // closes.
    virtual void SetConnected(bool connect);
    // SO_OOBINLINE; returns the library's error or 0, reports nothing.
    int SetOOBInline(bool inlineOob);
    // While connected, the socket's local address; otherwise the host name.
    std::string LocalHost() override;

    // Sends what the socket takes at once; anything short of all of it
    // ("would block" included) is reported.
    void SetDataToSend(const char* data, std::int64_t length);
    // One send: 0 when all was taken, 10035 when only BytesSent() bytes
    // were, 10057 when not connected, else the library's error.
    [[nodiscard]] int SendBlock(const char* data, std::int64_t length, int flags);
    std::int64_t BytesSent() const { return m_bytesSent; }
    SOCKET Socket() const { return m_socket; }

    std::function<void(CIPPort* sender)> OnReadyToSend;
    std::function<void(CIPPort* sender, const std::string& text, bool eol)> OnDataIn;
    std::function<void(CIPPort* sender, int code, const std::string& description)> OnConnected;
    std::function<void(CIPPort* sender, int code, const std::string& description)> OnDisconnected;

    // Gives this connection a hidden window of its own (freed with it) whose
    // procedure is WindowProc. An owner of several connections (control and
    // data) keeps one window and routes by socket instead.
    void AllocateWindow();
    // A WM_SOCKET_NOTIFY for this connection's socket (others are ignored).
    virtual void HandleSocketMessage(const MSG& msg);

protected:
    virtual LRESULT WindowProc(const MSG& msg);
    virtual void FireConnected(int code);
    virtual void FireDisconnected(int code);
    // One line (eol true) or a piece without terminator (eol false). The
    // bytes are valid only during the call.
    virtual void FireDataIn(const char* data, std::int64_t length, bool eol);
    virtual void FireReadyToSend();

    // code: a close notification's lParam (error in the high word), or 32
    // for a local close. Deferred while the receive loop runs.
    int CloseConnection(LPARAM code);
    void ResetSocket();
    // Takes over a connected socket made elsewhere (an accepted data
    // connection): any old socket is closed without hooks and the receive
    // state starts afresh.
    void AdoptSocket(SOCKET s);
    void ReceiveData(bool flush);
    void PostReadEvent();

    LineFIFO m_fifo{2048};
    SOCKET m_socket = INVALID_SOCKET;
    bool m_connected = false;
    // The block being delivered, set only while the data-in handler runs.
    const char* m_deliveredData = nullptr;
    std::int64_t m_deliveredLength = 0;

private:
    void failConnect(int code);

    std::uint16_t m_inBufferSize = 2048;
    std::uint16_t m_outBufferSize = 2048;
    bool m_applyBufferSizes = true;
    std::uint32_t m_remoteAddress = 0;
    std::uint16_t m_remotePort = 0;
    std::uint16_t m_localPort = 0;
    bool m_inReceive = false;
    bool m_closePending = false;
    // A read notification arrived while the receive loop ran; read again.
    bool m_readDeferred = false;
    bool m_linger = true;
    bool m_keepAlive = false;
    std::int64_t m_bytesSent = 0;
    bool m_acceptData = true;
    std::unique_ptr<HiddenWindow> m_ownWindow;
};

class CIPPortMsg : public CIPPort {
public:
    static constexpr int ReplyLineSize = 1024;

    explicit CIPPortMsg(QObject* owner = nullptr);

    // Sends everything, pumping messages while the socket is full. 301 when
    // interrupted, a nonzero SendProgress result, or the send's error.
    int SendAll(const char* data, std::int64_t length);
    int SendAll(const std::string& text) { return SendAll(text.data(), static_cast<std::int64_t>(text.size())); }
    // name [" " data] terminator, then WaitReplyLine. An empty name sends
    // nothing and only waits (a greeting).
    int SendCommand(const std::string& name, const std::string& data, const std::string& terminator);
    // Waits for one line: 0 when it is in ReplyLine, 301 when interrupted,
    // or a nonzero WaitIdle result. No time limit. Each turn takes one
    // message, then checks for the line, then runs WaitIdle; a turn sleeps
    // in Qt only when the queue is empty and the last WaitIdle did no work.
    int WaitReplyLine();
    // Connects and waits for the outcome: 0, the connect error, or 301.
    int ConnectAndWait();
    // One turn of a wait; false when a WM_SOCKET_INTERRUPT was taken.
    bool PumpMessage(bool mayBlock = true);
    // Breaks the running waits: posts five WM_SOCKET_INTERRUPT, takes one.
    void Interrupt();

    // The last line, cut to 1024 bytes.
    std::string ReplyLine() const { return m_replyLine; }
    // True (default): reading stops after each stored line, so the next
    // lines wait for the next wait.
    bool OneLine() const { return m_oneLine; }
    void SetOneLine(bool oneLine) { m_oneLine = oneLine; }

protected:
    // Between the pieces of a send that had to wait; nonzero ends SendAll.
    virtual int SendProgress(std::int64_t bytesSent);
    // Every turn of a reply wait; a nonzero result ends the wait with it.
    // Set didWork when the turn moved data (an upload block), so the next
    // turn does not sleep.
    virtual int WaitIdle(bool& didWork);

    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    void FireDataIn(const char* data, std::int64_t length, bool eol) override;
    void FireReadyToSend() override;

    bool m_waiting = false;
    int m_connectResult = 0;

private:
    bool m_oneLine = true;
    char m_replyLine[ReplyLineSize + 1] = {};
};

} // namespace plover

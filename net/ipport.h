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
#include "platform/netaddress.h"
#include "net/winsock.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plover {

class HiddenWindow;

class CIPPort : public CWinsock {
protected:
    // No socket, a connect under way, or connected; see setSocketState.
    enum class TSocketState : std::uint8_t { None, Connecting, Connected };
    // The receive loop: idle, running, running with a read notification
    // come in meanwhile (it reads once more), or running with a close
    // requested meanwhile (it closes when its turn ends).
    enum class TReceiveState : std::uint8_t { Idle, Receiving, ReadAgain, ClosePending };

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

    // The address to connect to, as text ("127.0.0.1", "::1"), or "" while
    // unset. Writing resolves at once (101 while a socket exists): an IPv4
    // or IPv6 literal (brackets allowed) stands for itself, a name gives
    // every address the resolver has for it, IPv4 and IPv6, tried in its
    // order when connecting. A name that does not resolve reports the
    // look-up error (silently while the library is unloaded) and leaves
    // no address.
    std::string RemoteHost() const;
    void SetRemoteHost(const std::string& host);
    // The text last written to RemoteHost, as given.
    const std::string& RemoteHostName() const { return m_hostName; }
    // The IPv4 address in network byte order; 0 for IPv6 or none.
    std::uint32_t RemoteAddress() const { return RemoteNetAddress().IPv4(); }
    NetAddress RemoteNetAddress() const;
    // The address itself, as a connection already made knows it (101 while
    // a socket exists).
    void SetRemoteAddress(std::uint32_t address);
    void SetRemoteNetAddress(const NetAddress& address);
    // The socket's own and its peer's address; none without a socket.
    NetAddress LocalNetAddress() const;
    NetAddress PeerNetAddress() const;
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
    // Receive buffer size: the most one recv takes, and two bytes more than
    // the longest line kept whole. A raw data connection chooses far more.
    std::int32_t ReceiveCapacity() const { return m_fifo.Capacity(); }
    void SetReceiveCapacity(std::int32_t bytes) { m_fifo.SetCapacity(bytes); }
    // See LineFIFO::SetStickyEOL (listings).
    void SetStickyEOL(bool sticky) { m_fifo.SetStickyEOL(sticky); }

    bool Connected() const { return m_state == TSocketState::Connected; }
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

    // A byte moved on this connection (received or taken by the socket).
    virtual void NoteActivity() { m_lastActivity = std::chrono::steady_clock::now(); }
    std::chrono::steady_clock::time_point LastActivity() const { return m_lastActivity; }

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
    // One line (eol true; LineCapped() tells whether it was cut to the line
    // limit), or the unfinished bytes a closing peer left (eol false). The
    // bytes are valid only during the call.
    virtual void FireDataIn(const char* data, std::int64_t length, bool eol);
    virtual void FireReadyToSend();

    // code: a close notification's lParam (error in the high word), or 32
    // for a local close. Deferred while the receive loop runs.
    int CloseConnection(LPARAM code);
    void ResetSocket();
    // Moves to the next address RemoteHost resolved to; false when none is left.
    bool NextRemoteAddress();
    void FirstRemoteAddress() { m_addressIndex = 0; }
    // Takes over a connected socket made elsewhere (an accepted data
    // connection): any old socket is closed without hooks and the receive
    // state starts afresh.
    void AdoptSocket(SOCKET s);
    // Notified: one recv, lines delivered. Drain: reads what the socket
    // holds now (bounded). Both close the connection when the peer has.
    enum class ReceiveMode : std::uint8_t { Notified, Drain };
    void ReceiveData(ReceiveMode mode);
    // The last bytes at a close: every line (whatever AcceptData says; the
    // receiver decides), then the unfinished rest with eol false.
    void FlushAtClose();
    void PostReadEvent();
    // True only during FireDataIn of a line that was cut to the line limit.
    bool LineCapped() const { return m_lineCapped; }
    bool InReceive() const { return m_receive != TReceiveState::Idle; }
    // AcceptData without the read event a switch-on posts.
    void SetAcceptDataSilently(bool accept) { m_acceptData = accept; }

    LineFIFO m_fifo{2048};
    SOCKET m_socket = INVALID_SOCKET;
    TSocketState m_state = TSocketState::None;
    // The block being delivered, set only while the data-in handler runs.
    const char* m_deliveredData = nullptr;
    std::int64_t m_deliveredLength = 0;

private:
    // A socket option: 0 when the socket took it, else the error and, when
    // the socket tells, the value it has instead.
    struct OptionResult {
        int code = 0;
        std::optional<int> actual;
    };
    [[nodiscard]] OptionResult applyOption(int name, const char* value, int length);
    // The one place each state changes.
    void setSocketState(TSocketState state);
    void setReceiveState(TReceiveState state);
    void failConnect(int code);
    void deliverCappedLine();

    std::uint16_t m_inBufferSize = 2048;
    std::uint16_t m_outBufferSize = 2048;
    bool m_applyBufferSizes = true;
    // What RemoteHost resolved to, and the one being tried or used.
    std::vector<NetAddress> m_remoteAddresses;
    std::size_t m_addressIndex = 0;
    std::string m_hostName;
    std::uint16_t m_remotePort = 0;
    std::uint16_t m_localPort = 0;
    TReceiveState m_receive = TReceiveState::Idle;
    bool m_lineCapped = false;
    std::chrono::steady_clock::time_point m_lastActivity = std::chrono::steady_clock::now();
    bool m_linger = true;
    bool m_keepAlive = false;
    std::int64_t m_bytesSent = 0;
    bool m_acceptData = true;
    std::unique_ptr<HiddenWindow> m_ownWindow;
};

class CIPPortMsg : public CIPPort {
public:
    // The longest reply line kept whole; longer ones are cut and marked.
    static constexpr int ReplyLineLimit = 8192;

    explicit CIPPortMsg(QObject* owner = nullptr);

    // Sends everything, pumping messages while the socket is full. 0, the
    // send's error, a nonzero SendProgress result, or a wait's code
    // (Interrupted, TimedOut).
    int SendAll(const char* data, std::int64_t length);
    int SendAll(const std::string& text) { return SendAll(text.data(), static_cast<std::int64_t>(text.size())); }
    // name [" " data] terminator, then WaitReplyLine. Lines that arrived
    // before the command and that nobody waited for are dropped first, so a
    // doubled or late reply is never taken for this command's. An empty
    // name sends nothing and only waits (a greeting).
    int SendCommand(const std::string& name, const std::string& data, const std::string& terminator);
    // Waits for one line: 0 when it is in ReplyLine, Interrupted,
    // ConnectionClosed when the peer closed without sending one, TimedOut
    // after TimeOut seconds without a byte, or a nonzero WaitIdle result.
    // Each turn takes one message, then checks for the line, then runs
    // WaitIdle; a turn sleeps in Qt only when the queue is empty and the
    // last WaitIdle did no work.
    int WaitReplyLine();
    // Connects and waits for the outcome: 0, the connect error, Interrupted
    // or TimedOut (the unfinished socket is then closed).
    int ConnectAndWait();
    // Ends the waits of this component that are running now with
    // Interrupted; a wait started later is not affected.
    void Interrupt();
    // Drops every complete line received so far that no wait has taken,
    // reading what the socket already holds; each goes to FireLineDropped.
    void DiscardPendingLines();

    // Inactivity limit of every wait, in seconds (0: none). Inactivity is no
    // byte moving on this connection (or, for TFTP, its data connection).
    int TimeOut() const { return m_timeOut; }
    void SetTimeOut(int seconds) { m_timeOut = seconds < 0 ? 0 : seconds; }
    // A limit for the waits from now on, whatever moves (an abort's bound);
    // they then end with TimedOut.
    void SetWaitDeadline(std::chrono::steady_clock::time_point deadline) { m_deadline = deadline; }
    void ClearWaitDeadline() { m_deadline.reset(); }

    // The last line, kept whole up to ReplyLineLimit bytes.
    const std::string& ReplyLine() const { return m_replyLine; }
    // True when the last line was longer than ReplyLineLimit and was cut.
    bool ReplyLineCapped() const { return m_replyLineCapped; }
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
    // A line no wait took: complete (dropped before a command) or the
    // unfinished bytes a closing peer left.
    virtual void FireLineDropped(const std::string& line, bool complete);

    // Pumps until done() holds (0), this component is interrupted, the
    // time-out or deadline passes, or (closeEnds) the connection is gone.
    // idleTurns runs WaitIdle on every turn.
    [[nodiscard]] int WaitUntil(const std::function<bool()>& done, bool idleTurns, bool closeEnds);

    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    void FireDataIn(const char* data, std::int64_t length, bool eol) override;
    void FireReadyToSend() override;

    bool m_waiting = false;
    int m_connectResult = 0;

private:
    class WaitTurns;

    bool m_oneLine = true;
    bool m_draining = false;
    int m_timeOut = 30;
    std::uint64_t m_interrupts = 0;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::string m_replyLine;
    bool m_replyLineCapped = false;
    // Lines a closing peer left while no wait was running, in order.
    std::deque<std::string> m_heldLines;
};

} // namespace plover

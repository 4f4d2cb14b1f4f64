#include "net/ipport.h"

#include "platform/messages.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace plover {


CIPPort::CIPPort(QObject* owner) : CWinsock(owner) {}

CIPPort::~CIPPort()
{
    LastErrorText.clear();
    RaiseErrors = false;
    SetLinger(false);
    if (Ws.WSAIsBlocking())
        Ws.WSACancelBlockingCall();
    if (m_socket != INVALID_SOCKET)
        ResetSocket();
}

void CIPPort::AllocateWindow()
{
    m_ownWindow = std::make_unique<HiddenWindow>([this](const MSG& msg) { return WindowProc(msg); });
    SetWindowHandle(m_ownWindow->Handle());
}

LRESULT CIPPort::WindowProc(const MSG& msg)
{
    if (msg.message == WM_SOCKET_NOTIFY)
        HandleSocketMessage(msg);
    return 0;
}

void CIPPort::SetInBufferSize(std::uint16_t size)
{
    LastError = 0;
    m_inBufferSize = size;
    if (m_socket == INVALID_SOCKET)
        return;
    if (Ws.setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size) != 0) {
        const int code = Ws.WSAGetLastError();
        int actual = 0;
        int len = sizeof actual;
        if (Ws.getsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&actual), &len) == 0)
            m_inBufferSize = static_cast<std::uint16_t>(std::clamp(actual, 0, 0xFFFF));
        ReportError(code, ErrorDescription(code));
    }
}

void CIPPort::SetOutBufferSize(std::uint16_t size)
{
    LastError = 0;
    m_outBufferSize = size;
    if (m_socket == INVALID_SOCKET)
        return;
    if (Ws.setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size) != 0) {
        const int code = Ws.WSAGetLastError();
        int actual = 0;
        int len = sizeof actual;
        if (Ws.getsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&actual), &len) == 0)
            m_outBufferSize = static_cast<std::uint16_t>(std::clamp(actual, 0, 0xFFFF));
        ReportError(code, ErrorDescription(code));
    }
}

void CIPPort::SetKeepAlive(bool keepAlive)
{
    LastError = 0;
    m_keepAlive = keepAlive;
    if (m_socket == INVALID_SOCKET)
        return;
    const int value = keepAlive ? 1 : 0;
    if (Ws.setsockopt(m_socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        const int code = Ws.WSAGetLastError();
        int actual = 0;
        int len = sizeof actual;
        if (Ws.getsockopt(m_socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&actual), &len) == 0)
            m_keepAlive = actual != 0;
        ReportError(code, ErrorDescription(code));
    }
}

// On with a time-out of 0 makes closing the socket abortive (a reset, unsent
// data dropped), as the design has it for its client connections.
void CIPPort::SetLinger(bool linger)
{
    LastError = 0;
    if (m_socket == INVALID_SOCKET) {
        m_linger = linger;
        return;
    }
    ::linger value{linger ? 1 : 0, 0};
    if (Ws.setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof value) == 0) {
        m_linger = linger;
    } else {
        const int code = Ws.WSAGetLastError();
        ReportError(code, ErrorDescription(code));
    }
}

std::string CIPPort::RemoteHost() const
{
    if (m_remoteAddress == 0)
        return {};
    in_addr a{};
    a.s_addr = m_remoteAddress;
    return Ws.inet_ntoa(a);
}

void CIPPort::SetRemoteHost(const std::string& host)
{
    if (m_socket != INVALID_SOCKET) {
        ReportError(101, "You cannot change the RemoteHost at this time. A connection is in progress.");
        return;
    }
    if (host.empty()) {
        m_remoteAddress = 0;
        return;
    }
    if (Ws.WSAIsBlocking())
        Ws.WSACancelBlockingCall();
    const std::uint32_t address = Ws.inet_addr(host.c_str());
    if (address != 0xFFFFFFFFu) {
        m_remoteAddress = address;
        return;
    }
    m_remoteAddress = 0;
    hostent* entry = Ws.gethostbyname(host.c_str());
    if (entry && entry->h_addr_list && entry->h_addr_list[0]) {
        std::memcpy(&m_remoteAddress, entry->h_addr_list[0], sizeof m_remoteAddress);
        return;
    }
    const int code = Ws.WSAGetLastError();
    // Unloaded library: stay silent; connecting will refuse the address.
    if (code != WSANOTINITIALISED)
        ReportError(code, ErrorDescription(code));
}

void CIPPort::SetRemotePort(std::uint16_t port)
{
    LastError = 0;
    if (m_socket != INVALID_SOCKET) {
        ReportError(100, "You cannot change the RemotePort at this time. A connection is in progress.");
        return;
    }
    m_remotePort = port;
}

void CIPPort::PostReadEvent()
{
    PostMessage(WindowHandle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(m_socket), WSAMAKESELECTREPLY(FD_READ, 0));
}

void CIPPort::SetAcceptData(bool accept)
{
    LastError = 0;
    m_acceptData = accept;
    if (accept && m_connected)
        PostReadEvent();
}

void CIPPort::SetEOL(const std::string& eol)
{
    LastError = 0;
    m_fifo.SetEOL(eol);
    if (m_connected)
        PostReadEvent();
}

void CIPPort::failConnect(int code)
{
    ResetSocket();
    ReportError(code, ErrorDescription(code));
}

void CIPPort::SetConnected(bool connect)
{
    LastError = 0;
    if (!connect) {
        if (const int code = CloseConnection(FD_CLOSE))
            ReportError(code, ErrorDescription(code));
        return;
    }
    if (m_socket != INVALID_SOCKET) {
        ReportError(104, "Already connected. If you want to reconnect, close the current connection first.");
        return;
    }
    m_closePending = false;
    m_fifo.Clear();
    if (m_remoteAddress == 0) {
        ReportError(102, "The RemoteHost address is invalid (0.0.0.0).");
        return;
    }
    if (m_remotePort == 0) {
        ReportError(116, "RemotePort can't be zero. Please specify a valid service port number.");
        return;
    }
    m_connected = false;
    const SOCKET s = Ws.socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        const int code = Ws.WSAGetLastError();
        ReportError(code, ErrorDescription(code));
        return;
    }
    m_socket = s;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = INADDR_ANY;
    local.sin_port = Ws.htons(m_localPort);
    if (Ws.bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return failConnect(Ws.WSAGetLastError());
    {
        // Option failures only leave their code in LastError.
        QuietErrors quiet(*this);
        SetKeepAlive(m_keepAlive);
        SetLinger(m_linger);
        if (m_applyBufferSizes) {
            SetInBufferSize(m_inBufferSize);
            SetOutBufferSize(m_outBufferSize);
        }
    }
    if (Ws.WSAAsyncSelect(s, WindowHandle(), WM_SOCKET_NOTIFY, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0)
        return failConnect(Ws.WSAGetLastError());
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = m_remoteAddress;
    remote.sin_port = Ws.htons(m_remotePort);
    if (Ws.connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        const int code = Ws.WSAGetLastError();
        if (code != WSAEWOULDBLOCK)
            return failConnect(code);
        LastError = 0;
    }
}

void CIPPort::HandleSocketMessage(const MSG& msg)
{
    if (m_socket == INVALID_SOCKET || msg.wParam != static_cast<WPARAM>(m_socket))
        return;
    switch (WSAGETSELECTEVENT(msg.lParam)) {
    case FD_READ:
        if (m_inReceive) {
            m_readDeferred = true;
        } else if (m_acceptData) {
            m_inReceive = true;
            ReceiveData(false);
        }
        break;
    case FD_WRITE:
        FireReadyToSend();
        break;
    case FD_CONNECT: {
        const int error = WSAGETSELECTERROR(msg.lParam);
        m_connected = true;
        FireConnected(error);
        if (error != 0)
            ResetSocket();
        break;
    }
    case FD_CLOSE:
        CloseConnection(msg.lParam);
        break;
    default:
        break;
    }
}

void CIPPort::ReceiveData(bool flush)
{
    const char* data;
    std::int32_t length;
    bool received = false;
    while (m_socket != INVALID_SOCKET) {
        if (!m_acceptData)
            break;
        bool stopped = false;
        while (m_fifo.TakeLine(data, length)) {
            FireDataIn(data, length, true);
            if (!m_acceptData) {
                stopped = true;
                break;
            }
        }
        if (stopped)
            break;
        std::span<char> area = m_fifo.WriteArea();
        if (area.empty()) {
            // A full buffer without a terminator goes out as one piece.
            m_fifo.TakeAll(data, length);
            FireDataIn(data, length, false);
            continue;
        }
        if (m_closePending && !flush) {
            m_inReceive = false;
            CloseConnection(FD_CLOSE);
            return;
        }
        if (received && !flush) {
            // One recv per read notification: the socket layer posts the
            // next one if more is waiting, so other connections, timers and
            // the window get their turn in between.
            if (m_readDeferred) {
                m_readDeferred = false;
                PostReadEvent();
            }
            break;
        }
        const int n = Ws.recv(m_socket, area.data(), static_cast<int>(std::min<std::size_t>(area.size(), INT_MAX)), 0);
        received = true;
        if (n == 0 || flush) {
            if (n > 0)
                (void)m_fifo.Commit(n);
            while (m_fifo.TakeLine(data, length))
                if (m_acceptData)
                    FireDataIn(data, length, true);
            m_fifo.TakeAll(data, length);
            if (length > 0 && m_acceptData)
                FireDataIn(data, length, false);
            m_inReceive = false;
            if (!flush)
                CloseConnection(FD_CLOSE);
            return;
        }
        if (n < 0) {
            m_inReceive = false;
            const int code = Ws.WSAGetLastError();
            if (code != WSAEWOULDBLOCK && code != WSAENOTSOCK)
                FireError(code, "Winsock error in recv() " + ErrorDescription(code));
            return;
        }
        (void)m_fifo.Commit(n);
    }
    m_inReceive = false;
}

int CIPPort::CloseConnection(LPARAM code)
{
    if (m_socket == INVALID_SOCKET) {
        ResetSocket();
        return 0;
    }
    Ws.WSAAsyncSelect(m_socket, WindowHandle(), WM_SOCKET_NOTIFY, 0);
    if (m_inReceive) {
        m_closePending = true;
        return 0;
    }
    if (m_acceptData) {
        ReceiveData(true);
        if (m_socket == INVALID_SOCKET)
            return 0; // a data-in handler closed it already
    }
    const int result = Ws.closesocket(m_socket) == 0 ? 0 : Ws.WSAGetLastError();
    m_connected = false;
    m_socket = INVALID_SOCKET;
    ResetSocket();
    FireDisconnected(HIWORD(code));
    return result;
}

void CIPPort::ResetSocket()
{
    if (m_socket != INVALID_SOCKET)
        Ws.closesocket(m_socket);
    m_connected = false;
    m_socket = INVALID_SOCKET;
    m_bytesSent = 0;
    m_acceptData = true;
    m_inReceive = false;
    m_readDeferred = false;
}

void CIPPort::AdoptSocket(SOCKET s)
{
    if (m_socket != INVALID_SOCKET)
        RemoveQueuedMessages(WindowHandle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(m_socket));
    ResetSocket();
    m_closePending = false;
    m_fifo.Clear();
    m_socket = s;
    m_connected = true;
}

int CIPPort::SetOOBInline(bool inlineOob)
{
    LastErrorText.clear();
    const int value = inlineOob ? 1 : 0;
    if (Ws.setsockopt(m_socket, SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&value), sizeof value) != 0)
        return Ws.WSAGetLastError();
    return 0;
}

std::string CIPPort::LocalHost()
{
    LastError = 0;
    if (m_connected) {
        sockaddr_in local{};
        int len = sizeof local;
        if (Ws.getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &len) == 0)
            return Ws.inet_ntoa(local.sin_addr);
    }
    return CWinsock::LocalHost();
}

void CIPPort::SetDataToSend(const char* data, std::int64_t length)
{
    if (const int code = SendBlock(data, length, 0))
        ReportError(code, ErrorDescription(code));
}

int CIPPort::SendBlock(const char* data, std::int64_t length, int flags)
{
    LastError = 0;
    if (!m_connected) {
        Ws.WSASetLastError(WSAENOTCONN);
        return WSAENOTCONN;
    }
    if (length <= 0 || !data)
        return 0;
    const int n = Ws.send(m_socket, data, static_cast<int>(std::min<std::int64_t>(length, INT_MAX)), flags);
    if (n < 0) {
        m_bytesSent = 0;
        return Ws.WSAGetLastError();
    }
    m_bytesSent = n;
    if (n >= length)
        return 0;
    Ws.WSASetLastError(WSAEWOULDBLOCK);
    return WSAEWOULDBLOCK;
}

void CIPPort::FireConnected(int code)
{
    if (OnConnected)
        OnConnected(this, code, code == 0 ? std::string("OK") : ErrorDescription(code));
}

void CIPPort::FireDisconnected(int code)
{
    if (OnDisconnected)
        OnDisconnected(this, code, code == 0 ? std::string("OK") : ErrorDescription(code));
}

void CIPPort::FireDataIn(const char* data, std::int64_t length, bool eol)
{
    m_deliveredData = data;
    m_deliveredLength = length;
    if (OnDataIn)
        OnDataIn(this, std::string(data, static_cast<std::size_t>(length)), eol);
    m_deliveredData = nullptr;
    m_deliveredLength = 0;
}

void CIPPort::FireReadyToSend()
{
    if (OnReadyToSend)
        OnReadyToSend(this);
}

// ---------------------------------------------------------------------------

CIPPortMsg::CIPPortMsg(QObject* owner) : CIPPort(owner) {}

bool CIPPortMsg::PumpMessage(bool mayBlock)
{
    return PumpOneMessage(mayBlock, [this] { Interrupt(); }) != PumpResult::Interrupt;
}

void CIPPortMsg::Interrupt()
{
    PumpScope scope;
    for (int i = 0; i < 5; ++i)
        PostMessage(WindowHandle(), WM_SOCKET_INTERRUPT, 0, 0);
    // Bounded by the interrupts themselves: a nested wait run by a message
    // dispatched here may take some of them.
    while (PumpMessage(false))
        if (CountQueuedMessages(WM_SOCKET_INTERRUPT) == 0)
            break;
    LastErrorText = "Interrupted.";
}

int CIPPortMsg::SendAll(const char* data, std::int64_t length)
{
    if (length <= 0)
        return 0;
    PumpScope scope;
    std::int64_t sent = 0;
    for (;;) {
        const int code = SendBlock(data, length, 0);
        if (code != WSAEWOULDBLOCK)
            return code;
        length -= BytesSent();
        data += BytesSent();
        sent += BytesSent();
        if (length <= 0)
            return WSAEWOULDBLOCK;
        // Nothing taken: sleep until the socket reports room (FD_WRITE).
        if (!PumpMessage(BytesSent() == 0)) {
            LastErrorText = "Interrupted";
            return 301;
        }
        if (const int progress = SendProgress(sent))
            return progress;
    }
}

int CIPPortMsg::SendCommand(const std::string& name, const std::string& data, const std::string& terminator)
{
    m_waiting = true;
    m_replyLine[0] = 0;
    SetAcceptData(false);
    int code = 0;
    if (!name.empty()) {
        // One send for the whole line: in pieces, the small tail waits for
        // the peer's delayed acknowledgement (Nagle), up to 200 ms a command.
        std::string line = name;
        if (!data.empty())
            line += " " + data;
        line += terminator;
        code = SendAll(line);
    }
    if (code != 0) {
        m_waiting = false;
        SetAcceptData(true);
        return code;
    }
    return WaitReplyLine();
}

int CIPPortMsg::WaitReplyLine()
{
    m_waiting = true;
    SetAcceptData(true);
    PumpScope scope;
    // The first turn runs WaitIdle before any sleep: an upload must not
    // wait for a message that only its own sending would cause.
    bool didWork = true;
    for (;;) {
        if (!PumpMessage(!didWork)) {
            LastErrorText = "Interrupted";
            return 301;
        }
        if (!m_waiting)
            return 0;
        didWork = false;
        if (const int code = WaitIdle(didWork))
            return code;
    }
}

int CIPPortMsg::ConnectAndWait()
{
    if (Connected())
        return 0;
    m_connectResult = 0;
    {
        QuietErrors quiet(*this);
        SetAcceptData(false);
        SetConnected(true);
    }
    if (LastError != 0)
        return LastError;
    PumpScope scope;
    for (;;) {
        if (!PumpMessage(true)) {
            LastErrorText = "Interrupted";
            return 301;
        }
        if (Connected() || m_connectResult != 0) {
            SetAcceptData(true);
            return m_connectResult;
        }
    }
}

int CIPPortMsg::SendProgress(std::int64_t) { return 0; }

int CIPPortMsg::WaitIdle(bool&) { return 0; }

void CIPPortMsg::FireConnected(int code)
{
    m_connectResult = code;
    if (code != 0)
        Interrupt();
}

void CIPPortMsg::FireDisconnected(int code)
{
    m_connectResult = code;
    if (m_waiting)
        Interrupt();
}

void CIPPortMsg::FireDataIn(const char* data, std::int64_t length, bool)
{
    const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, ReplyLineSize));
    std::memcpy(m_replyLine, data, n);
    m_replyLine[n] = 0;
    m_waiting = false;
    if (m_oneLine)
        SetAcceptData(false);
}

void CIPPortMsg::FireReadyToSend() {}

} // namespace plover

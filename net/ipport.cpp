#include "net/ipport.h"

#include "net/errorcodes.h"
#include "platform/wsbinding.h"
#include "platform/messages.h"

#include <QTimer>

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

CIPPort::OptionResult CIPPort::applyOption(int name, const char* value, int length)
{
    if (Ws.setsockopt(m_socket, SOL_SOCKET, name, value, length) == 0)
        return {};
    // Refused: the property is to show what the socket has instead.
    OptionResult result{Ws.WSAGetLastError(), std::nullopt};
    int actual = 0;
    int len = sizeof actual;
    if (Ws.getsockopt(m_socket, SOL_SOCKET, name, reinterpret_cast<char*>(&actual), &len) == 0)
        result.actual = actual;
    return result;
}

void CIPPort::SetInBufferSize(std::uint16_t size)
{
    LastError = 0;
    m_inBufferSize = size;
    if (m_socket == INVALID_SOCKET)
        return;
    // Sent as 16 bits, as the property is.
    const OptionResult r = applyOption(SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    if (r.actual)
        m_inBufferSize = static_cast<std::uint16_t>(std::clamp(*r.actual, 0, 0xFFFF));
    if (r.code != 0)
        ReportError(r.code);
}

void CIPPort::SetOutBufferSize(std::uint16_t size)
{
    LastError = 0;
    m_outBufferSize = size;
    if (m_socket == INVALID_SOCKET)
        return;
    const OptionResult r = applyOption(SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    if (r.actual)
        m_outBufferSize = static_cast<std::uint16_t>(std::clamp(*r.actual, 0, 0xFFFF));
    if (r.code != 0)
        ReportError(r.code);
}

void CIPPort::SetKeepAlive(bool keepAlive)
{
    LastError = 0;
    m_keepAlive = keepAlive;
    if (m_socket == INVALID_SOCKET)
        return;
    const int value = keepAlive ? 1 : 0;
    const OptionResult r = applyOption(SO_KEEPALIVE, reinterpret_cast<const char*>(&value), sizeof value);
    if (r.actual)
        m_keepAlive = *r.actual != 0;
    if (r.code != 0)
        ReportError(r.code);
}

// On with a time-out of 0 makes closing the socket abortive (a reset, unsent
// data dropped): a control connection that is given up must not linger.
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
        ReportError(code);
    }
}

NetAddress CIPPort::RemoteNetAddress() const
{
    return m_addressIndex < m_remoteAddresses.size() ? m_remoteAddresses[m_addressIndex] : NetAddress();
}

std::string CIPPort::RemoteHost() const
{
    return RemoteNetAddress().Text();
}

bool CIPPort::NextRemoteAddress()
{
    if (m_addressIndex + 1 >= m_remoteAddresses.size())
        return false;
    ++m_addressIndex;
    return true;
}

void CIPPort::SetRemoteHost(const std::string& host)
{
    if (m_socket != INVALID_SOCKET) {
        ReportError(EngineError::RemoteHostLocked);
        return;
    }
    m_remoteAddresses.clear();
    m_addressIndex = 0;
    m_hostName = host;
    if (host.empty())
        return;
    if (Ws.WSAIsBlocking())
        Ws.WSACancelBlockingCall();
    if (const std::uint32_t address = Ws.inet_addr(host.c_str()); address != 0xFFFFFFFFu) {
        m_remoteAddresses.push_back(NetAddress::FromIPv4(address));
        return;
    }
    // Unloaded library: stay silent; connecting will refuse the address.
    if (!WinsockLoaded())
        return;
    if (std::optional<NetAddress> literal = NetAddress::FromLiteral(host)) {
        m_remoteAddresses.push_back(*literal);
        return;
    }
    if (const int code = ResolveStreamHost(host, m_remoteAddresses)) {
        m_remoteAddresses.clear();
        if (code != WSANOTINITIALISED)
            ReportError(code);
    }
}

void CIPPort::SetRemoteAddress(std::uint32_t address)
{
    SetRemoteNetAddress(NetAddress::FromIPv4(address));
}

void CIPPort::SetRemoteNetAddress(const NetAddress& address)
{
    LastError = 0;
    if (m_socket != INVALID_SOCKET) {
        ReportError(EngineError::RemoteHostLocked);
        return;
    }
    m_remoteAddresses.assign(1, address);
    m_addressIndex = 0;
    m_hostName = address.Text();
}

NetAddress CIPPort::LocalNetAddress() const
{
    sockaddr_storage a{};
    int length = sizeof a;
    if (m_socket == INVALID_SOCKET || Ws.getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return {};
    return NetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&a), static_cast<socklen_t>(length)).value_or(NetAddress());
}

NetAddress CIPPort::PeerNetAddress() const
{
    sockaddr_storage a{};
    int length = sizeof a;
    if (m_socket == INVALID_SOCKET || Ws.getpeername(m_socket, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return {};
    return NetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&a), static_cast<socklen_t>(length)).value_or(NetAddress());
}

void CIPPort::SetRemotePort(std::uint16_t port)
{
    LastError = 0;
    if (m_socket != INVALID_SOCKET) {
        ReportError(EngineError::RemotePortLocked);
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
    if (accept && Connected())
        PostReadEvent();
}

void CIPPort::SetEOL(const std::string& eol)
{
    LastError = 0;
    m_fifo.SetEOL(eol);
    if (Connected())
        PostReadEvent();
}

void CIPPort::failConnect(int code)
{
    ResetSocket();
    ReportError(code);
}

void CIPPort::SetConnected(bool connect)
{
    LastError = 0;
    if (!connect) {
        if (const int code = CloseConnection(FD_CLOSE))
            ReportError(code);
        return;
    }
    if (m_socket != INVALID_SOCKET) {
        ReportError(EngineError::AlreadyConnected);
        return;
    }
    m_fifo.Clear();
    NetAddress remote = RemoteNetAddress();
    if (!remote.IsValid() || (remote.Family() == AF_INET && remote.IPv4() == 0)) {
        ReportError(EngineError::NoRemoteAddress);
        return;
    }
    if (m_remotePort == 0) {
        ReportError(EngineError::NoRemotePort);
        return;
    }
    remote.SetPort(m_remotePort);
    const SOCKET s = Ws.socket(remote.Family(), SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        const int code = Ws.WSAGetLastError();
        ReportError(code);
        return;
    }
    m_socket = s;
    setSocketState(TSocketState::Connecting);
    const NetAddress local = NetAddress::Any(remote.Family(), m_localPort);
    if (Ws.bind(s, local.Data(), local.Length()) != 0)
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
    if (Ws.connect(s, remote.Data(), remote.Length()) != 0) {
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
        // During the loop's turn: it reads again before it ends (or closes).
        if (m_receive == TReceiveState::Receiving)
            setReceiveState(TReceiveState::ReadAgain);
        else if (m_receive == TReceiveState::Idle && m_acceptData)
            ReceiveData(ReceiveMode::Notified);
        break;
    case FD_WRITE:
        FireReadyToSend();
        break;
    case FD_CONNECT: {
        const int error = WSAGETSELECTERROR(msg.lParam);
        setSocketState(TSocketState::Connected);
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

void CIPPort::ReceiveData(ReceiveMode mode)
{
    // Notified: one recv per read notification; the socket layer posts the
    // next one if more is waiting, so other connections, timers and the
    // window get their turn in between.
    const int maxReads = mode == ReceiveMode::Drain ? 64 : 1;
    int reads = 0;
    const char* data;
    std::int32_t length;
    setReceiveState(TReceiveState::Receiving);
    while (m_socket != INVALID_SOCKET && m_acceptData) {
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
            deliverCappedLine();
            continue;
        }
        if (m_receive == TReceiveState::ClosePending)
            break;
        if (reads == maxReads) {
            if (m_receive == TReceiveState::ReadAgain) {
                setReceiveState(TReceiveState::Receiving);
                PostReadEvent();
            }
            break;
        }
        const int n = Ws.recv(m_socket, area.data(), static_cast<int>(std::min<std::size_t>(area.size(), INT_MAX)), 0);
        ++reads;
        if (n == 0) {
            setReceiveState(TReceiveState::Idle);
            CloseConnection(FD_CLOSE);
            return;
        }
        if (n < 0) {
            const int code = Ws.WSAGetLastError();
            if (code != WSAEWOULDBLOCK && code != WSAENOTSOCK)
                FireError(code, "Winsock error in recv() " + ErrorDescription(code));
            break;
        }
        (void)m_fifo.Commit(n);
        NoteActivity();
    }
    const bool closeNow = m_receive == TReceiveState::ClosePending;
    setReceiveState(TReceiveState::Idle);
    if (closeNow)
        CloseConnection(FD_CLOSE);
}

void CIPPort::deliverCappedLine()
{
    // A line longer than the buffer: its start, marked, once.
    const char* data;
    std::int32_t length;
    m_fifo.TakeCapped(data, length);
    m_lineCapped = true;
    FireDataIn(data, length, true);
    m_lineCapped = false;
}

void CIPPort::FlushAtClose()
{
    const char* data;
    std::int32_t length;
    // What a local close finds still waiting in the socket.
    if (std::span<char> area = m_fifo.WriteArea(); !area.empty() && m_socket != INVALID_SOCKET) {
        const int n = Ws.recv(m_socket, area.data(), static_cast<int>(std::min<std::size_t>(area.size(), INT_MAX)), 0);
        if (n > 0) {
            (void)m_fifo.Commit(n);
            NoteActivity();
        }
    }
    for (;;) {
        if (m_fifo.TakeLine(data, length, true)) {
            FireDataIn(data, length, true);
        } else if (m_fifo.FreeSpace() == 0) {
            deliverCappedLine();
        } else {
            break;
        }
    }
    m_fifo.TakeAll(data, length);
    if (length > 0 && !m_fifo.Discarding())
        FireDataIn(data, length, false);
    m_fifo.Clear();
}

int CIPPort::CloseConnection(LPARAM code)
{
    if (m_socket == INVALID_SOCKET) {
        ResetSocket();
        return 0;
    }
    Ws.WSAAsyncSelect(m_socket, WindowHandle(), WM_SOCKET_NOTIFY, 0);
    if (m_receive != TReceiveState::Idle) {
        setReceiveState(TReceiveState::ClosePending);
        return 0;
    }
    // A handler that closes during the flush is deferred to here.
    setReceiveState(TReceiveState::Receiving);
    FlushAtClose();
    setReceiveState(TReceiveState::Idle);
    if (m_socket == INVALID_SOCKET)
        return 0;
    const SOCKET s = m_socket;
    const int result = Ws.closesocket(s) == 0 ? 0 : Ws.WSAGetLastError();
    m_socket = INVALID_SOCKET;
    ResetSocket();
    // A notification still queued must not reach a later socket that gets
    // the same number.
    RemoveQueuedMessages(WindowHandle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(s));
    FireDisconnected(HIWORD(code));
    return result;
}

void CIPPort::ResetSocket()
{
    if (m_socket != INVALID_SOCKET)
        Ws.closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    setSocketState(TSocketState::None);
    m_bytesSent = 0;
    m_acceptData = true;
    setReceiveState(TReceiveState::Idle);
}

void CIPPort::setSocketState(TSocketState state)
{
    m_state = state;
}

void CIPPort::setReceiveState(TReceiveState state)
{
    m_receive = state;
}

void CIPPort::AdoptSocket(SOCKET s)
{
    if (m_socket != INVALID_SOCKET)
        RemoveQueuedMessages(WindowHandle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(m_socket));
    ResetSocket();
    m_fifo.Clear();
    m_socket = s;
    setSocketState(TSocketState::Connected);
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
    if (Connected())
        if (const NetAddress local = LocalNetAddress(); local.IsValid())
            return local.Text();
    return CWinsock::LocalHost();
}

void CIPPort::SetDataToSend(const char* data, std::int64_t length)
{
    if (const int code = SendBlock(data, length, 0))
        ReportError(code);
}

int CIPPort::SendBlock(const char* data, std::int64_t length, int flags)
{
    LastError = 0;
    if (!Connected()) {
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
    if (n > 0)
        NoteActivity();
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

} // namespace plover

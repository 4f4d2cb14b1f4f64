#include "net/listeningsocket.h"

#include "net/errorcodes.h"

#include <cstdio>

namespace plover {

CListeningSocket::CListeningSocket(QObject* owner) : CIPPort(owner) {}

CListeningSocket::~CListeningSocket()
{
    CloseListener();
}

std::string FormatPortArgument(std::uint32_t address, std::uint16_t port)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u,%u,%u,%u,%u,%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF, port / 256u, port % 256u);
    return text;
}

std::string FormatEprtArgument(const NetAddress& address, std::uint16_t port)
{
    return std::string(address.IsIPv6() ? "|2|" : "|1|") + address.Text() + "|" + std::to_string(port) + "|";
}

int CListeningSocket::ListenForData(const NetAddress& local, const NetAddress& expectedPeer)
{
    CloseListener();
    m_expectedPeer = expectedPeer;
    const SOCKET s = Ws.socket(local.Family(), SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return Ws.WSAGetLastError();
    m_listenSocket = s;
    if (Ws.bind(s, local.Data(), local.Length()) != 0 || Ws.listen(s, 1) != 0
        || Ws.WSAAsyncSelect(s, WindowHandle(), WM_SOCKET_NOTIFY, FD_ACCEPT) != 0) {
        const int code = Ws.WSAGetLastError();
        CloseListener();
        return code;
    }
    return 0;
}

std::uint16_t CListeningSocket::ListenPort() const
{
    sockaddr_storage a{};
    int length = sizeof a;
    if (m_listenSocket == INVALID_SOCKET || Ws.getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    const auto address = NetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&a), static_cast<socklen_t>(length));
    return address ? address->Port() : 0;
}

void CListeningSocket::CloseListener()
{
    if (m_listenSocket == INVALID_SOCKET)
        return;
    Ws.WSAAsyncSelect(m_listenSocket, WindowHandle(), 0, 0);
    Ws.closesocket(m_listenSocket);
    RemoveQueuedMessages(WindowHandle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(m_listenSocket));
    m_listenSocket = INVALID_SOCKET;
}

void CListeningSocket::HandleSocketMessage(const MSG& msg)
{
    if (m_listenSocket != INVALID_SOCKET && msg.wParam == static_cast<WPARAM>(m_listenSocket)) {
        if (WSAGETSELECTEVENT(msg.lParam) == FD_ACCEPT)
            accept();
        return;
    }
    CIPPort::HandleSocketMessage(msg);
}

void CListeningSocket::accept()
{
    sockaddr_storage peer{};
    int length = sizeof peer;
    const SOCKET s = Ws.accept(m_listenSocket, reinterpret_cast<sockaddr*>(&peer), &length);
    // Only the server may connect: a connection from another address (port
    // theft) is closed and the listener keeps waiting for the real one.
    const auto from = NetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&peer), static_cast<socklen_t>(length));
    if (s != INVALID_SOCKET && (!from || !from->SameHost(m_expectedPeer))) {
        Ws.closesocket(s);
        return;
    }
    // One listener serves exactly one connection.
    CloseListener();
    if (s == INVALID_SOCKET) {
        FireError(EngineError::AcceptFailed, "Failed to accept new socket.");
        return;
    }
    AdoptSocket(s);
    if (Ws.WSAAsyncSelect(s, WindowHandle(), WM_SOCKET_NOTIFY, FD_READ | FD_WRITE | FD_CLOSE) != 0)
        FireError(EngineError::SelectFailed, "Error calling WSAAsyncSelect on new socket.");
    FireConnected(0);
}

void CListeningSocket::FireError(int, const std::string&) {}
void CListeningSocket::FireConnected(int) {}
void CListeningSocket::FireDisconnected(int) {}
void CListeningSocket::FireDataIn(const char*, std::int64_t, bool) {}
void CListeningSocket::FireReadyToSend() {}

} // namespace plover

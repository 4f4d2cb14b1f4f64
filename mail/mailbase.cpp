#include "mail/mailbase.h"

#include "platform/socketerrors.h"
#include "platform/wsbinding.h"

#include <QTimer>

#include <arpa/inet.h>
#include <charconv>
#include <cstring>

namespace plover {

namespace {

constexpr int lookupBufferSize = 1024;

struct HostAndPort {
    std::string host;
    std::uint16_t port = 0;  // 0: none given
};

// "host:port" with exactly one colon and a valid port; anything else is all host.
HostAndPort splitServer(const std::string& server)
{
    const std::size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0 || server.find(':') != colon)
        return {server, 0};
    unsigned value = 0;
    const char* first = server.data() + colon + 1;
    const char* last = server.data() + server.size();
    auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last || value == 0 || value > 65535)
        return {server, 0};
    return {server.substr(0, colon), static_cast<std::uint16_t>(value)};
}

} // namespace

std::pair<std::string, std::string> SplitAddress(const std::string& text)
{
    const std::size_t bar = text.find('|');
    if (bar == std::string::npos)
        return {text, std::string()};
    return {text.substr(0, bar), text.substr(bar + 1)};
}

TMailBase::TMailBase(QObject* owner) : QObject(owner)
{
    m_window = std::make_unique<HiddenWindow>([this](const MSG& msg) { return windowProc(msg); });
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(1000);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { tick(); });
    // Imported directly: the table is bound for the component's whole life
    // (it keeps its stubs, which fail every call, when the library is missing).
    (void)BindWinsockTable(Ws);
}

TMailBase::~TMailBase()
{
    StopTimeOut();
    if (m_request) {
        Ws.WSACancelAsyncRequest(m_request);
        m_request = 0;
    }
    (void)Disconnect();
    for (; m_startups > 0; --m_startups)
        Ws.WSACleanup();
}

LRESULT TMailBase::windowProc(const MSG& msg)
{
    const int error = HIWORD(msg.lParam);
    switch (msg.message) {
    case WM_HOST_RESOLVED:
    case WM_SERVICE_RESOLVED:
        if (msg.wParam != static_cast<WPARAM>(m_request))
            return 0;  // a request given up already
        (msg.message == WM_HOST_RESOLVED ? m_hostResolved : m_serviceResolved) = true;
        m_asyncErrorCode = error;
        m_asyncError = error != 0;
        return 0;
    case WM_MAIL_SOCKET: {
        if (m_socket == INVALID_SOCKET || msg.wParam != static_cast<WPARAM>(m_socket))
            return 0;
        const int event = LOWORD(msg.lParam);
        if (error != 0) {
            m_asyncErrorCode = error;
            m_asyncError = true;
        } else if (event == FD_READ) {
            m_readable = true;
        } else if (event == FD_WRITE) {
            m_writable = true;
        } else if (event == FD_CONNECT) {
            m_connected = true;
        }
        // A close with or without an error: no more replies will come.
        if (event == FD_CLOSE)
            m_closed = true;
        return 0;
    }
    default:
        return 0;
    }
}

void TMailBase::tick()
{
    if (--m_countdown > 0)
        return;
    if (m_request) {
        Ws.WSACancelAsyncRequest(m_request);
        m_request = 0;
    }
    m_timer->stop();
    m_timedOut = true;
}

void TMailBase::StartTimeOut()
{
    m_countdown = TimeOut;
    m_timer->start();
}

void TMailBase::StopTimeOut() { m_timer->stop(); }

void TMailBase::Reset()
{
    m_cancelRequested = false;
    m_timedOut = false;
    m_request = 0;
    m_asyncError = false;
    m_asyncErrorCode = 0;
    m_hostResolved = m_serviceResolved = m_connected = m_readable = m_writable = false;
    m_closed = false;
}

void TMailBase::Cancel()
{
    m_cancelRequested = true;
    if (m_request) {
        Ws.WSACancelAsyncRequest(m_request);
        m_request = 0;
    }
}

void TMailBase::WaitFor(const std::function<bool()>& done, bool closeEnds)
{
    PumpScope scope;
    StartTimeOut();
    // Bounded by the time-out tick, which wakes the loop once a second.
    while (!done() && !m_cancelRequested && !m_timedOut && !(closeEnds && (m_closed || m_asyncError)))
        (void)PumpOneMessage(true);
    StopTimeOut();
}

void TMailBase::RaiseWaitEnd(bool disconnect)
{
    if (m_cancelRequested) {
        if (disconnect)
            (void)Disconnect();
        throw ECanceledError();
    }
    if (m_timedOut)
        throw ETimedOutError();
    if (m_asyncError) {
        if (disconnect)
            (void)Disconnect();
        throw ESocketError(ErrorText(m_asyncErrorCode));
    }
    if (m_closed) {
        if (disconnect)
            (void)Disconnect();
        throw ESocketError("The server closed the connection.");
    }
}

void TMailBase::resolveHost(const std::string& host)
{
    m_address = Ws.inet_addr(host.c_str());
    if (m_address == INADDR_NONE) {
        m_request = Ws.WSAAsyncGetHostByName(m_window->Handle(), WM_HOST_RESOLVED, host.c_str(),
                                             m_lookup.data(), lookupBufferSize);
        if (!m_request)
            throw ESocketError(ErrorText(Ws.WSAGetLastError()));
        WaitFor([this] { return m_hostResolved; }, false);
        m_request = 0;
        if (m_asyncError)
            throw ESocketError("Error accessing winsock. " + ErrorText(m_asyncErrorCode));
        if (m_timedOut)
            throw ETimedOutError();
        if (m_cancelRequested)
            throw ECanceledError();
        const auto* entry = reinterpret_cast<const hostent*>(m_lookup.data());
        if (!entry->h_addr_list || !entry->h_addr_list[0])
            throw EMailError("Error resolving remote host");
        std::memcpy(&m_address, entry->h_addr_list[0], sizeof m_address);
    }
    in_addr a{};
    a.s_addr = m_address;
    m_addressText = Ws.inet_ntoa(a);
    if (Ws.inet_addr(m_addressText.c_str()) == INADDR_NONE)
        throw EMailError("Error resolving remote host");
}

void TMailBase::resolvePort()
{
    if (ServiceName.empty())
        throw EMailError("Service name is not specified");
    m_port = DefaultPort;
    m_request = Ws.WSAAsyncGetServByName(m_window->Handle(), WM_SERVICE_RESOLVED, ServiceName.c_str(), "tcp",
                                         m_lookup.data(), lookupBufferSize);
    if (!m_request)
        return;
    WaitFor([this] { return m_serviceResolved; }, false);
    m_request = 0;
    if (!m_asyncError && !m_timedOut) {
        if (m_cancelRequested)
            throw ECanceledError();
        m_port = ntohs(static_cast<std::uint16_t>(reinterpret_cast<const servent*>(m_lookup.data())->s_port));
    }
    // An unknown service is no error; its look-up must not end the next wait.
    m_asyncError = false;
    m_asyncErrorCode = 0;
    m_timedOut = false;
}

void TMailBase::Connect()
{
    WSADATA data{};
    if (Ws.WSAStartup(0x0101, &data) != 0)
        throw ESocketError("Invalid Winsock Version");
    ++m_startups;
    const HostAndPort server = splitServer(Server);
    resolveHost(server.host);
    if (server.port != 0)
        m_port = server.port;
    else
        resolvePort();
    (void)Disconnect();
    m_socket = Ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET)
        throw ESocketError(ErrorText(Ws.WSAGetLastError()));
}

void TMailBase::OpenConnection()
{
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = m_address;
    remote.sin_port = htons(m_port);
    // The close notification too: a server that hangs up ends the wait at once.
    if (Ws.WSAAsyncSelect(m_socket, m_window->Handle(), WM_MAIL_SOCKET, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0)
        throw ESocketError(ErrorText(Ws.WSAGetLastError()));
    if (Ws.connect(m_socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        const int code = Ws.WSAGetLastError();
        if (code != WSAEWOULDBLOCK)
            throw ESocketError(ErrorText(code));
    }
    WaitFor([this] { return m_connected; });
    if (!m_connected)
        RaiseWaitEnd(false);
}

int TMailBase::Disconnect()
{
    if (m_socket == INVALID_SOCKET)
        return -1;
    const int result = Ws.closesocket(m_socket);
    RemoveQueuedMessages(m_window->Handle(), WM_MAIL_SOCKET, static_cast<WPARAM>(m_socket));
    m_socket = INVALID_SOCKET;
    return result;
}

std::string TMailBase::ErrorText(int code)
{
    const auto number = static_cast<std::uint16_t>(code);
    if (number == 0)
        return std::string();
    if (std::string text = SocketErrorText(number); !text.empty())
        return text;
    return "Winsock Error No. " + std::to_string(number);
}

} // namespace plover

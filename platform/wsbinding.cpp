#include "platform/wsbinding.h"

#include "platform/wsinternal.h"

#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace plover {

namespace {

thread_local int t_lastError = 0;
std::atomic<int> g_startups{0};
std::atomic<WSABLOCKINGHOOK> g_blockingHook{nullptr};

struct Hooks {
    std::atomic<bool> libraryMissing{false};
    std::atomic<std::uint16_t> startupVersion{0};
    std::atomic<int> missingOrdinal{0};
};

Hooks& hooks()
{
    static Hooks h;
    return h;
}

socklen_t toSockLen(const int* len) { return len ? static_cast<socklen_t>(std::max(*len, 0)) : 0; }

bool notStarted()
{
    if (wsimpl::Started())
        return false;
    wsimpl::SetLastError(WSANOTINITIALISED);
    return true;
}

SOCKET ws_accept(SOCKET s, sockaddr* addr, int* addrlen)
{
    socklen_t len = toSockLen(addrlen);
    int flags = SOCK_CLOEXEC;
    const int fl = ::fcntl(s, F_GETFL);
    if (fl >= 0 && (fl & O_NONBLOCK))
        flags |= SOCK_NONBLOCK; // an accepted socket inherits the listener's mode
    const int r = ::accept4(s, addrlen ? addr : nullptr, addrlen ? &len : nullptr, flags);
    const int err = errno;
    wsimpl::AfterAccept(s);
    if (r < 0)
        return wsimpl::Fail(err);
    if (addrlen)
        *addrlen = static_cast<int>(len);
    return r;
}

int ws_bind(SOCKET s, const sockaddr* addr, int len)
{
    return ::bind(s, addr, toSockLen(&len)) == 0 ? 0 : wsimpl::Fail(errno);
}

int ws_closesocket(SOCKET s)
{
    wsimpl::Forget(s);
    return ::close(s) == 0 ? 0 : wsimpl::Fail(errno);
}

int ws_connect(SOCKET s, const sockaddr* addr, int len)
{
    if (::connect(s, addr, toSockLen(&len)) == 0) {
        wsimpl::ConnectDone(s);
        return 0;
    }
    const int err = errno;
    if (err == EINPROGRESS) {
        wsimpl::ConnectInProgress(s);
        return wsimpl::Fail(EWOULDBLOCK);
    }
    const int wsa = WinsockErrorFromErrno(err);
    if (wsimpl::ConnectFailedAtOnce(s, wsa))
        return wsimpl::Fail(EWOULDBLOCK);
    wsimpl::SetLastError(wsa);
    return SOCKET_ERROR;
}

int ws_getpeername(SOCKET s, sockaddr* addr, int* len)
{
    socklen_t l = toSockLen(len);
    if (::getpeername(s, addr, &l) != 0)
        return wsimpl::Fail(errno);
    *len = static_cast<int>(l);
    return 0;
}

int ws_getsockname(SOCKET s, sockaddr* addr, int* len)
{
    socklen_t l = toSockLen(len);
    if (::getsockname(s, addr, &l) != 0)
        return wsimpl::Fail(errno);
    *len = static_cast<int>(l);
    return 0;
}

// Windows callers may pass integer options in fewer than four bytes (the
// 16-bit buffer-size properties); the platform wants a full int.
int ws_getsockopt(SOCKET s, int level, int name, char* value, int* len)
{
    if (!value || !len || *len <= 0) {
        wsimpl::SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    char buffer[64] = {};
    socklen_t l = static_cast<socklen_t>(std::clamp(*len, static_cast<int>(sizeof(int)), static_cast<int>(sizeof buffer)));
    if (::getsockopt(s, level, name, buffer, &l) != 0)
        return wsimpl::Fail(errno);
    const int n = std::min(*len, static_cast<int>(l));
    std::memcpy(value, buffer, static_cast<std::size_t>(n));
    *len = n;
    return 0;
}

int ws_setsockopt(SOCKET s, int level, int name, const char* value, int len)
{
    if (!value || len <= 0) {
        wsimpl::SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    int r;
    if (len < static_cast<int>(sizeof(int))) {
        unsigned int v = 0;
        for (int i = len - 1; i >= 0; --i) // little-endian, as the caller wrote it
            v = (v << 8) | static_cast<unsigned char>(value[i]);
        const int iv = static_cast<int>(v);
        r = ::setsockopt(s, level, name, &iv, sizeof iv);
    } else {
        r = ::setsockopt(s, level, name, value, static_cast<socklen_t>(len));
    }
    return r == 0 ? 0 : wsimpl::Fail(errno);
}

std::uint32_t ws_htonl(std::uint32_t v) { return ::htonl(v); }
std::uint16_t ws_htons(std::uint16_t v) { return ::htons(v); }
std::uint32_t ws_ntohl(std::uint32_t v) { return ::ntohl(v); }
std::uint16_t ws_ntohs(std::uint16_t v) { return ::ntohs(v); }
std::uint32_t ws_inet_addr(const char* text) { return text ? ::inet_addr(text) : INADDR_NONE; }
char* ws_inet_ntoa(in_addr a) { return ::inet_ntoa(a); }

int ws_ioctlsocket(SOCKET s, long cmd, unsigned long* arg)
{
    if (!arg) {
        wsimpl::SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (cmd == WSA_FIONBIO) {
        const int fl = ::fcntl(s, F_GETFL);
        if (fl < 0)
            return wsimpl::Fail(errno);
        const int nfl = *arg ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
        return ::fcntl(s, F_SETFL, nfl) == 0 ? 0 : wsimpl::Fail(errno);
    }
    if (cmd == WSA_FIONREAD) {
        int n = 0;
        if (::ioctl(s, FIONREAD, &n) != 0)
            return wsimpl::Fail(errno);
        *arg = static_cast<unsigned long>(n);
        return 0;
    }
    if (cmd == WSA_SIOCATMARK) {
        const int r = ::sockatmark(s);
        if (r < 0)
            return wsimpl::Fail(errno);
        // Windows answers true when no urgent data waits.
        *arg = r ? 0 : 1;
        return 0;
    }
    wsimpl::SetLastError(WSAEINVAL);
    return SOCKET_ERROR;
}

int ws_listen(SOCKET s, int backlog)
{
    if (::listen(s, backlog) != 0)
        return wsimpl::Fail(errno);
    wsimpl::AfterListen(s);
    return 0;
}

int ws_recv(SOCKET s, char* buf, int len, int flags)
{
    const ssize_t r = ::recv(s, buf, static_cast<std::size_t>(std::max(len, 0)), flags);
    const int err = errno;
    wsimpl::AfterRecv(s);
    return r < 0 ? wsimpl::Fail(err) : static_cast<int>(r);
}

int ws_recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen)
{
    socklen_t l = toSockLen(fromlen);
    const ssize_t r = ::recvfrom(s, buf, static_cast<std::size_t>(std::max(len, 0)), flags, fromlen ? from : nullptr, fromlen ? &l : nullptr);
    const int err = errno;
    wsimpl::AfterRecv(s);
    if (r < 0)
        return wsimpl::Fail(err);
    if (fromlen)
        *fromlen = static_cast<int>(l);
    return static_cast<int>(r);
}

// Windows ignores the first argument; the platform needs the highest
// descriptor plus one.
int ws_select(int, fd_set* r, fd_set* w, fd_set* e, const timeval* timeout)
{
    timeval t{};
    timeval* tp = nullptr;
    if (timeout) {
        t = *timeout;
        tp = &t;
    }
    const int n = ::select(FD_SETSIZE, r, w, e, tp);
    return n < 0 ? wsimpl::Fail(errno) : n;
}

int ws_send(SOCKET s, const char* buf, int len, int flags)
{
    const ssize_t r = ::send(s, buf, static_cast<std::size_t>(std::max(len, 0)), flags | MSG_NOSIGNAL);
    if (r >= 0)
        return static_cast<int>(r);
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK)
        wsimpl::SendWouldBlock(s);
    return wsimpl::Fail(err);
}

int ws_sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen)
{
    const ssize_t r = ::sendto(s, buf, static_cast<std::size_t>(std::max(len, 0)), flags | MSG_NOSIGNAL, to, toSockLen(&tolen));
    if (r >= 0)
        return static_cast<int>(r);
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK)
        wsimpl::SendWouldBlock(s);
    return wsimpl::Fail(err);
}

int ws_shutdown(SOCKET s, int how) { return ::shutdown(s, how) == 0 ? 0 : wsimpl::Fail(errno); }

SOCKET ws_socket(int af, int type, int protocol)
{
    if (notStarted())
        return INVALID_SOCKET;
    const int r = ::socket(af, type | SOCK_CLOEXEC, protocol);
    return r < 0 ? wsimpl::Fail(errno) : r;
}

hostent* ws_gethostbyaddr(const char* addr, int len, int type) { return notStarted() ? nullptr : wsimpl::GetHostByAddr(addr, len, type); }
hostent* ws_gethostbyname(const char* name) { return notStarted() ? nullptr : wsimpl::GetHostByName(name); }
protoent* ws_getprotobyname(const char* name) { return notStarted() ? nullptr : wsimpl::GetProtoByName(name); }
protoent* ws_getprotobynumber(int n) { return notStarted() ? nullptr : wsimpl::GetProtoByNumber(n); }
servent* ws_getservbyname(const char* name, const char* proto) { return notStarted() ? nullptr : wsimpl::GetServByName(name, proto); }
servent* ws_getservbyport(int port, const char* proto) { return notStarted() ? nullptr : wsimpl::GetServByPort(port, proto); }

int ws_gethostname(char* name, int len)
{
    if (notStarted())
        return SOCKET_ERROR;
    if (!name || len <= 0 || ::gethostname(name, static_cast<std::size_t>(len)) != 0 || !std::memchr(name, 0, static_cast<std::size_t>(len))) {
        wsimpl::SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    return 0;
}

int ws_WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) { return wsimpl::AsyncSelect(s, window, message, events); }

WSAHANDLE ws_WSAAsyncGetHostByAddr(HWND w, UINT m, const char* a, int l, int t, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetHostByAddr(w, m, a, l, t, b, bl);
}
WSAHANDLE ws_WSAAsyncGetHostByName(HWND w, UINT m, const char* n, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetHostByName(w, m, n, b, bl);
}
WSAHANDLE ws_WSAAsyncGetProtoByNumber(HWND w, UINT m, int n, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetProtoByNumber(w, m, n, b, bl);
}
WSAHANDLE ws_WSAAsyncGetProtoByName(HWND w, UINT m, const char* n, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetProtoByName(w, m, n, b, bl);
}
WSAHANDLE ws_WSAAsyncGetServByPort(HWND w, UINT m, int p, const char* pr, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetServByPort(w, m, p, pr, b, bl);
}
WSAHANDLE ws_WSAAsyncGetServByName(HWND w, UINT m, const char* n, const char* pr, char* b, int bl)
{
    return notStarted() ? 0 : wsimpl::AsyncGetServByName(w, m, n, pr, b, bl);
}
int ws_WSACancelAsyncRequest(WSAHANDLE h) { return wsimpl::CancelAsyncRequest(h); }

// Nothing in this binding blocks the way Winsock 1.1's blocking calls did,
// so there is never a blocking call to cancel or hook.
WSABLOCKINGHOOK ws_WSASetBlockingHook(WSABLOCKINGHOOK hook) { return g_blockingHook.exchange(hook); }
int ws_WSAUnhookBlockingHook()
{
    g_blockingHook = nullptr;
    return 0;
}
int ws_WSAGetLastError() { return wsimpl::LastError(); }
void ws_WSASetLastError(int code) { wsimpl::SetLastError(code); }
int ws_WSACancelBlockingCall()
{
    wsimpl::SetLastError(WSAEINVAL);
    return SOCKET_ERROR;
}
int ws_WSAIsBlocking() { return 0; }

void copyText(char* dest, std::size_t size, const char* text)
{
    std::strncpy(dest, text, size - 1);
    dest[size - 1] = 0;
}

int ws_WSAStartup(std::uint16_t version, WSADATA* data)
{
    if (!data)
        return WSAEFAULT;
    if ((version & 0xFF) < 1)
        return WSAVERNOTSUPPORTED;
    const std::uint16_t answer = hooks().startupVersion.load();
    data->wVersion = answer ? answer : MAKEWORD(1, 1);
    data->wHighVersion = MAKEWORD(1, 1);
    copyText(data->szDescription, sizeof data->szDescription, "Plover sockets binding (POSIX, IPv4)");
    copyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    rlimit rl{};
    const rlim_t files = ::getrlimit(RLIMIT_NOFILE, &rl) == 0 ? rl.rlim_cur : 1024;
    data->iMaxSockets = static_cast<std::uint16_t>(std::min<rlim_t>(files, 32767));
    data->iMaxUdpDg = 65507;
    data->lpVendorInfo = nullptr;
    ++g_startups;
    return 0;
}

int ws_WSACleanup()
{
    int n = g_startups.load();
    while (n > 0 && !g_startups.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0) {
        wsimpl::SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    return 0;
}

int ws___WSAFDIsSet(SOCKET s, fd_set* set) { return set && s >= 0 && s < FD_SETSIZE && FD_ISSET(s, set) ? 1 : 0; }

struct Export {
    int ordinal;
    void* address;
};

template <class F>
void* exportOf(F* f)
{
    return reinterpret_cast<void*>(f);
}

const Export* exports()
{
    static const Export table[WinsockFunctionCount] = {
#define PLOVER_WS_EXPORT(ordinal, name, ret, params, stub) {ordinal, exportOf(&ws_##name)},
        PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_EXPORT)
#undef PLOVER_WS_EXPORT
    };
    return table;
}

char g_module = 0; // the one module handle this binding hands out

} // namespace

namespace wsimpl {

void SetLastError(int code) { t_lastError = code; }
int LastError() { return t_lastError; }
int Fail(int err)
{
    t_lastError = WinsockErrorFromErrno(err);
    return SOCKET_ERROR;
}
bool Started() { return g_startups.load() > 0; }

} // namespace wsimpl

int WinsockErrorFromErrno(int err)
{
    switch (err) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK; // a closed handle, as Windows reports it
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET; // writing to a connection the peer has dropped
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return WSAEINVAL; // nothing closer among the Windows numbers
    }
}

void* LoadWinsockModule(const std::string& fileName)
{
    if (hooks().libraryMissing.load())
        return nullptr;
    if (QString::fromStdString(fileName).compare(QStringLiteral("WSOCK32.DLL"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return &g_module;
}

void* GetWinsockProcAddress(void* module, int ordinal)
{
    if (module != &g_module || ordinal == hooks().missingOrdinal.load())
        return nullptr;
    const Export* table = exports();
    for (int i = 0; i < WinsockFunctionCount; ++i)
        if (table[i].ordinal == ordinal)
            return table[i].address;
    return nullptr;
}

namespace winsock_testing {
void SetLibraryMissing(bool missing) { hooks().libraryMissing = missing; }
void SetStartupVersion(std::uint16_t version) { hooks().startupVersion = version; }
void SetMissingOrdinal(int ordinal) { hooks().missingOrdinal = ordinal; }
void Reset()
{
    SetLibraryMissing(false);
    SetStartupVersion(0);
    SetMissingOrdinal(0);
}
} // namespace winsock_testing

bool BindWinsockTable(WinsockFunctions& table)
{
    void* module = LoadWinsockModule("WSOCK32.DLL");
    if (!module)
        return false;
    WinsockFunctions bound;
    for (int i = 0; i < WinsockFunctionCount; ++i) {
        void* address = GetWinsockProcAddress(module, WinsockOrdinals[i]);
        if (!address)
            return false;
        SetWinsockEntry(bound, i, address);
    }
    table = bound;
    return true;
}

} // namespace plover

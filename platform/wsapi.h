// The Windows Sockets 1.1 interface as the FTP engine sees it: its types,
// event and error numbers, and the 47-entry function table that CWinsock
// binds by ordinal. Address structures, socket levels and options are the
// platform's own (IPv4 sockaddr_in, SOL_SOCKET, SO_RCVBUF, ...); the error
// numbers, event bits and ioctl commands are the Windows ones.
#pragma once

#include "platform/messages.h"

#include <cstdint>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

// glibc may define these as macros, which would also rewrite calls through
// the table (table.htons(x)); the real functions stay declared.
#undef htonl
#undef htons
#undef ntohl
#undef ntohs

namespace plover {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
using WSAHANDLE = std::uintptr_t; // asynchronous request handle, 0 = none
using WSABLOCKINGHOOK = int (*)();

constexpr std::uint16_t MAKEWORD(std::uint8_t low, std::uint8_t high) { return static_cast<std::uint16_t>(low | (high << 8)); }

// WSAAsyncSelect events; the message's lParam carries the event in its low
// word and the error number in its high word.
enum : long { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };
constexpr LPARAM WSAMAKESELECTREPLY(int event, int error) { return MAKELONG(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)); }
constexpr LPARAM WSAMAKEASYNCREPLY(int buflen, int error) { return MAKELONG(static_cast<std::uint16_t>(buflen), static_cast<std::uint16_t>(error)); }
constexpr int WSAGETSELECTEVENT(LPARAM l) { return LOWORD(l); }
constexpr int WSAGETSELECTERROR(LPARAM l) { return HIWORD(l); }

// ioctlsocket commands (Windows values).
constexpr long WSA_FIONBIO = static_cast<long>(0x8004667EL);
constexpr long WSA_FIONREAD = 0x4004667FL;
constexpr long WSA_SIOCATMARK = 0x40047307L;

// Windows Sockets error numbers used by the engine.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[WSADESCRIPTION_LEN + 1] = {};
    char szSystemStatus[WSASYS_STATUS_LEN + 1] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// X(ordinal, name, return type, parameter types, stub result)
// The stubs stand in for every entry while the library is not bound; they
// ignore their arguments and fail in a fixed way, so callers may use the
// table at any time without checking.
#define PLOVER_WINSOCK_FUNCTIONS(X)                                                                          \
    X(1, accept, SOCKET, (SOCKET, sockaddr*, int*), -1)                                                      \
    X(2, bind, int, (SOCKET, const sockaddr*, int), -1)                                                      \
    X(3, closesocket, int, (SOCKET), -1)                                                                     \
    X(4, connect, int, (SOCKET, const sockaddr*, int), -1)                                                   \
    X(5, getpeername, int, (SOCKET, sockaddr*, int*), -1)                                                    \
    X(6, getsockname, int, (SOCKET, sockaddr*, int*), -1)                                                    \
    X(7, getsockopt, int, (SOCKET, int, int, char*, int*), -1)                                               \
    X(8, htonl, std::uint32_t, (std::uint32_t), 0)                                                           \
    X(9, htons, std::uint16_t, (std::uint16_t), 0)                                                           \
    X(10, inet_addr, std::uint32_t, (const char*), 0xFFFFFFFFu)                                              \
    X(11, inet_ntoa, char*, (in_addr), winsockEmptyText())                                                   \
    X(12, ioctlsocket, int, (SOCKET, long, unsigned long*), -1)                                              \
    X(13, listen, int, (SOCKET, int), -1)                                                                    \
    X(14, ntohl, std::uint32_t, (std::uint32_t), 0)                                                          \
    X(15, ntohs, std::uint16_t, (std::uint16_t), 0)                                                          \
    X(16, recv, int, (SOCKET, char*, int, int), -1)                                                          \
    X(17, recvfrom, int, (SOCKET, char*, int, int, sockaddr*, int*), -1)                                     \
    X(18, select, int, (int, fd_set*, fd_set*, fd_set*, const timeval*), -1)                                 \
    X(19, send, int, (SOCKET, const char*, int, int), -1)                                                    \
    X(20, sendto, int, (SOCKET, const char*, int, int, const sockaddr*, int), -1)                            \
    X(21, setsockopt, int, (SOCKET, int, int, const char*, int), -1)                                         \
    X(22, shutdown, int, (SOCKET, int), -1)                                                                  \
    X(23, socket, SOCKET, (int, int, int), -1)                                                               \
    X(51, gethostbyaddr, hostent*, (const char*, int, int), nullptr)                                         \
    X(52, gethostbyname, hostent*, (const char*), nullptr)                                                   \
    X(53, getprotobyname, protoent*, (const char*), nullptr)                                                 \
    X(54, getprotobynumber, protoent*, (int), nullptr)                                                       \
    X(55, getservbyname, servent*, (const char*, const char*), nullptr)                                      \
    X(56, getservbyport, servent*, (int, const char*), nullptr)                                              \
    X(57, gethostname, int, (char*, int), -1)                                                                \
    X(101, WSAAsyncSelect, int, (SOCKET, HWND, UINT, long), -1)                                              \
    X(102, WSAAsyncGetHostByAddr, WSAHANDLE, (HWND, UINT, const char*, int, int, char*, int), 0)             \
    X(103, WSAAsyncGetHostByName, WSAHANDLE, (HWND, UINT, const char*, char*, int), 0)                       \
    X(104, WSAAsyncGetProtoByNumber, WSAHANDLE, (HWND, UINT, int, char*, int), 0)                            \
    X(105, WSAAsyncGetProtoByName, WSAHANDLE, (HWND, UINT, const char*, char*, int), 0)                      \
    X(106, WSAAsyncGetServByPort, WSAHANDLE, (HWND, UINT, int, const char*, char*, int), 0)                  \
    X(107, WSAAsyncGetServByName, WSAHANDLE, (HWND, UINT, const char*, const char*, char*, int), 0)          \
    X(108, WSACancelAsyncRequest, int, (WSAHANDLE), -1)                                                      \
    X(109, WSASetBlockingHook, WSABLOCKINGHOOK, (WSABLOCKINGHOOK), nullptr)                                  \
    X(110, WSAUnhookBlockingHook, int, (), -1)                                                               \
    X(111, WSAGetLastError, int, (), WSANOTINITIALISED)                                                      \
    X(112, WSASetLastError, void, (int), void())                                                             \
    X(113, WSACancelBlockingCall, int, (), -1)                                                               \
    X(114, WSAIsBlocking, int, (), 0)                                                                        \
    X(115, WSAStartup, int, (std::uint16_t, WSADATA*), WSASYSNOTREADY)                                       \
    X(116, WSACleanup, int, (), -1)                                                                          \
    X(151, __WSAFDIsSet, int, (SOCKET, fd_set*), 0)

// The text the inet_ntoa stub answers (empty).
char* winsockEmptyText();

constexpr int WinsockFunctionCount = 47;

// One entry per function, in table order, each pointing at the bound
// library function or at its stub.
struct WinsockFunctions {
#define PLOVER_WS_MEMBER(ordinal, name, ret, params, stub) ret(*name) params;
    PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_MEMBER)
#undef PLOVER_WS_MEMBER

    WinsockFunctions() { BindStubs(); }
    void BindStubs();
};

// The ordinals of the table, in table order.
extern const int WinsockOrdinals[WinsockFunctionCount];

// Assigns the entry at table position index from a resolved address.
void SetWinsockEntry(WinsockFunctions& table, int index, void* address);

} // namespace plover

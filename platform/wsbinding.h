// The socket library the engine binds at run time: the platform's own
// sockets (IPv4) behind the Windows Sockets 1.1 function table, with errno
// translated to the Windows Sockets error numbers and WSAAsyncSelect
// emulated on Qt socket notifiers.
//
// Readiness follows the Windows re-enabling rules: FD_READ is posted once and
// recorded again only after the next recv; FD_ACCEPT likewise after accept;
// FD_WRITE after a connect and then only after a send that would block;
// FD_CLOSE once, when the peer's close is reached (after the data before it
// has been read), with the error number in the high word. A socket is
// driven from the thread that called WSAAsyncSelect for it.
#pragma once

#include "platform/netaddress.h"
#include "platform/wsapi.h"

#include <string>
#include <vector>

namespace plover {

// The stand-ins for LoadLibrary and GetProcAddress-by-ordinal. Only the one
// library name the components ask for is known; the module handle is never
// released.
void* LoadWinsockModule(const std::string& fileName);
void* GetWinsockProcAddress(void* module, int ordinal);
// Binds every entry of the table to the library at once, as a program that
// imports the library directly has it. False (the table keeps its stubs)
// when the library is missing or an entry does not resolve.
bool BindWinsockTable(WinsockFunctions& table);

// Beyond the 1.1 table: every stream address of a host name, IPv4 and IPv6,
// in the resolver's order. 0, or the look-up error (11001 for no such
// host, 10093 while the library is not started).
int ResolveStreamHost(const std::string& name, std::vector<NetAddress>& addresses);

// Maps an errno value (of a socket call) onto a Windows Sockets number.
int WinsockErrorFromErrno(int err);

// Test hooks: make the library missing, let WSAStartup answer another
// version (low byte major, high byte minor; 0 = the normal 1.1), or make
// one ordinal fail to resolve (0 = none).
namespace winsock_testing {
void SetLibraryMissing(bool missing);
void SetStartupVersion(std::uint16_t version);
void SetMissingOrdinal(int ordinal);
void Reset();
} // namespace winsock_testing

} // namespace plover

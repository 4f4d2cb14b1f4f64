// Shared between the parts of the socket binding (not for other code).
#pragma once

#include "platform/wsapi.h"

namespace plover::wsimpl {

void SetLastError(int code);
int LastError();
// Sets the translated errno as the last error; returns SOCKET_ERROR.
int Fail(int err);
// True while WSAStartup has been called more often than WSACleanup.
bool Started();

// WSAAsyncSelect emulation (wsselect.cpp).
int AsyncSelect(SOCKET s, HWND window, UINT message, long events);
void AfterRecv(SOCKET s);
void AfterAccept(SOCKET s);
void AfterListen(SOCKET s);
void SendWouldBlock(SOCKET s);
void ConnectInProgress(SOCKET s);
void ConnectDone(SOCKET s);
// A connect that failed at once on a selected socket is reported as a
// connect notification, as Windows does; true when it was.
bool ConnectFailedAtOnce(SOCKET s, int wsaError);
void Forget(SOCKET s);

// Look-ups (wslookup.cpp).
hostent* GetHostByName(const char* name);
hostent* GetHostByAddr(const char* addr, int len, int type);
servent* GetServByName(const char* name, const char* proto);
servent* GetServByPort(int port, const char* proto);
protoent* GetProtoByName(const char* name);
protoent* GetProtoByNumber(int number);
WSAHANDLE AsyncGetHostByAddr(HWND, UINT, const char* addr, int len, int type, char* buf, int buflen);
WSAHANDLE AsyncGetHostByName(HWND, UINT, const char* name, char* buf, int buflen);
WSAHANDLE AsyncGetProtoByNumber(HWND, UINT, int number, char* buf, int buflen);
WSAHANDLE AsyncGetProtoByName(HWND, UINT, const char* name, char* buf, int buflen);
WSAHANDLE AsyncGetServByPort(HWND, UINT, int port, const char* proto, char* buf, int buflen);
WSAHANDLE AsyncGetServByName(HWND, UINT, const char* name, const char* proto, char* buf, int buflen);
int CancelAsyncRequest(WSAHANDLE handle);

} // namespace plover::wsimpl

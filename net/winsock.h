// CWinsock: a socket component's own binding to the socket library. The
// library is loaded on request (WinsockLoaded := true), its functions are
// resolved by ordinal into this component's table and it is started for
// version 1.1. Until then every entry is a stub that fails in a fixed way,
// so the engine may call the table at any time without checking.
#pragma once

#include "net/corvidbase.h"
#include "platform/wsapi.h"

#include <cstdint>
#include <string>

namespace plover {

class CWinsock : public TCorvidBase {
public:
    explicit CWinsock(QObject* owner = nullptr);
    ~CWinsock() override;

    bool WinsockLoaded() const;
    // True loads (once: a load count), false unloads; the failure messages
    // of a load are read through WinsockInfo, not raised.
    virtual void SetWinsockLoaded(bool value);
    // The library's description text, or the last load-failure message.
    std::string WinsockInfo() const;
    // The library's status text; "Down" while unloaded.
    std::string WinsockStatus() const;
    // The host name (gethostname), or the description of the library's last
    // error when that fails (with the library unloaded: the 10093 text).
    virtual std::string LocalHost();

    // The hidden window that receives this component's socket notifications;
    // its owner supplies it and routes WM_SOCKET_NOTIFY back.
    HWND WindowHandle() const { return m_window; }
    void SetWindowHandle(HWND window) { m_window = window; }

    int LoadCount() const { return m_loadCount; }
    std::string LibraryName = "WSOCK32.DLL";

protected:
    // The library's functions (or their stubs); the engine calls through it.
    WinsockFunctions Ws;
    WSADATA WsaData;

private:
    bool LoadWinsock();
    void UnloadWinsock();

    void* m_module = nullptr;
    std::uint16_t m_loadCount = 0;
    bool m_notBusy = true;
    HWND m_window = 0;
};

} // namespace plover

#include "net/winsock.h"

#include "platform/wsbinding.h"

#include <cstring>

namespace plover {

namespace {

void setText(char* dest, std::size_t size, const char* text)
{
    std::strncpy(dest, text, size - 1);
    dest[size - 1] = 0;
}

// Sets the not-busy flag again on every way out of a load or unload.
struct BusyScope {
    explicit BusyScope(bool& notBusy) : flag(notBusy) { flag = false; }
    ~BusyScope() { flag = true; }
    bool& flag;
};

} // namespace

CWinsock::CWinsock(QObject* owner) : TCorvidBase(owner)
{
    setText(WsaData.szSystemStatus, sizeof WsaData.szSystemStatus, "Down");
}

CWinsock::~CWinsock()
{
    if (WinsockLoaded())
        UnloadWinsock();
}

bool CWinsock::WinsockLoaded() const { return m_module != nullptr; }

void CWinsock::SetWinsockLoaded(bool value)
{
    if (value) {
        if (m_notBusy && !WinsockLoaded())
            LoadWinsock();
    } else if (m_notBusy && WinsockLoaded()) {
        UnloadWinsock();
    }
}

std::string CWinsock::WinsockInfo() const { return WsaData.szDescription; }
std::string CWinsock::WinsockStatus() const { return WsaData.szSystemStatus; }

std::string CWinsock::LocalHost()
{
    char name[100] = {};
    if (Ws.gethostname(name, sizeof name) != 0)
        return ErrorDescription(Ws.WSAGetLastError());
    return name;
}

bool CWinsock::LoadWinsock()
{
    BusyScope busy(m_notBusy);
    if (m_loadCount++ > 0)
        return true;
    m_module = LoadWinsockModule(LibraryName);
    if (!m_module) {
        setText(WsaData.szDescription, sizeof WsaData.szDescription, "Could not load Winsock DLL.");
        return false;
    }
    for (int i = 0; i < WinsockFunctionCount; ++i) {
        void* address = GetWinsockProcAddress(m_module, WinsockOrdinals[i]);
        if (!address) {
            setText(WsaData.szDescription, sizeof WsaData.szDescription, "Failure to get Winsock functions.");
            ReportError(0, "Failure to get Winsock functions.");
            return false;
        }
        SetWinsockEntry(Ws, i, address);
    }
    const int result = Ws.WSAStartup(MAKEWORD(1, 1), &WsaData);
    if (result == WSAEINVAL || result == WSAVERNOTSUPPORTED) {
        setText(WsaData.szDescription, sizeof WsaData.szDescription, "Version not supported.");
        return false;
    }
    if (result == WSASYSNOTREADY) {
        UnloadWinsock();
        setText(WsaData.szDescription, sizeof WsaData.szDescription, "Network subsystem not ready.");
        return false;
    }
    if ((WsaData.wVersion & 0xFF) == 1 && (WsaData.wVersion >> 8) == 1)
        return true;
    // Unloading empties the description, so the message is stored after it
    // to stay readable through WinsockInfo.
    UnloadWinsock();
    setText(WsaData.szDescription, sizeof WsaData.szDescription, "Incompatible Winsock version.");
    return false;
}

void CWinsock::UnloadWinsock()
{
    BusyScope busy(m_notBusy);
    if (m_loadCount > 0 && m_module) {
        --m_loadCount;
        Ws.WSACancelBlockingCall();
        Ws.WSACleanup();
        WsaData.szDescription[0] = 0;
        setText(WsaData.szSystemStatus, sizeof WsaData.szSystemStatus, "Down");
        WsaData.iMaxSockets = 0;
        WsaData.iMaxUdpDg = 0;
        if (m_loadCount == 0) {
            Ws.BindStubs();
            m_module = nullptr; // the module itself is never released
        }
    }
}

} // namespace plover

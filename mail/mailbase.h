// TMailBase: the mail component's own connection to one server: the host
// and service look-ups (on a worker thread, their results posted back), one
// TCP socket, and waits that sleep in the event loop until a socket
// notification, the one-second time-out tick or a cancel ends them. Each
// waiting step has TimeOut seconds of its own. Also the mail exceptions and
// the address form "address|display name".
#pragma once

#include "platform/exception.h"
#include "platform/messages.h"
#include "platform/wsapi.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTimer;

namespace plover {

class EMailError final : public Exception {
public:
    using Exception::Exception;
};

class ESocketError final : public Exception {
public:
    using Exception::Exception;
};

class ECanceledError final : public Exception {
public:
    ECanceledError() : Exception("Operation has been canceled") {}
};

class ETimedOutError final : public Exception {
public:
    ETimedOutError() : Exception("Operation timed out") {}
};

// "address|name": (address, name); without "|" all of it is the address.
std::pair<std::string, std::string> SplitAddress(const std::string& text);

class TMailBase : public QObject {
public:
    explicit TMailBase(QObject* owner = nullptr);
    ~TMailBase() override;
    TMailBase(const TMailBase&) = delete;
    TMailBase& operator=(const TMailBase&) = delete;

    // Host name or IPv4 address, optionally ":port" (which then wins over
    // the service look-up).
    std::string Server;
    int TimeOut = 60;
    std::uint16_t DefaultPort = 0;
    // The service whose port is looked up; a name the system does not know
    // gives DefaultPort.
    std::string ServiceName;
    // The commands sent and the reply lines received.
    std::vector<std::string> Transcript;

    virtual void Reset();
    virtual void Cancel();
    // Starts the library, resolves host and port, creates the socket; the
    // TCP connection is OpenConnection's.
    virtual void Connect();
    // Closes the socket: the close result, or -1 without one.
    virtual int Disconnect();
    // Connects and waits until the connection is up; a refused connection
    // fails at once with the socket error's text.
    void OpenConnection();

    // The text of a socket error number; empty for 0.
    static std::string ErrorText(int code);

    const std::string& ResolvedAddress() const { return m_addressText; }
    std::uint16_t Port() const { return m_port; }
    bool TimedOut() const { return m_timedOut; }
    bool CancelRequested() const { return m_cancelRequested; }

protected:
    static constexpr UINT WM_HOST_RESOLVED = WM_USER + 1;
    static constexpr UINT WM_SERVICE_RESOLVED = WM_USER + 2;
    static constexpr UINT WM_MAIL_SOCKET = WM_USER + 3;

    void StartTimeOut();
    void StopTimeOut();
    // Sleeps in the event loop until done() holds, a cancel, the time-out,
    // or (closeEnds) the server closes the connection or a socket error
    // arrives.
    void WaitFor(const std::function<bool()>& done, bool closeEnds = true);
    // Raises what ended the last wait other than done(): cancel, time-out,
    // a close or an error (disconnecting first for all but the time-out
    // when disconnect is set).
    void RaiseWaitEnd(bool disconnect);

    WinsockFunctions Ws;
    SOCKET m_socket = INVALID_SOCKET;
    bool m_timedOut = false;
    bool m_cancelRequested = false;
    bool m_hostResolved = false;
    bool m_serviceResolved = false;
    bool m_connected = false;
    bool m_readable = false;
    bool m_writable = false;
    bool m_asyncError = false;
    // The server closed the connection (a close notification).
    bool m_closed = false;
    int m_asyncErrorCode = 0;

private:
    LRESULT windowProc(const MSG& msg);
    void tick();
    void resolveHost(const std::string& host);
    void resolvePort();

    std::unique_ptr<HiddenWindow> m_window;
    // Where a look-up's entry is written; a look-up still running when the
    // component goes is cancelled first, so nothing writes here late.
    std::array<char, 1024> m_lookup{};
    std::unique_ptr<QTimer> m_timer;
    WSAHANDLE m_request = 0;
    std::uint32_t m_address = 0;
    std::string m_addressText;
    std::uint16_t m_port = 0;
    int m_countdown = 0;
    int m_startups = 0;
};

} // namespace plover

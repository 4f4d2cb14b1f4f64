// WSAAsyncSelect on Qt socket notifiers, with Windows' re-enabling rules:
// each event is recorded once and recorded again only after the call that
// re-enables it (recv for FD_READ, accept for FD_ACCEPT, a send that would
// block for FD_WRITE). A notifier is switched off while its event waits for
// that call, so a socket whose data nobody reads costs nothing.
#include "platform/wsbinding.h"
#include "platform/wsinternal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unordered_map>

namespace plover::wsimpl {

namespace {

enum class Phase { Idle, Connecting, Connected, Listening, Closed };

struct Selection {
    SOCKET socket = INVALID_SOCKET;
    HWND window = 0;
    UINT message = 0;
    long events = 0;
    Phase phase = Phase::Idle;
    bool readRecorded = true; // FD_READ / FD_ACCEPT may be posted
    bool writeRecorded = false;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

// Sockets are driven from the thread that selected them.
thread_local std::unordered_map<SOCKET, std::unique_ptr<Selection>> t_selections;
// Where each socket's notifications went, kept after a cancel (event mask 0)
// until the socket is closed, so the close can purge what is still queued.
thread_local std::unordered_map<SOCKET, std::pair<HWND, UINT>> t_targets;

Selection* find(SOCKET s)
{
    auto it = t_selections.find(s);
    return it == t_selections.end() ? nullptr : it->second.get();
}

void post(const Selection& sel, int event, int error)
{
    PostMessage(sel.window, sel.message, static_cast<WPARAM>(sel.socket), WSAMAKESELECTREPLY(event, error));
}

void update(Selection& sel)
{
    bool wantRead = false;
    if (sel.readRecorded) {
        if (sel.phase == Phase::Listening)
            wantRead = sel.events & FD_ACCEPT;
        else if (sel.phase == Phase::Connected)
            wantRead = sel.events & (FD_READ | FD_CLOSE);
    }
    const bool wantWrite = sel.phase == Phase::Connecting || (sel.phase == Phase::Connected && sel.writeRecorded && (sel.events & FD_WRITE));
    sel.readNotifier->setEnabled(wantRead);
    sel.writeNotifier->setEnabled(wantWrite);
}

void connected(Selection& sel)
{
    sel.phase = Phase::Connected;
    sel.readRecorded = true;
    sel.writeRecorded = false;
    if (sel.events & FD_CONNECT)
        post(sel, FD_CONNECT, 0);
    if (sel.events & FD_WRITE)
        post(sel, FD_WRITE, 0);
}

void closed(Selection& sel, int error)
{
    sel.phase = Phase::Closed;
    if (sel.events & FD_CLOSE)
        post(sel, FD_CLOSE, error);
}

void onReadable(SOCKET s)
{
    Selection* sel = find(s);
    if (!sel)
        return;
    if (sel->phase == Phase::Listening) {
        post(*sel, FD_ACCEPT, 0);
        sel->readRecorded = false;
    } else if (sel->phase == Phase::Connected) {
        // A peek tells data from the peer's close, so FD_CLOSE comes only
        // after the data before it has been read.
        char byte;
        const ssize_t n = ::recv(s, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            if (sel->events & FD_READ)
                post(*sel, FD_READ, 0);
            sel->readRecorded = false;
        } else if (n == 0) {
            closed(*sel, 0);
        } else if (errno != EAGAIN && errno != EINTR) {
            closed(*sel, WinsockErrorFromErrno(errno));
        }
    }
    update(*sel);
}

void onWritable(SOCKET s)
{
    Selection* sel = find(s);
    if (!sel)
        return;
    if (sel->phase == Phase::Connecting) {
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error == 0) {
            connected(*sel);
        } else {
            sel->phase = Phase::Idle;
            if (sel->events & FD_CONNECT)
                post(*sel, FD_CONNECT, WinsockErrorFromErrno(error));
        }
    } else if (sel->phase == Phase::Connected && sel->writeRecorded) {
        post(*sel, FD_WRITE, 0);
        sel->writeRecorded = false;
    }
    update(*sel);
}

Phase currentPhase(SOCKET s)
{
    int listening = 0;
    socklen_t len = sizeof listening;
    if (::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 && listening)
        return Phase::Listening;
    sockaddr_storage peer{};
    len = sizeof peer;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        return Phase::Connected;
    return Phase::Idle;
}

} // namespace

int AsyncSelect(SOCKET s, HWND window, UINT message, long events)
{
    const int fl = s >= 0 ? ::fcntl(s, F_GETFL) : -1;
    if (fl < 0) {
        SetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    t_selections.erase(s);
    // Selecting makes the socket non-blocking, as on Windows.
    if (!(fl & O_NONBLOCK) && ::fcntl(s, F_SETFL, fl | O_NONBLOCK) != 0)
        return Fail(errno);
    if (events == 0)
        return 0;
    t_targets[s] = {window, message};
    auto sel = std::make_unique<Selection>();
    sel->socket = s;
    sel->window = window;
    sel->message = message;
    sel->events = events;
    sel->phase = currentPhase(s);
    // Windows posts FD_WRITE at once when a connected socket is selected for it.
    sel->writeRecorded = sel->phase == Phase::Connected;
    sel->readNotifier = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
    sel->writeNotifier = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
    sel->readNotifier->setEnabled(false);
    sel->writeNotifier->setEnabled(false);
    QObject::connect(sel->readNotifier.get(), &QSocketNotifier::activated, [s] { onReadable(s); });
    QObject::connect(sel->writeNotifier.get(), &QSocketNotifier::activated, [s] { onWritable(s); });
    Selection& ref = *sel;
    t_selections[s] = std::move(sel);
    update(ref);
    return 0;
}

void AfterRecv(SOCKET s)
{
    if (Selection* sel = find(s); sel && sel->phase == Phase::Connected && !sel->readRecorded) {
        sel->readRecorded = true;
        update(*sel);
    }
}

void AfterAccept(SOCKET s)
{
    if (Selection* sel = find(s); sel && !sel->readRecorded) {
        sel->readRecorded = true;
        update(*sel);
    }
}

void AfterListen(SOCKET s)
{
    if (Selection* sel = find(s)) {
        sel->phase = Phase::Listening;
        sel->readRecorded = true;
        update(*sel);
    }
}

void SendWouldBlock(SOCKET s)
{
    if (Selection* sel = find(s); sel && !sel->writeRecorded) {
        sel->writeRecorded = true;
        update(*sel);
    }
}

void ConnectInProgress(SOCKET s)
{
    if (Selection* sel = find(s)) {
        sel->phase = Phase::Connecting;
        update(*sel);
    }
}

void ConnectDone(SOCKET s)
{
    if (Selection* sel = find(s)) {
        connected(*sel);
        update(*sel);
    }
}

bool ConnectFailedAtOnce(SOCKET s, int wsaError)
{
    Selection* sel = find(s);
    if (!sel || !(sel->events & FD_CONNECT))
        return false;
    switch (wsaError) {
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAETIMEDOUT:
        post(*sel, FD_CONNECT, wsaError);
        return true;
    default:
        return false;
    }
}

void Forget(SOCKET s)
{
    t_selections.erase(s);
    auto it = t_targets.find(s);
    if (it == t_targets.end())
        return;
    // Descriptor numbers are reused at once; a notification still queued
    // for this one must not reach the next socket that gets the number.
    RemoveQueuedMessages(it->second.first, it->second.second, static_cast<WPARAM>(s));
    t_targets.erase(it);
}

} // namespace plover::wsimpl

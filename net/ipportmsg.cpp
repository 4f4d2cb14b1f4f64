// CIPPortMsg: the synchronous layer over CIPPort: commands, reply waits,
// connecting, interrupts and the time-outs that bound every wait.
#include "net/ipport.h"

#include "net/errorcodes.h"
#include "platform/messages.h"

#include <QTimer>

#include <algorithm>
#include <climits>

namespace plover {

CIPPortMsg::CIPPortMsg(QObject* owner) : CIPPort(owner) {}

// The turns of one wait: one message each, with the checks that end a wait
// whatever the peer does (an interrupt, the inactivity time-out, a deadline).
class CIPPortMsg::WaitTurns final {
public:
    explicit WaitTurns(CIPPortMsg& port)
        : m_port(port), m_interrupts(port.m_interrupts), m_start(std::chrono::steady_clock::now())
    {
        // Its firing only wakes the loop; the loop decides.
        m_timer.setSingleShot(true);
        m_timer.callOnTimeout([] {});
    }

    // One turn: 0 to go on, or the code that ends the wait.
    [[nodiscard]] int Turn(bool mayBlock)
    {
        if (!m_timer.isActive())
            arm();
        (void)PumpOneMessage(mayBlock, [this] { m_port.Interrupt(); });
        if (m_port.m_interrupts != m_interrupts) {
            m_port.LastErrorText = "Interrupted.";
            return EngineError::Interrupted;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_port.m_deadline && now >= *m_port.m_deadline) {
            m_port.LastErrorText = "The server did not answer in time.";
            return EngineError::TimedOut;
        }
        if (m_port.m_timeOut > 0 && now >= inactivityEnd()) {
            m_port.LastErrorText = "The server did not answer within " + std::to_string(m_port.m_timeOut)
                + (m_port.m_timeOut == 1 ? " second." : " seconds.");
            return EngineError::TimedOut;
        }
        return 0;
    }

private:
    std::chrono::steady_clock::time_point inactivityEnd() const
    {
        return std::max(m_port.LastActivity(), m_start) + std::chrono::seconds(m_port.m_timeOut);
    }
    void arm()
    {
        using namespace std::chrono;
        std::optional<steady_clock::time_point> end = m_port.m_deadline;
        if (m_port.m_timeOut > 0 && (!end || inactivityEnd() < *end))
            end = inactivityEnd();
        if (!end)
            return;
        // A little late rather than early, so one firing is enough.
        const auto left = duration_cast<milliseconds>(*end - steady_clock::now()) + milliseconds(5);
        m_timer.start(static_cast<int>(std::clamp<milliseconds::rep>(left.count(), 1, INT_MAX)));
    }

    CIPPortMsg& m_port;
    const std::uint64_t m_interrupts;
    const std::chrono::steady_clock::time_point m_start;
    QTimer m_timer;
};

int CIPPortMsg::WaitUntil(const std::function<bool()>& done, bool idleTurns, bool closeEnds)
{
    PumpScope scope;
    WaitTurns turns(*this);
    // The first turn runs WaitIdle before any sleep: an upload must not
    // wait for a message that only its own sending would cause.
    bool didWork = idleTurns;
    for (;;) {
        if (const int code = turns.Turn(!didWork))
            return code;
        if (done())
            return 0;
        if (closeEnds && Socket() == INVALID_SOCKET) {
            LastErrorText = ErrorText(EngineError::ConnectionClosed);
            return EngineError::ConnectionClosed;
        }
        didWork = false;
        if (idleTurns)
            if (const int code = WaitIdle(didWork))
                return code;
    }
}

void CIPPortMsg::Interrupt()
{
    ++m_interrupts;
    LastErrorText = "Interrupted.";
}

int CIPPortMsg::SendAll(const char* data, std::int64_t length)
{
    if (length <= 0)
        return 0;
    PumpScope scope;
    std::optional<WaitTurns> turns;
    std::int64_t sent = 0;
    for (;;) {
        const int code = SendBlock(data, length, 0);
        if (code != WSAEWOULDBLOCK)
            return code;
        length -= BytesSent();
        data += BytesSent();
        sent += BytesSent();
        if (length <= 0)
            return 0;
        if (!turns)
            turns.emplace(*this);
        // Nothing taken: sleep until the socket reports room (FD_WRITE).
        if (const int wait = turns->Turn(BytesSent() == 0))
            return wait;
        if (const int progress = SendProgress(sent))
            return progress;
    }
}

void CIPPortMsg::DiscardPendingLines()
{
    while (!m_heldLines.empty()) {
        FireLineDropped(m_heldLines.front(), true);
        m_heldLines.pop_front();
    }
    if (Socket() == INVALID_SOCKET || InReceive())
        return;
    // Read what has arrived without waiting; every line goes to FireLineDropped.
    const bool accept = AcceptData();
    m_draining = true;
    SetAcceptDataSilently(true);
    ReceiveData(ReceiveMode::Drain);
    m_draining = false;
    if (Socket() != INVALID_SOCKET)
        SetAcceptDataSilently(accept);
}

int CIPPortMsg::SendCommand(const std::string& name, const std::string& data, const std::string& terminator)
{
    if (!name.empty())
        DiscardPendingLines();
    m_waiting = true;
    m_replyLine.clear();
    m_replyLineCapped = false;
    SetAcceptData(false);
    int code = 0;
    if (!name.empty()) {
        // One send for the whole line: in pieces, the small tail waits for
        // the peer's delayed acknowledgement (Nagle), up to 200 ms a command.
        std::string line = name;
        if (!data.empty())
            line += " " + data;
        line += terminator;
        code = SendAll(line);
    }
    if (code != 0) {
        m_waiting = false;
        SetAcceptData(true);
        return code;
    }
    return WaitReplyLine();
}

int CIPPortMsg::WaitReplyLine()
{
    if (!m_heldLines.empty()) {
        m_replyLine = std::move(m_heldLines.front());
        m_replyLineCapped = false;
        m_heldLines.pop_front();
        m_waiting = false;
        return 0;
    }
    m_waiting = true;
    SetAcceptData(true);
    const int code = WaitUntil([this] { return !m_waiting; }, true, true);
    if (code != 0) {
        // A line arriving later stays queued; the next command drops it.
        m_waiting = false;
        if (Socket() != INVALID_SOCKET)
            SetAcceptData(false);
    }
    return code;
}

int CIPPortMsg::ConnectAndWait()
{
    if (Connected())
        return 0;
    // Each address of the host in the resolver's order, until one answers.
    FirstRemoteAddress();
    for (;;) {
        m_connectResult = 0;
        {
            QuietErrors quiet(*this);
            SetAcceptData(false);
            SetConnected(true);
        }
        if (LastError != 0)
            return LastError;
        const int code = WaitUntil([this] { return Connected() || m_connectResult != 0; }, false, false);
        if (code != 0) {
            // No half-open socket may stay behind: the next log-on starts afresh.
            const std::string text = LastErrorText;
            {
                QuietErrors quiet(*this);
                SetConnected(false);
            }
            LastErrorText = text;
            if (code == EngineError::TimedOut && NextRemoteAddress())
                continue;
            return code;
        }
        if (m_connectResult == 0)
            break;
        if (!NextRemoteAddress()) {
            LastErrorText = ErrorText(m_connectResult);
            return m_connectResult;
        }
    }
    SetAcceptData(true);
    return 0;
}

int CIPPortMsg::SendProgress(std::int64_t) { return 0; }

int CIPPortMsg::WaitIdle(bool&) { return 0; }

void CIPPortMsg::FireLineDropped(const std::string&, bool) {}

void CIPPortMsg::FireConnected(int code) { m_connectResult = code; }

void CIPPortMsg::FireDisconnected(int code) { m_connectResult = code; }

void CIPPortMsg::FireDataIn(const char* data, std::int64_t length, bool eol)
{
    std::string line(data, static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, ReplyLineLimit)));
    // An unfinished line at a close is no reply, and lines read before a
    // command belong to nobody.
    if (m_draining || !eol) {
        FireLineDropped(line, eol);
        return;
    }
    if (!m_waiting) {
        // Only a close hands over lines nobody asked for yet; keep them in
        // order for the waits to come (a bounded number).
        constexpr std::size_t maxHeld = 64;
        if (m_heldLines.size() < maxHeld)
            m_heldLines.push_back(std::move(line));
        return;
    }
    m_replyLine = std::move(line);
    m_replyLineCapped = LineCapped() || length > ReplyLineLimit;
    m_waiting = false;
    if (m_oneLine)
        SetAcceptData(false);
}

void CIPPortMsg::FireReadyToSend() {}

} // namespace plover

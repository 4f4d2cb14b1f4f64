#include "platform/messages.h"

#include "platform/guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace plover {

namespace {

QEvent::Type wakeEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class Dispatcher;

struct Queue {
    std::mutex mutex;
    std::deque<MSG> items;
    bool wakePending = false;
    bool alive = true;
    Dispatcher* dispatcher = nullptr; // lives in the owning thread
    std::thread::id owner;
};

// Qt's side of the queue: a posted wake event makes the owning thread's
// loop drain the queue.
class Dispatcher final : public QObject {
public:
    explicit Dispatcher(Queue& queue) : m_queue(queue) {}
    bool event(QEvent* e) override
    {
        if (e->type() != wakeEventType())
            return QObject::event(e);
        {
            std::lock_guard lock(m_queue.mutex);
            m_queue.wakePending = false;
        }
        DrainMessages();
        return true;
    }

private:
    Queue& m_queue;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, std::shared_ptr<Queue>> windows;
    HWND next = 1;
};

Registry& registry()
{
    static Registry r;
    return r;
}

struct ThreadState {
    std::shared_ptr<Queue> queue = std::make_shared<Queue>();
    std::unordered_map<HWND, std::shared_ptr<WindowProc>> procs;
    // Nested-loop depth when each live PumpScope began.
    std::vector<int> scopes;
    std::chrono::steady_clock::time_point lastEvents{};

    ThreadState()
    {
        queue->owner = std::this_thread::get_id();
        queue->dispatcher = new Dispatcher(*queue);
    }
    ~ThreadState()
    {
        {
            std::lock_guard lock(queue->mutex);
            queue->alive = false;
        }
        {
            std::lock_guard lock(registry().mutex);
            for (const auto& [handle, proc] : procs)
                registry().windows.erase(handle);
        }
        delete queue->dispatcher;
    }
};

// Modal loops run on the UI thread; a worker thread never pumps, so one
// count serves.
int nestedDepth = 0;

ThreadState& state()
{
    thread_local ThreadState s;
    return s;
}

// The application's loop may dispatch unless a wait loop of this thread is
// pumping and no modal loop has been opened since it began.
bool drainAllowed(const ThreadState& s)
{
    return s.scopes.empty() || nestedDepth > s.scopes.back();
}

// Caller holds q.mutex.
void wakeLocked(Queue& q)
{
    if (q.wakePending || !q.alive || !q.dispatcher)
        return;
    q.wakePending = true;
    QCoreApplication::postEvent(q.dispatcher, new QEvent(wakeEventType()));
}

void wakeIfQueued()
{
    Queue& q = *state().queue;
    std::lock_guard lock(q.mutex);
    if (!q.items.empty())
        wakeLocked(q);
}

// Takes the first message the drain may dispatch; interrupts stay queued for
// a wait loop that is still running underneath a modal loop.
bool takeForDrain(Queue& q, bool holdInterrupts, MSG& out)
{
    std::lock_guard lock(q.mutex);
    auto it = q.items.begin();
    if (holdInterrupts)
        it = std::find_if(q.items.begin(), q.items.end(), [](const MSG& m) { return m.message != WM_SOCKET_INTERRUPT; });
    if (it == q.items.end())
        return false;
    out = *it;
    q.items.erase(it);
    return true;
}

} // namespace

HWND AllocateHWnd(WindowProc proc)
{
    ThreadState& s = state();
    HWND handle;
    {
        std::lock_guard lock(registry().mutex);
        handle = registry().next++;
        registry().windows.emplace(handle, s.queue);
    }
    s.procs.emplace(handle, std::make_shared<WindowProc>(std::move(proc)));
    return handle;
}

void DeallocateHWnd(HWND window)
{
    if (window == 0)
        return;
    {
        std::lock_guard lock(registry().mutex);
        registry().windows.erase(window);
    }
    state().procs.erase(window);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Queue> q;
    if (window == 0) {
        q = state().queue;
    } else {
        std::lock_guard lock(registry().mutex);
        auto it = registry().windows.find(window);
        if (it == registry().windows.end())
            return false;
        q = it->second;
    }
    const bool ownThread = q->owner == std::this_thread::get_id();
    // A wait loop of this very thread finds the message itself when it next
    // looks at the queue, so no wake event is needed (saves one Qt event per
    // socket notification on a busy connection).
    const bool pumpWillSee = ownThread && !drainAllowed(state());
    std::lock_guard lock(q->mutex);
    if (!q->alive)
        return false;
    q->items.push_back({window, message, wParam, lParam});
    if (!pumpWillSee)
        wakeLocked(*q);
    return true;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchMessage({window, message, wParam, lParam});
}

bool PeekMessage(MSG& msg, bool remove)
{
    Queue& q = *state().queue;
    std::lock_guard lock(q.mutex);
    if (q.items.empty())
        return false;
    msg = q.items.front();
    if (remove)
        q.items.pop_front();
    return true;
}

LRESULT DispatchMessage(const MSG& msg)
{
    ThreadState& s = state();
    auto it = s.procs.find(msg.hwnd);
    if (it == s.procs.end())
        return 0;
    // Held by a local copy: the procedure may free its own window.
    std::shared_ptr<WindowProc> proc = it->second;
    return (*proc)(msg);
}

std::size_t CountQueuedMessages(UINT message)
{
    Queue& q = *state().queue;
    std::lock_guard lock(q.mutex);
    return static_cast<std::size_t>(
        std::count_if(q.items.begin(), q.items.end(), [&](const MSG& m) { return m.message == message; }));
}

void RemoveQueuedMessages(HWND window, UINT message, WPARAM wParam)
{
    Queue& q = *state().queue;
    std::lock_guard lock(q.mutex);
    std::erase_if(q.items, [&](const MSG& m) { return m.hwnd == window && m.message == message && m.wParam == wParam; });
}

PumpScope::PumpScope()
{
    state().scopes.push_back(nestedDepth);
}

PumpScope::~PumpScope()
{
    ThreadState& s = state();
    s.scopes.pop_back();
    if (drainAllowed(s))
        wakeIfQueued();
}

NestedLoopScope::NestedLoopScope()
{
    ++nestedDepth;
    // Messages a wait left queued are the nested loop's to dispatch now.
    wakeIfQueued();
}

NestedLoopScope::~NestedLoopScope() { --nestedDepth; }

int NestedLoopDepth() { return nestedDepth; }

PumpResult PumpOneMessage(bool mayBlock, const std::function<void()>& beforeClose)
{
    PumpScope scope;
    MSG msg;
    if (PeekMessage(msg)) {
        if (msg.message == WM_SOCKET_INTERRUPT)
            return PumpResult::Interrupt;
        if (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == SC_CLOSE && beforeClose)
            beforeClose();
        DispatchMessage(msg);
        return PumpResult::Dispatched;
    }
    ThreadState& s = state();
    const auto now = std::chrono::steady_clock::now();
    if (mayBlock) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        s.lastEvents = std::chrono::steady_clock::now();
    } else if (now - s.lastEvents >= std::chrono::milliseconds(1)) {
        // A loop that keeps finding work (an upload) looks at Qt's events
        // about once a millisecond, so the window stays responsive without
        // paying a poll for every block sent.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        s.lastEvents = now;
    }
    return PumpResult::Idle;
}

void DrainMessages()
{
    ThreadState& s = state();
    if (!drainAllowed(s))
        return;
    const bool holdInterrupts = !s.scopes.empty();
    Queue& q = *s.queue;
    std::size_t budget;
    {
        std::lock_guard lock(q.mutex);
        budget = q.items.size();
    }
    // Only what was queued at the start: a connection that keeps posting
    // must not starve Qt's own events.
    MSG msg;
    while (budget-- > 0 && drainAllowed(s) && takeForDrain(q, holdInterrupts, msg))
        Guard([&] { DispatchMessage(msg); });
    if (!drainAllowed(s))
        return;
    std::lock_guard lock(q.mutex);
    const bool more = holdInterrupts
        ? std::any_of(q.items.begin(), q.items.end(), [](const MSG& m) { return m.message != WM_SOCKET_INTERRUPT; })
        : !q.items.empty();
    if (more)
        wakeLocked(q);
}

} // namespace plover

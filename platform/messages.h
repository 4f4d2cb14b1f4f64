// Window messages without windows: a per-thread queue of (window, message,
// wParam, lParam) records, hidden windows with a window procedure, posting
// that wakes Qt's event loop, the drain that dispatches queued messages from
// Qt's loop, and the pump that wait loops use to take one message at a time.
//
// A wait loop never spins: when the queue is empty PumpMessage sleeps in Qt
// (processEvents with WaitForMoreEvents) until a posted message, a Qt event,
// a timer or a socket notifier wakes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace plover {

using HWND = std::intptr_t; // 0: no window (a thread message)
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr WPARAM SC_CLOSE = 0xF060;

// The socket layer's two messages. The pump treats the interrupt specially,
// so both live here rather than in net/.
constexpr UINT WM_SOCKET_INTERRUPT = WM_USER + 51; // 1075
constexpr UINT WM_SOCKET_NOTIFY = WM_USER + 101;   // 1125

constexpr std::uint16_t LOWORD(LPARAM v) { return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(v) & 0xFFFF); }
constexpr std::uint16_t HIWORD(LPARAM v) { return static_cast<std::uint16_t>((static_cast<std::uintptr_t>(v) >> 16) & 0xFFFF); }
constexpr LPARAM MAKELONG(std::uint16_t low, std::uint16_t high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

using WindowProc = std::function<LRESULT(const MSG&)>;

// A window exists for the thread that allocates it; its messages are queued
// in that thread's queue and its procedure runs on that thread. Handles are
// never reused, so a message left queued for a freed window is dropped.
HWND AllocateHWnd(WindowProc proc);
void DeallocateHWnd(HWND window);

// Owns one hidden window for the lifetime of the object.
class HiddenWindow final {
public:
    explicit HiddenWindow(WindowProc proc) : m_handle(AllocateHWnd(std::move(proc))) {}
    ~HiddenWindow() { DeallocateHWnd(m_handle); }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND Handle() const { return m_handle; }

private:
    HWND m_handle;
};

// Queues a message for the window's thread and wakes that thread's Qt loop.
// Safe from any thread. Window 0 queues a thread message for the calling
// thread (dispatched to nobody). False when the window does not exist.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Calls the window procedure at once (the window must belong to this thread).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Takes (remove) or reads the oldest message of this thread's queue.
bool PeekMessage(MSG& msg, bool remove = true);
LRESULT DispatchMessage(const MSG& msg);

// How many messages of this kind wait in this thread's queue.
std::size_t CountQueuedMessages(UINT message);
// Drops this thread's queued messages that match; used when a socket closes
// so a stale notification cannot reach a new socket with the same number.
void RemoveQueuedMessages(HWND window, UINT message, WPARAM wParam);

// While a PumpScope lives on this thread, Qt's loop leaves the queue to the
// wait loop (so WM_SOCKET_INTERRUPT reaches the wait). A modal loop opened
// inside the scope (a NestedLoopScope) lifts that: socket messages are
// dispatched again so the connections underneath keep moving, and only
// WM_SOCKET_INTERRUPT messages stay queued for the wait.
class PumpScope final {
public:
    PumpScope();
    ~PumpScope();
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;
};

// Marks a nested (modal) loop for as long as it lives. The dialogs service
// opens one around every real dialog; a test that answers a dialog with a
// loop of its own opens one too. Kept here, not in the dialogs service, so
// that the message layer needs no widgets.
class NestedLoopScope final {
public:
    NestedLoopScope();
    ~NestedLoopScope();
    NestedLoopScope(const NestedLoopScope&) = delete;
    NestedLoopScope& operator=(const NestedLoopScope&) = delete;
};

// Depth of the nested loops open now (0 outside any).
int NestedLoopDepth();

enum class PumpResult { Dispatched, Idle, Interrupt };

// One turn of a wait loop on this thread's queue. Takes one message: a
// WM_SOCKET_INTERRUPT is returned (Interrupt) without being dispatched; a
// WM_SYSCOMMAND SC_CLOSE runs beforeClose first and is then dispatched;
// anything else is dispatched. With an empty queue it lets Qt process its
// events: when mayBlock is true it sleeps until something arrives (Idle),
// when false it only handles what is already pending (Idle).
PumpResult PumpOneMessage(bool mayBlock, const std::function<void()>& beforeClose = {});

// Dispatches the messages queued now (the application loop's share of the
// work). Normally run by Qt's loop after a post; tests may call it.
void DrainMessages();

} // namespace plover

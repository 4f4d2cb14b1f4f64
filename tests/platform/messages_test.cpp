#include "platform/dialogs.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace plover;

namespace {

struct Recorded {
    std::vector<MSG> messages;
    HiddenWindow window{[this](const MSG& m) {
        messages.push_back(m);
        return LRESULT{0};
    }};
    std::vector<UINT> Kinds() const
    {
        std::vector<UINT> out;
        for (const MSG& m : messages)
            out.push_back(m.message);
        return out;
    }
};

struct MessagesTest : ::testing::Test {
    void TearDown() override
    {
        DrainMessages();
        MSG left;
        EXPECT_FALSE(PeekMessage(left, false));
    }
};

// Runs Qt's loop until pred() holds; false after timeoutMs.
bool RunUntil(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] { timedOut = true; });
    watchdog.start(timeoutMs);
    for (int turns = 0; !pred() && !timedOut && turns < 10000000; ++turns)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return pred();
}

TEST_F(MessagesTest, QtsLoopDispatchesPostedMessagesInOrder)
{
    Recorded r;
    ASSERT_TRUE(PostMessage(r.window.Handle(), WM_USER + 1, 10, 20));
    ASSERT_TRUE(PostMessage(r.window.Handle(), WM_USER + 2, 11, -21));
    ASSERT_TRUE(RunUntil([&] { return r.messages.size() == 2; }));
    EXPECT_EQ(r.Kinds(), (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    EXPECT_EQ(r.messages[0].hwnd, r.window.Handle());
    EXPECT_EQ(r.messages[0].wParam, 10u);
    EXPECT_EQ(r.messages[1].lParam, -21);
}

TEST_F(MessagesTest, PostFromAnotherThreadWakesASleepingPump)
{
    Recorded r;
    std::atomic<bool> pumping{false};
    std::thread poster([&] {
        for (int i = 0; i < 5000 && !pumping; ++i)
            std::this_thread::yield();
        PostMessage(r.window.Handle(), WM_USER + 3, 0, 0);
    });
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] { timedOut = true; });
    watchdog.start(5000);
    {
        PumpScope waiting; // a wait loop takes the messages itself
        pumping = true;
        for (int turns = 0; r.messages.empty() && !timedOut && turns < 1000; ++turns)
            PumpOneMessage(true);
    }
    poster.join();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(r.Kinds(), std::vector<UINT>{WM_USER + 3});
}

TEST_F(MessagesTest, PumpTakesOneMessageAndHandlesInterruptAndClose)
{
    Recorded r;
    std::vector<std::string> order;
    auto beforeClose = [&] { order.push_back("interrupt run"); };
    PostMessage(r.window.Handle(), WM_USER + 4, 0, 0);
    PostMessage(r.window.Handle(), WM_SOCKET_INTERRUPT, 0, 0);
    PostMessage(r.window.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(PumpOneMessage(false, beforeClose), PumpResult::Dispatched);
    EXPECT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(PumpOneMessage(false, beforeClose), PumpResult::Interrupt);
    EXPECT_EQ(r.messages.size(), 1u); // never dispatched
    EXPECT_EQ(PumpOneMessage(false, [&] {
        order.push_back("interrupt run");
        EXPECT_EQ(r.messages.size(), 1u); // before the close is dispatched
    }), PumpResult::Dispatched);
    EXPECT_EQ(order, std::vector<std::string>{"interrupt run"});
    EXPECT_EQ(r.Kinds(), (std::vector<UINT>{WM_USER + 4, WM_SYSCOMMAND}));
    EXPECT_EQ(PumpOneMessage(false), PumpResult::Idle);
}

TEST_F(MessagesTest, WaitLoopKeepsTheQueueUnlessAModalLoopRuns)
{
    Recorded r;
    {
        PumpScope waiting;
        PostMessage(r.window.Handle(), WM_SOCKET_NOTIFY, 5, 1);
        PostMessage(r.window.Handle(), WM_SOCKET_INTERRUPT, 0, 0);
        PostMessage(r.window.Handle(), WM_SOCKET_NOTIFY, 5, 2);
        DrainMessages();
        EXPECT_TRUE(r.messages.empty());
        {
            // A dialog opened inside the wait dispatches socket messages but
            // leaves the interrupt for the wait underneath.
            Dialogs::NestedLoopScope modal;
            ASSERT_TRUE(RunUntil([&] { return r.messages.size() == 2; }));
            EXPECT_EQ(r.messages[1].lParam, 2);
            EXPECT_EQ(CountQueuedMessages(WM_SOCKET_INTERRUPT), 1u);
            {
                PumpScope innerWait; // a wait inside the dialog holds the queue again
                PostMessage(r.window.Handle(), WM_USER + 9, 0, 0);
                DrainMessages();
                EXPECT_EQ(r.messages.size(), 2u);
            }
        }
        EXPECT_EQ(PumpOneMessage(false), PumpResult::Interrupt);
        EXPECT_EQ(PumpOneMessage(false), PumpResult::Dispatched);
        PostMessage(r.window.Handle(), WM_SOCKET_INTERRUPT, 0, 0);
    }
    // Left over after the wait: the application's loop disposes of it.
    ASSERT_TRUE(RunUntil([&] { return CountQueuedMessages(WM_SOCKET_INTERRUPT) == 0; }));
    EXPECT_EQ(r.Kinds(), (std::vector<UINT>{WM_SOCKET_NOTIFY, WM_SOCKET_NOTIFY, WM_USER + 9, WM_SOCKET_INTERRUPT}));
}

TEST_F(MessagesTest, FreedWindowsGetNothing)
{
    auto r = std::make_unique<Recorded>();
    const HWND handle = r->window.Handle();
    PostMessage(handle, WM_USER + 5, 0, 0);
    r.reset();
    EXPECT_FALSE(PostMessage(handle, WM_USER + 5, 0, 0));
    EXPECT_EQ(PumpOneMessage(false), PumpResult::Dispatched); // taken, dropped
    Recorded other;
    EXPECT_NE(other.window.Handle(), handle); // handles are not reused
}

TEST_F(MessagesTest, RemoveQueuedMessagesMatchesWindowMessageAndWParam)
{
    Recorded r;
    PostMessage(r.window.Handle(), WM_SOCKET_NOTIFY, 7, 1);
    PostMessage(r.window.Handle(), WM_SOCKET_NOTIFY, 8, 1);
    PostMessage(r.window.Handle(), WM_USER, 7, 1);
    RemoveQueuedMessages(r.window.Handle(), WM_SOCKET_NOTIFY, 7);
    DrainMessages();
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0].wParam, 8u);
    EXPECT_EQ(r.messages[1].message, WM_USER);
}

} // namespace

#include "tests/net/ports.h"

#include "net/errorcodes.h"
#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>

using namespace plover;
using namespace plover::test;

namespace {

class MsgPort : public Recorder<CIPPortMsg> {
public:
    std::function<int(bool&)> idle;
    std::function<int(std::int64_t)> progress;
    int idleTurns = 0;
    std::vector<std::string> dropped;  // "+line" complete, "-bytes" unfinished

protected:
    int WaitIdle(bool& didWork) override
    {
        ++idleTurns;
        return idle ? idle(didWork) : 0;
    }
    int SendProgress(std::int64_t sent) override { return progress ? progress(sent) : 0; }
    void FireLineDropped(const std::string& line, bool complete) override
    {
        dropped.push_back((complete ? "+" : "-") + line);
    }
};

// Answers each command line as it arrives with the next reply of a list.
void AnswerInTurn(Peer& peer, std::vector<std::string> replies)
{
    auto pending = std::make_shared<std::string>();
    auto next = std::make_shared<std::size_t>(0);
    peer.ReadInLoop([&peer, pending, next, replies](const char* p, std::size_t n) {
        pending->append(p, n);
        for (std::size_t end; (end = pending->find("\r\n")) != std::string::npos;) {
            pending->erase(0, end + 2);
            if (*next < replies.size())
                peer.Send(replies[(*next)++]);
        }
    });
}

struct IPPortMsgTest : NetTest {
    // Any wait that outlives its test is broken off, so a fault fails the
    // test instead of hanging it.
    void Watchdog(MsgPort& port, int ms = 10000)
    {
        QTimer::singleShot(ms, &port, [&port] { port.Interrupt(); });
    }
};

TEST_F(IPPortMsgTest, SendCommandTranscriptAndReply)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    std::string received;
    peer.Send("220 Ready\r\n");
    EXPECT_EQ(port.SendCommand("", "", "\r\n"), 0); // greeting: sends nothing
    EXPECT_EQ(port.ReplyLine(), "220 Ready");
    AnswerInTurn(peer, {"331 Password required\r\n", "230 Logged in\r\n"});
    EXPECT_EQ(port.SendCommand("USER", "anna", "\r\n"), 0);
    EXPECT_EQ(port.ReplyLine(), "331 Password required");
    EXPECT_EQ(port.SendCommand("PASS", "", "\r\n"), 0);
    EXPECT_EQ(port.ReplyLine(), "230 Logged in");
    EXPECT_TRUE(port.dropped.empty());
}

// A server that answers twice: the second answer is no reply to the next
// command, however it arrived (before the command, or held at a close).
TEST_F(IPPortMsgTest, RepliesNobodyWaitedForAreDroppedBeforeTheNextCommand)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    peer.Send("200 first\r\n200 again\r\n");
    ASSERT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "200 first");
    // The doubled answer sits in the socket; the command reads past it.
    ASSERT_TRUE(PumpUntil([&] {
        int waiting = 0;
        ::ioctl(port.Socket(), FIONREAD, &waiting);
        return waiting > 0 || port.Count() > 0;
    }));
    AnswerInTurn(peer, {"250 yours\r\n"});
    EXPECT_EQ(port.SendCommand("NOOP", "", "\r\n"), 0);
    EXPECT_EQ(port.ReplyLine(), "250 yours");
    EXPECT_EQ(port.dropped, std::vector<std::string>{"+200 again"});
}

TEST_F(IPPortMsgTest, OneLinePerWaitAndLongReplyIsCutOnce)
{
    Peer peer;
    MsgPort port;
    port.SetReceiveCapacity(CIPPortMsg::ReplyLineLimit + 2);
    ConnectTo(port, peer);
    Watchdog(port);
    const std::string longLine = "200 " + std::string(9000, 'z');
    peer.Send("200 " + std::string(3000, 'y') + "\r\n" + longLine + "\r\nsecond\r\n");
    ASSERT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "200 " + std::string(3000, 'y')); // long, but under the limit: whole
    EXPECT_FALSE(port.ReplyLineCapped());
    EXPECT_FALSE(port.AcceptData()); // the next line waits for the next wait
    ASSERT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), longLine.substr(0, CIPPortMsg::ReplyLineLimit));
    EXPECT_TRUE(port.ReplyLineCapped());
    ASSERT_EQ(port.WaitReplyLine(), 0); // the cut-off rest made no line of its own
    EXPECT_EQ(port.ReplyLine(), "second");
}

TEST_F(IPPortMsgTest, InterruptEndsOnlyTheWaitsRunningNow)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    port.Interrupt();
    EXPECT_EQ(port.LastErrorText, "Interrupted.");
    EXPECT_EQ(CountQueuedMessages(WM_SOCKET_INTERRUPT), 0u);
    // A wait started afterwards is not touched by it.
    QTimer::singleShot(20, &port, [&peer] { peer.Send("200 late\r\n"); });
    EXPECT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "200 late");
    // One made during a wait ends it, and leaves the line for nobody.
    QTimer::singleShot(20, &port, [&port] { port.Interrupt(); });
    EXPECT_EQ(port.WaitReplyLine(), EngineError::Interrupted);
    EXPECT_EQ(port.LastErrorText, "Interrupted.");
    EXPECT_FALSE(port.AcceptData());
}

TEST_F(IPPortMsgTest, SilenceEndsAWaitAfterTheTimeOutButSlowBytesDoNot)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port, 15000);
    port.SetTimeOut(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.WaitReplyLine(), EngineError::TimedOut);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(port.LastErrorText, "The server did not answer within 1 second.");
    EXPECT_GE(waited, std::chrono::milliseconds(950));
    EXPECT_LT(waited, std::chrono::seconds(5));

    // A byte every 400 ms for 2.4 s: slow, but never a second of silence.
    const std::string reply = "226 ok\r\n";
    std::size_t sent = 0;
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&] {
        if (sent < reply.size())
            peer.Send(reply.substr(sent++, 1));
    });
    drip.start(400);
    peer.Send("2");
    sent = 0;
    EXPECT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "2226 ok");
}

// A closing peer: the lines it sent still count, in order; an unfinished
// one is no reply, and the wait after them ends as a lost connection.
TEST_F(IPPortMsgTest, LinesLeftAtACloseAreHeldAndAHalfLineIsNoReply)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    peer.Send("421-Going down\r\n421 now\r\n226 Transfer comp");
    peer.Close();
    ASSERT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "421-Going down");
    ASSERT_TRUE(PumpUntil([&] { return !port.Connected(); }));
    ASSERT_EQ(port.WaitReplyLine(), 0);
    EXPECT_EQ(port.ReplyLine(), "421 now");
    EXPECT_EQ(port.WaitReplyLine(), EngineError::ConnectionClosed);
    EXPECT_EQ(port.LastErrorText, "Connection closed by the server.");
    EXPECT_EQ(port.dropped, std::vector<std::string>{"-226 Transfer comp"});
}

// A wait with nothing to do sleeps: it must not spin a processor.
TEST_F(IPPortMsgTest, IdleWaitUsesNoProcessorTime)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    QTimer::singleShot(2000, Qt::PreciseTimer, &port, [&port] { port.Interrupt(); });
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    EXPECT_EQ(port.WaitReplyLine(), 301);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const auto wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_GE(wall, std::chrono::milliseconds(1900));
    EXPECT_LT(cpu, 0.1) << "processor seconds used by a 2-second idle wait";
    RecordProperty("idle_wait_cpu_ms", static_cast<int>(cpu * 1000));
}

TEST_F(IPPortMsgTest, ConnectAndWaitOutcomes)
{
    Peer peer;
    MsgPort port;
    Watchdog(port);
    port.SetRemoteHost("127.0.0.1");
    port.SetRemotePort(peer.Port());
    EXPECT_EQ(port.ConnectAndWait(), 0);
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.AcceptData());
    EXPECT_EQ(port.ConnectAndWait(), 0); // already connected
    port.SetConnected(false);

    Peer closed;
    closed.StopListening();
    port.SetRemotePort(closed.Port());
    EXPECT_EQ(port.ConnectAndWait(), WSAECONNREFUSED);
    EXPECT_EQ(port.LastErrorText, "Connection refused.");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);

    MsgPort unset;
    EXPECT_EQ(unset.ConnectAndWait(), 102);
    EXPECT_EQ(unset.LastErrorText, "The RemoteHost address is invalid (0.0.0.0).");
}

TEST_F(IPPortMsgTest, PeerCloseDuringWaitEndsIt)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    QTimer::singleShot(20, &port, [&peer] { peer.Close(); });
    EXPECT_EQ(port.WaitReplyLine(), EngineError::ConnectionClosed);
    EXPECT_EQ(port.disconnects, std::vector<int>{0});
    EXPECT_FALSE(port.Connected());
}

TEST_F(IPPortMsgTest, WaitIdleResultEndsTheWait)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    port.idle = [&](bool&) { return port.idleTurns == 3 ? 144 : 0; };
    // Turns come from messages; keep some coming.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [] {});
    ticker.start(1);
    EXPECT_EQ(port.WaitReplyLine(), 144);
    EXPECT_EQ(port.idleTurns, 3);
}

// An upload fed from WaitIdle. The peer reads on a thread of its own, so
// nothing but this connection's own notifications can wake the wait: a turn
// that sent something and then slept would never wake, and the watchdog
// would end the wait with 301.
TEST_F(IPPortMsgTest, UploadFromWaitIdleNeverSleepsWithWorkToDo)
{
    Peer peer;
    MsgPort port;
    port.SetApplyBufferSizes(false);
    ConnectTo(port, peer);
    Watchdog(port, 20000);
    const std::int64_t total = 64 << 20;
    const std::string block(64 * 1024, 'u');
    std::int64_t sent = 0;
    int wouldBlock = 0;
    port.idle = [&](bool& didWork) {
        if (sent >= total)
            return 0;
        const int code = port.SendBlock(block.data(), std::min<std::int64_t>(block.size(), total - sent), 0);
        if (code != 0 && code != WSAEWOULDBLOCK)
            return code;
        sent += port.BytesSent();
        didWork = port.BytesSent() > 0;
        wouldBlock += code == WSAEWOULDBLOCK;
        return 0;
    };
    std::int64_t received = 0;
    std::thread reader([&] {
        char buf[65536];
        const int fd = peer.Connection();
        for (int i = 0; i < 1000000 && received < total; ++i) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1)
                return;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            received += n;
        }
        if (received == total)
            ::send(fd, "226 Transfer complete.\r\n", 24, MSG_NOSIGNAL);
    });
    const int result = port.WaitReplyLine();
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(port.ReplyLine(), "226 Transfer complete.");
    EXPECT_EQ(sent, total);
    EXPECT_EQ(received, total);
    RecordProperty("would_block_turns", wouldBlock);
}

TEST_F(IPPortMsgTest, SendAllWaitsForRoomAndReportsProgress)
{
    Peer peer;
    MsgPort port;
    port.SetApplyBufferSizes(false);
    ConnectTo(port, peer);
    Watchdog(port, 20000);
    std::string data(16 << 20, 'd');
    for (std::size_t i = 0; i < data.size(); i += 4096)
        data[i] = static_cast<char>(i / 4096);
    std::string got;
    peer.ReadInLoop([&](const char* p, std::size_t n) { got.append(p, n); });
    std::vector<std::int64_t> progress;
    port.progress = [&](std::int64_t sent) {
        progress.push_back(sent);
        return 0;
    };
    EXPECT_EQ(port.SendAll(data.data(), static_cast<std::int64_t>(data.size())), 0);
    ASSERT_TRUE(PumpUntil([&] { return got.size() == data.size(); }));
    EXPECT_EQ(got, data);
    ASSERT_FALSE(progress.empty()); // 16 MiB cannot go out in one send
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LT(progress.back(), static_cast<std::int64_t>(data.size()));

    port.progress = [](std::int64_t) { return 77; };
    peer.ReadInLoop([](const char*, std::size_t) {});
    EXPECT_EQ(port.SendAll(data.data(), static_cast<std::int64_t>(data.size())), 77);
}

// A message box opened inside a wait (an error shown from a handler) must
// not stall the connection underneath it.
TEST_F(IPPortMsgTest, ModalDialogInsideAWaitKeepsSocketsMoving)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    bool lineInsideDialog = false;
    Dialogs::SetResponder([&](const DialogRequest&) {
        Dialogs::NestedLoopScope modal;
        QEventLoop loop;
        port.onPiece = [&](const Piece&) {
            lineInsideDialog = Dialogs::NestedDepth() > 0;
            loop.quit();
        };
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        peer.Send("250 Done\r\n");
        loop.exec();
        return static_cast<int>(mrOk);
    });
    QTimer::singleShot(10, &port, [] { Dialogs::ShowMessage("Something happened"); });
    EXPECT_EQ(port.WaitReplyLine(), 0);
    Dialogs::SetResponder({});
    EXPECT_TRUE(lineInsideDialog);
    EXPECT_EQ(port.ReplyLine(), "250 Done");
}

// A close request for a window runs Interrupt before it is dispatched.
TEST_F(IPPortMsgTest, CloseRequestInterruptsTheWait)
{
    Peer peer;
    MsgPort port;
    ConnectTo(port, peer);
    Watchdog(port);
    std::vector<UINT> seen;
    HiddenWindow form([&](const MSG& m) {
        seen.push_back(m.message);
        return LRESULT{0};
    });
    QTimer::singleShot(10, &port, [&] { PostMessage(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(port.WaitReplyLine(), 301);
    EXPECT_EQ(seen, std::vector<UINT>{WM_SYSCOMMAND});
}

} // namespace

#include "tests/net/ports.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

using namespace plover;
using namespace plover::test;

namespace {

using Port = Recorder<CIPPort>;
using IPPortTest = NetTest;

void ExpectReport(const std::function<void()>& step, int code, const std::string& text)
{
    try {
        step();
        ADD_FAILURE() << "no exception, expected " << code;
    } catch (const ECorvidBase& e) {
        EXPECT_EQ(e.Code, code);
        EXPECT_EQ(e.Message(), std::to_string(code) + ": " + text);
    }
}

TEST_F(IPPortTest, GuardsWhileASocketExists)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    ExpectReport([&] { port.SetRemotePort(2121); }, 100,
                 "You cannot change the RemotePort at this time. A connection is in progress.");
    EXPECT_EQ(port.RemotePort(), peer.Port());
    ExpectReport([&] { port.SetRemoteHost("10.0.0.5"); }, 101,
                 "You cannot change the RemoteHost at this time. A connection is in progress.");
    EXPECT_EQ(port.RemoteHost(), "127.0.0.1");
    ExpectReport([&] { port.SetConnected(true); }, 104,
                 "Already connected. If you want to reconnect, close the current connection first.");
    EXPECT_EQ(port.LocalHost(), "127.0.0.1");
    port.SetConnected(false);
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);
    EXPECT_EQ(port.disconnects, std::vector<int>{0});
}

TEST_F(IPPortTest, ConnectRefusesMissingAddressOrPort)
{
    Port port;
    ExpectReport([&] { port.SetConnected(true); }, 102, "The RemoteHost address is invalid (0.0.0.0).");
    port.SetRemoteHost("127.0.0.1");
    ExpectReport([&] { port.SetConnected(true); }, 116,
                 "RemotePort can't be zero. Please specify a valid service port number.");
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);
    port.RaiseErrors = false;
    port.SetConnected(true);
    EXPECT_EQ(port.LastError, 116);
}

TEST_F(IPPortTest, HostResolution)
{
    Port port;
    port.SetRemoteHost("localhost");
    EXPECT_EQ(port.RemoteHost(), "127.0.0.1");
    port.SetRemoteHost("");
    EXPECT_EQ(port.RemoteHost(), "");
    // A 64-character label cannot exist, so no name server is asked.
    ExpectReport([&] { port.SetRemoteHost(std::string(64, 'a') + ".invalid"); }, 11001, "Host not found.");
    EXPECT_EQ(port.LastErrorText, "Host not found.");
    EXPECT_EQ(port.RemoteAddress(), 0u);
}

TEST_F(IPPortTest, HostSetWhileUnloadedIsSilentAndConnectFails)
{
    CIPPort port;
    EXPECT_NO_THROW(port.SetRemoteHost("localhost"));
    EXPECT_EQ(port.RemoteAddress(), 0u);
    port.SetRemotePort(21);
    port.SetWinsockLoaded(true);
    ExpectReport([&] { port.SetConnected(true); }, 102, "The RemoteHost address is invalid (0.0.0.0).");
}

TEST_F(IPPortTest, RefusedConnectArrivesAsNotification)
{
    Peer peer;
    peer.StopListening();
    Port port;
    port.SetRemoteHost("127.0.0.1");
    port.SetRemotePort(peer.Port());
    EXPECT_NO_THROW(port.SetConnected(true));
    ASSERT_TRUE(PumpUntil([&] { return !port.connects.empty(); }));
    EXPECT_EQ(port.connects, std::vector<int>{WSAECONNREFUSED});
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);
}

TEST_F(IPPortTest, LinesAcrossReads)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    peer.Send("A\r\nB\r\n");
    ASSERT_TRUE(PumpUntil([&] { return port.pieces.size() == 2; }));
    peer.Send("C\nD\n");
    ASSERT_TRUE(PumpUntil([&] { return port.pieces.size() == 4; }));
    // A CR that ends one read waits for the next: its LF makes no extra line.
    peer.Send("E\r");
    ASSERT_TRUE(PumpUntil([&] { return port.Count() == 2; }));
    peer.Send("\nF\r\n");
    ASSERT_TRUE(PumpUntil([&] { return port.pieces.size() == 6; }));
    const std::vector<Piece> expected{{"A", true}, {"B", true}, {"C", true},
                                      {"D", true}, {"E", true}, {"F", true}};
    EXPECT_EQ(port.pieces, expected);
}

TEST_F(IPPortTest, LongLineComesOnceCutAndMarked)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    port.capped.clear();
    peer.Send(std::string(3000, 'q'));
    ASSERT_TRUE(PumpUntil([&] { return !port.pieces.empty(); }));
    peer.Send(std::string(3000, 'r') + "\r\nnext\r\n");
    ASSERT_TRUE(PumpUntil([&] { return port.pieces.size() == 2; }));
    // The limit is the buffer less room for CR LF; the rest of the line is dropped.
    EXPECT_EQ(port.pieces[0], (Piece{std::string(2046, 'q'), true}));
    EXPECT_EQ(port.pieces[1], (Piece{"next", true}));
    EXPECT_EQ(port.capped, (std::vector<bool>{true, false}));
}

TEST_F(IPPortTest, RawModeWithLargeCapacityTakesBigBlocks)
{
    Peer peer;
    Port port;
    port.SetReceiveCapacity(256 * 1024);
    port.SetApplyBufferSizes(false); // 2048-byte socket buffers would cap each recv
    ConnectTo(port, peer);
    port.SetEOL("");
    std::string data(1 << 20, 'r');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    peer.SendInLoop(data, true);
    ASSERT_TRUE(PumpUntil([&] { return !port.disconnects.empty(); }));
    std::string got;
    std::size_t largest = 0;
    for (const Piece& p : port.pieces) {
        got += p.text;
        largest = std::max(largest, p.text.size());
    }
    EXPECT_EQ(got, data);
    EXPECT_LE(largest, 256u * 1024u);
    EXPECT_GT(largest, 2048u);
}

TEST_F(IPPortTest, PeerCloseInMidLineDeliversTheHalfThenDisconnects)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    peer.Send("whole\r\nhalf a li");
    peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return !port.disconnects.empty(); }));
    const std::vector<Piece> expected{{"whole", true}, {"half a li", false}};
    EXPECT_EQ(port.pieces, expected);
    EXPECT_EQ(port.disconnects, std::vector<int>{0});
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);
}

TEST_F(IPPortTest, CloseFromDataInHandlerIsDeferred)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    bool stillOpenInHandler = false;
    port.onPiece = [&](const Piece& p) {
        if (p.text == "one") {
            port.SetConnected(false);
            stillOpenInHandler = port.Socket() != INVALID_SOCKET && port.disconnects.empty();
        }
    };
    peer.Send("one\r\ntwo\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !port.disconnects.empty(); }));
    EXPECT_TRUE(stillOpenInHandler);
    const std::vector<Piece> expected{{"one", true}, {"two", true}};
    EXPECT_EQ(port.pieces, expected);
    EXPECT_EQ(port.disconnects, std::vector<int>{0});
    EXPECT_EQ(port.Socket(), INVALID_SOCKET);
    EXPECT_EQ(peer.Receive(), ""); // the peer sees the end of the connection
}

TEST_F(IPPortTest, AcceptDataHoldsBytesUntilSwitchedOn)
{
    Peer peer;
    Port port;
    ConnectTo(port, peer);
    port.SetAcceptData(false);
    peer.Send("held\r\n");
    // Once the bytes are at the socket, let its notification come and go:
    // nothing may be delivered.
    ASSERT_TRUE(PumpUntil([&] {
        unsigned long waiting = 0;
        return ::ioctl(port.Socket(), FIONREAD, &waiting) == 0 && waiting == 6;
    }));
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        DrainMessages();
    }
    EXPECT_TRUE(port.pieces.empty());
    port.SetAcceptData(true);
    ASSERT_TRUE(PumpUntil([&] { return !port.pieces.empty(); }));
    EXPECT_EQ(port.pieces.front(), (Piece{"held", true}));
}

int SocketOption(SOCKET s, int name)
{
    int value = -1;
    socklen_t len = sizeof value;
    ::getsockopt(s, SOL_SOCKET, name, &value, &len);
    return value;
}

TEST_F(IPPortTest, SocketOptionsAppliedOnConnect)
{
    Peer peer;
    Port small;
    small.SetKeepAlive(true);
    ConnectTo(small, peer);
    // The system rounds tiny buffers up to its minimum, doubled.
    EXPECT_LE(SocketOption(small.Socket(), SO_RCVBUF), 4608);
    EXPECT_LE(SocketOption(small.Socket(), SO_SNDBUF), 4608 * 2);
    EXPECT_EQ(SocketOption(small.Socket(), SO_KEEPALIVE), 1);
    ::linger l{};
    socklen_t len = sizeof l;
    ::getsockopt(small.Socket(), SOL_SOCKET, SO_LINGER, &l, &len);
    EXPECT_EQ(l.l_onoff, 1);
    EXPECT_EQ(l.l_linger, 0);

    Peer other;
    Port bulk;
    bulk.SetApplyBufferSizes(false);
    bulk.SetLinger(false);
    ConnectTo(bulk, other);
    EXPECT_GT(SocketOption(bulk.Socket(), SO_RCVBUF), 4608);
    ::getsockopt(bulk.Socket(), SOL_SOCKET, SO_LINGER, &l, &len);
    EXPECT_EQ(l.l_onoff, 0);
    // Written while connected, a size applies at once.
    bulk.SetInBufferSize(2048);
    EXPECT_LE(SocketOption(bulk.Socket(), SO_RCVBUF), 4608);
}

TEST_F(IPPortTest, SendingNeedsAConnection)
{
    Port port;
    EXPECT_EQ(port.SendBlock("x", 1, 0), WSAENOTCONN);
    ExpectReport([&] { port.SetDataToSend("x", 1); }, WSAENOTCONN, "Socket is not connected.");

    Peer peer;
    ConnectTo(port, peer);
    EXPECT_EQ(port.SendBlock("", 0, 0), 0);
    EXPECT_EQ(port.SendBlock("hello", 5, 0), 0);
    EXPECT_EQ(port.BytesSent(), 5);
    EXPECT_EQ(peer.Receive(), "hello");
}

} // namespace

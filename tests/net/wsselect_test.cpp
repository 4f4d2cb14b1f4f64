#include "net/winsock.h"
#include "tests/net/ports.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace plover;
using namespace plover::test;

namespace {

// The bound function table of a loaded component.
class Library : public CWinsock {
public:
    Library() { SetWinsockLoaded(true); }
    const WinsockFunctions& T() const { return Ws; }
};

// A hidden window that records the events it is sent.
struct Events {
    std::vector<MSG> got;
    HiddenWindow window{[this](const MSG& m) {
        got.push_back(m);
        return LRESULT{0};
    }};
    int Count(int event) const
    {
        int n = 0;
        for (const MSG& m : got)
            n += m.message == WM_SOCKET_NOTIFY && WSAGETSELECTEVENT(m.lParam) == event;
        return n;
    }
    std::vector<int> Sequence() const
    {
        std::vector<int> out;
        for (const MSG& m : got)
            out.push_back(WSAGETSELECTEVENT(m.lParam));
        return out;
    }
};

// Lets pending notifications run, without waiting for anything new.
void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        DrainMessages();
    }
}

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int Waiting(SOCKET s)
{
    int n = 0;
    return ::ioctl(s, FIONREAD, &n) == 0 ? n : -1;
}

using AsyncSelectTest = NetTest;

TEST_F(AsyncSelectTest, ReadIsPostedOnceUntilTheNextRecvAndCloseOnce)
{
    Library lib;
    Events ev;
    Peer peer;
    const WinsockFunctions& t = lib.T();
    const SOCKET s = t.socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(t.WSAAsyncSelect(s, ev.window.Handle(), WM_SOCKET_NOTIFY, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    const sockaddr_in to = Loopback(peer.Port());
    if (t.connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ASSERT_EQ(t.WSAGetLastError(), WSAEWOULDBLOCK);
    }
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_WRITE) == 1; }));
    EXPECT_EQ(ev.Sequence(), (std::vector<int>{FD_CONNECT, FD_WRITE}));
    EXPECT_EQ(WSAGETSELECTERROR(ev.got[0].lParam), 0);
    EXPECT_EQ(ev.got[0].wParam, static_cast<WPARAM>(s));
    ASSERT_TRUE(peer.Accept());

    peer.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_READ) == 1; }));
    peer.Send("def");
    ASSERT_TRUE(PumpUntil([&] { return Waiting(s) == 6; }));
    Settle();
    EXPECT_EQ(ev.Count(FD_READ), 1); // not again before a recv
    char buf[16];
    EXPECT_EQ(t.recv(s, buf, 2, 0), 2);
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_READ) == 2; })); // data remains
    EXPECT_EQ(t.recv(s, buf, sizeof buf, 0), 4);
    Settle();
    EXPECT_EQ(ev.Count(FD_READ), 2);

    peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_CLOSE) == 1; }));
    EXPECT_EQ(WSAGETSELECTERROR(ev.got.back().lParam), 0);
    EXPECT_EQ(t.recv(s, buf, sizeof buf, 0), 0);
    Settle();
    EXPECT_EQ(ev.Count(FD_CLOSE), 1);
    EXPECT_EQ(ev.Count(FD_WRITE), 1);
    EXPECT_EQ(t.closesocket(s), 0);
}

TEST_F(AsyncSelectTest, WriteIsPostedAgainOnlyAfterASendThatWouldBlock)
{
    Library lib;
    Events ev;
    Peer peer;
    const WinsockFunctions& t = lib.T();
    const SOCKET s = t.socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(t.WSAAsyncSelect(s, ev.window.Handle(), WM_SOCKET_NOTIFY, FD_WRITE | FD_CONNECT), 0);
    const sockaddr_in to = Loopback(peer.Port());
    t.connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_WRITE) == 1; }));
    ASSERT_TRUE(peer.Accept());
    const std::string chunk(65536, 'w');
    EXPECT_EQ(t.send(s, chunk.data(), 100, 0), 100);
    Settle();
    EXPECT_EQ(ev.Count(FD_WRITE), 1); // a send that went through re-arms nothing
    int sends = 0;
    while (t.send(s, chunk.data(), static_cast<int>(chunk.size()), 0) > 0 && ++sends < 10000) {
    }
    ASSERT_EQ(t.WSAGetLastError(), WSAEWOULDBLOCK);
    Settle();
    EXPECT_EQ(ev.Count(FD_WRITE), 1); // still full
    peer.ReadInLoop([](const char*, std::size_t) {});
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_WRITE) == 2; }));
    t.closesocket(s);
}

TEST_F(AsyncSelectTest, AcceptIsPostedOnceUntilAcceptAndResetCarriesItsError)
{
    Library lib;
    Events ev;
    const WinsockFunctions& t = lib.T();
    const SOCKET listener = t.socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any = Loopback(0);
    ASSERT_EQ(t.bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(t.listen(listener, 4), 0);
    ASSERT_EQ(t.WSAAsyncSelect(listener, ev.window.Handle(), WM_SOCKET_NOTIFY, FD_ACCEPT), 0);
    int len = sizeof any;
    ASSERT_EQ(t.getsockname(listener, reinterpret_cast<sockaddr*>(&any), &len), 0);

    int clients[2];
    for (int& c : clients) {
        c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(c, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_ACCEPT) == 1; }));
    Settle();
    EXPECT_EQ(ev.Count(FD_ACCEPT), 1);
    const SOCKET first = t.accept(listener, nullptr, nullptr);
    ASSERT_NE(first, INVALID_SOCKET);
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_ACCEPT) == 2; })); // the second waits
    const SOCKET second = t.accept(listener, nullptr, nullptr);
    ASSERT_NE(second, INVALID_SOCKET);

    ASSERT_EQ(t.WSAAsyncSelect(first, ev.window.Handle(), WM_SOCKET_NOTIFY, FD_READ | FD_CLOSE), 0);
    ::linger abort{1, 0};
    ::setsockopt(clients[0], SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(clients[0]);
    ASSERT_TRUE(PumpUntil([&] { return ev.Count(FD_CLOSE) == 1; }));
    EXPECT_EQ(WSAGETSELECTERROR(ev.got.back().lParam), WSAECONNRESET);
    EXPECT_EQ(ev.got.back().wParam, static_cast<WPARAM>(first));
    ::close(clients[1]);
    for (SOCKET s : {first, second, listener})
        t.closesocket(s);
}

TEST_F(AsyncSelectTest, ClosingASocketDropsItsQueuedNotifications)
{
    Library lib;
    Events ev;
    const WinsockFunctions& t = lib.T();
    const SOCKET s = t.socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(t.WSAAsyncSelect(s, ev.window.Handle(), WM_SOCKET_NOTIFY, FD_READ), 0);
    PostMessage(ev.window.Handle(), WM_SOCKET_NOTIFY, static_cast<WPARAM>(s), WSAMAKESELECTREPLY(FD_CLOSE, 0));
    t.WSAAsyncSelect(s, ev.window.Handle(), WM_SOCKET_NOTIFY, 0);
    t.closesocket(s);
    DrainMessages();
    EXPECT_TRUE(ev.got.empty());
}

TEST_F(AsyncSelectTest, AsynchronousLookupsPostTheirResult)
{
    Library lib;
    Events ev;
    const WinsockFunctions& t = lib.T();
    alignas(8) char host[1024];
    const WSAHANDLE h = t.WSAAsyncGetHostByName(ev.window.Handle(), WM_USER + 1, "localhost", host, sizeof host);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(PumpUntil([&] { return !ev.got.empty(); }));
    EXPECT_EQ(ev.got[0].message, WM_USER + 1);
    EXPECT_EQ(ev.got[0].wParam, h);
    EXPECT_EQ(HIWORD(ev.got[0].lParam), 0);
    const auto* entry = reinterpret_cast<hostent*>(host);
    ASSERT_NE(entry->h_addr_list[0], nullptr);
    EXPECT_EQ(reinterpret_cast<in_addr*>(entry->h_addr_list[0])->s_addr, htonl(INADDR_LOOPBACK));

    ev.got.clear();
    char tiny[8];
    const WSAHANDLE small = t.WSAAsyncGetHostByName(ev.window.Handle(), WM_USER + 2, "localhost", tiny, sizeof tiny);
    char serv[512];
    const WSAHANDLE unknown = t.WSAAsyncGetServByName(ev.window.Handle(), WM_USER + 3, "no-such-service-x", "tcp", serv, sizeof serv);
    char canceled[512];
    const WSAHANDLE dropped = t.WSAAsyncGetHostByName(ev.window.Handle(), WM_USER + 4, "localhost", canceled, sizeof canceled);
    const bool cancelOk = t.WSACancelAsyncRequest(dropped) == 0;
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    DrainMessages();
    for (const MSG& m : ev.got) {
        if (m.wParam == small) {
            EXPECT_EQ(HIWORD(m.lParam), WSAENOBUFS);
            EXPECT_GT(LOWORD(m.lParam), sizeof tiny); // the size that would do
        } else if (m.wParam == unknown) {
            EXPECT_EQ(HIWORD(m.lParam), WSANO_DATA);
        } else {
            EXPECT_EQ(m.wParam, dropped);
            EXPECT_FALSE(cancelOk) << "a canceled look-up posted its result";
        }
    }
    EXPECT_EQ(ev.got.size(), cancelOk ? 2u : 3u);
}

} // namespace

#include "net/winsock.h"
#include "platform/wsbinding.h"

#include <gtest/gtest.h>

using namespace plover;

namespace {

// Exposes the function table for checks of the stubs.
class Probe : public CWinsock {
public:
    const WinsockFunctions& Table() const { return Ws; }
    const WSADATA& Data() const { return WsaData; }
};

struct WinsockFixture : ::testing::Test {
    void TearDown() override { winsock_testing::Reset(); }
};

TEST_F(WinsockFixture, UnloadedComponentAnswersWithStubs)
{
    Probe w;
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockStatus(), "Down");
    EXPECT_EQ(w.WinsockInfo(), "");
    EXPECT_EQ(w.LocalHost(), "[10093] Winsock not loaded yet (WSANOTINITIALISED).");
    const WinsockFunctions& t = w.Table();
    EXPECT_EQ(t.socket(AF_INET, SOCK_STREAM, 0), -1);
    EXPECT_EQ(t.WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(t.htons(21), 0);
    EXPECT_EQ(t.inet_addr("127.0.0.1"), 0xFFFFFFFFu);
    in_addr a{};
    EXPECT_STREQ(t.inet_ntoa(a), "");
    EXPECT_EQ(t.gethostbyname("localhost"), nullptr);
    WSADATA d;
    EXPECT_EQ(t.WSAStartup(MAKEWORD(1, 1), &d), WSASYSNOTREADY);
}

TEST_F(WinsockFixture, LoadBindsStartsAndUnloadRestoresStubs)
{
    Probe w;
    w.SetWinsockLoaded(true);
    ASSERT_TRUE(w.WinsockLoaded());
    EXPECT_EQ(w.LoadCount(), 1);
    EXPECT_EQ(w.Data().wVersion, MAKEWORD(1, 1));
    EXPECT_NE(w.WinsockInfo(), "");
    EXPECT_NE(w.WinsockStatus(), "Down");
    EXPECT_EQ(w.Table().htons(0x1234), htons(0x1234));
    EXPECT_EQ(w.LocalHost().find('['), std::string::npos) << w.LocalHost();

    // A second write of true loads nothing more; one write of false unloads.
    w.SetWinsockLoaded(true);
    EXPECT_EQ(w.LoadCount(), 1);
    w.SetWinsockLoaded(false);
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.LoadCount(), 0);
    EXPECT_EQ(w.WinsockStatus(), "Down");
    EXPECT_EQ(w.WinsockInfo(), "");
    EXPECT_EQ(w.Table().socket(AF_INET, SOCK_STREAM, 0), -1);
    EXPECT_EQ(w.Table().WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(WinsockFixture, MissingLibraryFailsQuietlyAndOnce)
{
    winsock_testing::SetLibraryMissing(true);
    Probe w;
    EXPECT_NO_THROW(w.SetWinsockLoaded(true));
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockInfo(), "Could not load Winsock DLL.");
    EXPECT_EQ(w.LoadCount(), 1);
    // The count is above zero now, so the next write succeeds at once without
    // a new attempt, even with the library back.
    winsock_testing::SetLibraryMissing(false);
    EXPECT_NO_THROW(w.SetWinsockLoaded(true));
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockInfo(), "Could not load Winsock DLL.");
}

TEST_F(WinsockFixture, OtherStartupVersionsAreIncompatible)
{
    for (std::uint16_t version : {MAKEWORD(1, 0), MAKEWORD(2, 0)}) {
        winsock_testing::SetStartupVersion(version);
        Probe w;
        EXPECT_NO_THROW(w.SetWinsockLoaded(true));
        EXPECT_FALSE(w.WinsockLoaded()) << version;
        EXPECT_EQ(w.LoadCount(), 0);
        EXPECT_EQ(w.WinsockInfo(), "Incompatible Winsock version.");
        EXPECT_EQ(w.WinsockStatus(), "Down");
        // Unloaded for real: a later write tries again.
        winsock_testing::SetStartupVersion(0);
        w.SetWinsockLoaded(true);
        EXPECT_TRUE(w.WinsockLoaded());
    }
}

TEST_F(WinsockFixture, UnresolvedOrdinalIsReportedAndKeepsTheModule)
{
    winsock_testing::SetMissingOrdinal(57);
    Probe w;
    try {
        w.SetWinsockLoaded(true);
        FAIL() << "no exception";
    } catch (const ECorvidBase& e) {
        EXPECT_EQ(e.Code, 0);
        EXPECT_EQ(e.Message(), "0: Failure to get Winsock functions.");
    }
    EXPECT_EQ(w.WinsockInfo(), "Failure to get Winsock functions.");
    EXPECT_TRUE(w.WinsockLoaded());
    // Entries before the missing one were bound, the rest are still stubs.
    EXPECT_EQ(w.Table().htons(1), htons(1));
    EXPECT_EQ(w.Table().WSAGetLastError(), WSANOTINITIALISED);
    w.SetWinsockLoaded(false);
    EXPECT_FALSE(w.WinsockLoaded());

    Probe quiet;
    quiet.RaiseErrors = false;
    EXPECT_NO_THROW(quiet.SetWinsockLoaded(true));
    EXPECT_EQ(quiet.LastError, 0);
    EXPECT_EQ(quiet.LastErrorText, "Failure to get Winsock functions.");
}

TEST_F(WinsockFixture, BoundLookupsAndLastError)
{
    Probe w;
    w.SetWinsockLoaded(true);
    const WinsockFunctions& t = w.Table();
    hostent* h = t.gethostbyname("127.0.0.1");
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h->h_addr_list[0], nullptr);
    EXPECT_EQ(reinterpret_cast<in_addr*>(h->h_addr_list[0])->s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(t.gethostbyname((std::string(64, 'a') + ".invalid").c_str()), nullptr);
    EXPECT_EQ(t.WSAGetLastError(), WSAHOST_NOT_FOUND);
    t.WSASetLastError(1234);
    EXPECT_EQ(t.WSAGetLastError(), 1234);
    EXPECT_EQ(t.closesocket(-5), -1);
    EXPECT_EQ(t.WSAGetLastError(), WSAENOTSOCK);
    w.SetWinsockLoaded(false);
}

} // namespace

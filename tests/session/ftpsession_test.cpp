// The session controller without any window, against a real pyftpdlib
// server on 127.0.0.1: what each operation sends, what it leaves in the
// rows, and which events its owner hears, in which order.
#include "platform/exception.h"
#include "session/ftpsession.h"
#include "session/remoterowsmodel.h"
#include "tests/session/remoterowhelpers.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <gtest/gtest.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

class FTPSessionTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        test::RecordCommands(session.FTP(), Sent);
        session.OnRemotePath = [this](const std::string& p) { Events.push_back("path " + p); };
        session.OnInvalidDirectory = [this](const std::string& p) { Events.push_back("invalid " + p); };
        session.OnLocalDirectory = [this](const std::string& d) { Events.push_back("local " + d); };
        session.OnMissingLocalDirectory = [this](const std::string& d) { Events.push_back("missing " + d); };
        session.OnActivity = [this](TSessionActivity a) {
            Events.push_back(a == TSessionActivity::Listing        ? "listing"
                             : a == TSessionActivity::Transferring ? "transferring"
                                                                   : "idle");
        };
        session.OnCopyStarting = [this](const TCopyStart& c) {
            Events.push_back((c.Download ? "get " : "put ") + c.RemoteFile + " " + std::to_string(c.Size));
        };
        session.OnDownloadFinished = [this](const TFinishedDownload& d) { Finished.push_back(d); };
        session.OnUploadFinished = [this](const std::string& f) { Events.push_back("sent " + f); };
        session.OnNameRefused = [this](const std::string& n) { Events.push_back("refused " + n); };

        ServeRoot = Root + "/serve";
        Local = Root + "/local";
        View = Root + "/view/";
        for (const std::string& dir : {ServeRoot + "/pub/inner", Local, View})
            fs::create_directories(dir);
        const std::pair<const char*, std::string> served[] = {
            {"a.txt", "alpha\n"}, {"b.bin", std::string(3000, 'b')}, {"Data.ZIP", "PK not really"},
            {"pub/guide.txt", "guide\n"}};
        for (const auto& [name, bytes] : served)
            test::WriteFileBytes(ServeRoot + "/" + name, bytes);
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    void TearDown() override
    {
        server.reset();
        TempHomeTest::TearDown();
    }

    void open(const std::string& remote = "/", const std::string& local = std::string())
    {
        session.Open(test::TestSite(server->Port(), remote, local));
    }
    std::vector<std::string> names() const { return test::SortedNames(session.RemoteRows()); }
    int rowOf(const std::string& name) const { return test::RowOf(session.RemoteRows(), name); }
    static std::vector<std::string> starting(const std::vector<std::string>& lines, const std::string& prefix)
    {
        std::vector<std::string> out;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(out),
                     [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        return out;
    }
    std::vector<std::string> sentStarting(const std::string& prefix) const { return starting(Sent, prefix); }
    std::vector<std::string> eventsStarting(const std::string& prefix) const { return starting(Events, prefix); }
    // Where each command first went out; Sent.size() when it never did.
    std::size_t position(const std::string& command) const
    {
        return static_cast<std::size_t>(std::find(Sent.begin(), Sent.end(), command) - Sent.begin());
    }

    TFTPSession session;
    std::unique_ptr<test::FtpServer> server;
    std::string ServeRoot;
    std::string Local;
    std::string View;
    std::vector<std::string> Sent;
    std::vector<std::string> Events;
    std::vector<TFinishedDownload> Finished;
};

TEST_F(FTPSessionTest, OpenLogsOnEntersTheProfilesDirectoryAndListsIt)
{
    bool busyWhileWaiting = false;
    session.OnRemotePath = [&](const std::string& p) {
        Events.push_back("path " + p);
        busyWhileWaiting = session.Busy();
    };
    open("/pub", Local);

    // Log-on, binary mode, the directory, then the listing, in that order.
    EXPECT_EQ(Sent.at(0), "USER user");
    EXPECT_EQ(Sent.at(1), "PASS ****");
    EXPECT_LT(position("PASS ****"), position("TYPE I"));
    EXPECT_LT(position("TYPE I"), position("CWD /pub"));
    EXPECT_LT(position("CWD /pub"), position("LIST"));
    EXPECT_LT(position("LIST"), Sent.size());
    // The window is told the local and remote directories; an opening
    // listing is no directory change, so no "listing" (hourglass) event.
    EXPECT_EQ(Events, (std::vector<std::string>{"local " + Local, "path /pub", "transferring", "idle"}));
    EXPECT_TRUE(busyWhileWaiting);
    EXPECT_FALSE(session.Busy());

    EXPECT_EQ(names(), (std::vector<std::string>{"guide.txt", "inner"}));
    EXPECT_TRUE(session.DirLB.Contains("inner"));
    EXPECT_FALSE(session.DirLB.Contains("guide.txt"));
    EXPECT_EQ(session.Rows().rowCount(), 2) << "every row shown once the listing is in";
    EXPECT_EQ(session.FTP().TransferMode(), tmBinary);
    EXPECT_EQ(session.FTP().RemotePort(), server->Port());
}

TEST_F(FTPSessionTest, OpenTakesTheProfilesDataModeAndGoesHomeForAMissingLocalDirectory)
{
    TFTPSiteRecord site = test::TestSite(server->Port(), "/", Root + "/no such folder");
    site.SetDataConnectionMode(dcActive);
    session.Open(site);
    EXPECT_EQ(session.FTP().DataConnectionMode(), dcActive);
    EXPECT_EQ(eventsStarting("missing"), std::vector<std::string>{"missing " + Root + "/no such folder"});
    EXPECT_EQ(eventsStarting("local"), std::vector<std::string>{"local " + Home});
    EXPECT_EQ(names(), (std::vector<std::string>{"Data.ZIP", "a.txt", "b.bin", "pub"}));
    EXPECT_TRUE(sentStarting("EPSV").empty() && sentStarting("PASV").empty()) << "active mode";
    EXPECT_EQ(sentStarting("PORT").size(), 1u);
}

TEST_F(FTPSessionTest, ARefusedProfileDirectoryStartsTheSessionAtTheRoot)
{
    open("/missing");
    EXPECT_EQ(eventsStarting("invalid"), std::vector<std::string>{"invalid /missing"});
    EXPECT_EQ(eventsStarting("path"), std::vector<std::string>{"path /"});
    EXPECT_LT(position("CWD /missing"), position("CWD /"));
    EXPECT_EQ(names(), (std::vector<std::string>{"Data.ZIP", "a.txt", "b.bin", "pub"}));
}

TEST_F(FTPSessionTest, ChangeDirectoryRetriesFromTheRootAndFallsBackOnlyWhenNothingIsListed)
{
    open();
    Events.clear();
    session.ChangeDirectory("pub");
    EXPECT_EQ(Events, (std::vector<std::string>{"listing", "path /pub", "transferring", "idle"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"guide.txt", "inner"}));
    EXPECT_TRUE(session.FTP().RemoteFile.empty());

    // Refused as typed and from the root: with rows listed the user stays
    // where they were, told nothing, and the directory is listed again.
    Events.clear();
    session.ChangeDirectory("nope");
    EXPECT_LT(position("CWD nope"), position("CWD /nope"));
    EXPECT_LT(position("CWD /nope"), Sent.size());
    EXPECT_TRUE(eventsStarting("invalid").empty());
    EXPECT_EQ(eventsStarting("path").back(), "path /pub");
    EXPECT_EQ(names(), (std::vector<std::string>{"guide.txt", "inner"}));

    // With nothing listed, a refused absolute path goes to the root.
    Events.clear();
    session.Rows().Clear();
    session.ChangeDirectory("/nowhere");
    EXPECT_EQ(eventsStarting("invalid"), std::vector<std::string>{"invalid /nowhere"});
    EXPECT_EQ(eventsStarting("path").back(), "path /");
    EXPECT_EQ(names(), (std::vector<std::string>{"Data.ZIP", "a.txt", "b.bin", "pub"}));
}

TEST_F(FTPSessionTest, EachDownloadIntentGoesWhereItShouldAndIsReported)
{
    open();
    const struct {
        TAfterDownload After;
        std::vector<std::string> Rows;
        std::string Directory;
        std::vector<std::string> Fetched;
        std::vector<std::string> Started;  // name and size, before each transfer
    } cases[] = {
        {TAfterDownload::Nothing, {"pub", "a.txt", "b.bin"}, Local, {"a.txt", "b.bin"}, {"get a.txt 6", "get b.bin 3000"}},
        {TAfterDownload::View, {"a.txt", "pub"}, View, {"a.txt"}, {"get a.txt 6"}},
        {TAfterDownload::Unzip, {"Data.ZIP", "a.txt"}, Local, {"Data.ZIP"}, {"get Data.ZIP 13"}},
    };
    for (const auto& c : cases) {
        Finished.clear();
        Sent.clear();
        Events.clear();
        std::vector<int> rows;
        for (const std::string& n : c.Rows)
            rows.push_back(rowOf(n));
        session.Download(rows, c.After, c.Directory);
        EXPECT_EQ(session.AfterDownload(), c.After);
        std::vector<std::string> expectedRetr;
        ASSERT_EQ(Finished.size(), c.Fetched.size());
        for (std::size_t i = 0; i < c.Fetched.size(); ++i) {
            const std::string& name = c.Fetched[i];
            expectedRetr.push_back("RETR " + name);
            EXPECT_EQ(Finished[i].Row, rowOf(name));
            EXPECT_EQ(Finished[i].RemoteFile, name);
            EXPECT_EQ(Finished[i].LocalFile, c.Directory + (c.Directory.back() == '/' ? "" : "/") + name);
            EXPECT_EQ(Finished[i].After, c.After);
            EXPECT_EQ(test::ReadFileBytes(Finished[i].LocalFile), test::ReadFileBytes(ServeRoot + "/" + name));
        }
        EXPECT_EQ(sentStarting("RETR"), expectedRetr);
        EXPECT_EQ(eventsStarting("get"), c.Started);
        EXPECT_EQ(Events.front(), c.Started.front()) << "announced before its transfer starts";
        EXPECT_TRUE(eventsStarting("refused").empty());
    }
    EXPECT_FALSE(fs::exists(Local + "/pub"));
}

TEST_F(FTPSessionTest, ADownloadRefusesUnsafeNamesAndStopsAtAFailure)
{
    open();
    session.FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 ../x");
    session.FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 gone.txt");
    session.Download({rowOf("../x"), rowOf("a.txt")}, TAfterDownload::Nothing, Local);
    EXPECT_EQ(eventsStarting("refused"), std::vector<std::string>{"refused ../x"});
    EXPECT_EQ(sentStarting("RETR"), std::vector<std::string>{"RETR a.txt"});
    EXPECT_FALSE(fs::exists(Root + "/x"));

    // A refusal by the server ends the command there: nothing is announced
    // for the failed file and the next one is not fetched.
    Finished.clear();
    EXPECT_THROW(session.Download({rowOf("gone.txt"), rowOf("b.bin")}, TAfterDownload::View, View), EFTP);
    EXPECT_TRUE(Finished.empty());
    EXPECT_EQ(sentStarting("RETR").back(), "RETR gone.txt");
    EXPECT_FALSE(fs::exists(View + "b.bin"));
    EXPECT_FALSE(session.Busy());
}

TEST_F(FTPSessionTest, UploadSendsEachFileAndAppendsItsRowAsItStands)
{
    open();
    test::WriteFileBytes(Local + "/one.txt", "1");
    fs::create_directories(Local + "/sub");
    test::WriteFileBytes(Local + "/sub/two.bin", std::string(2048, '2'));
    const std::size_t before = session.RemoteRows().size();
    session.Upload({"one.txt", "sub/two.bin"}, Local);
    EXPECT_EQ(sentStarting("STOR"), (std::vector<std::string>{"STOR one.txt", "STOR two.bin"}));
    EXPECT_EQ(test::ReadFileBytes(ServeRoot + "/two.bin"), std::string(2048, '2'));
    EXPECT_EQ(eventsStarting("put"), (std::vector<std::string>{"put one.txt 1", "put two.bin 2048"}));
    EXPECT_EQ(eventsStarting("sent"), (std::vector<std::string>{"sent one.txt", "sent sub/two.bin"}));
    ASSERT_EQ(session.RemoteRows().size(), before + 2);
    EXPECT_EQ(session.RemoteRows()[before], std::string("one.txt\b \b1"));
    EXPECT_EQ(session.RemoteRows()[before + 1], std::string("two.bin\b \b2048"));
    EXPECT_EQ(session.Rows().rowCount(), static_cast<int>(before + 2)) << "shown at once";

    // A file that cannot be read fails before anything is sent.
    Sent.clear();
    EXPECT_THROW(session.Upload({"missing.txt"}, Local), EInOutError);
    EXPECT_TRUE(sentStarting("STOR").empty());
}

TEST_F(FTPSessionTest, RenameDeleteAndMakeDirectoryChangeTheServerAndTheRows)
{
    open();
    const int b = rowOf("b.bin");
    session.RenameRemote(b, "c.bin");
    EXPECT_EQ(sentStarting("RN"), (std::vector<std::string>{"RNFR b.bin", "RNTO c.bin"}));
    EXPECT_TRUE(fs::exists(ServeRoot + "/c.bin"));
    EXPECT_EQ(rowOf("c.bin"), b) << "renamed in place";
    EXPECT_EQ(ExtractListingSize(session.RemoteRows()[static_cast<std::size_t>(b)]), 3000);

    const std::size_t count = session.RemoteRows().size();
    session.DeleteRemote(rowOf("a.txt"));
    fs::remove(ServeRoot + "/pub/guide.txt");
    fs::remove(ServeRoot + "/pub/inner");
    session.DeleteRemote(rowOf("pub"));
    EXPECT_EQ(sentStarting("DELE"), std::vector<std::string>{"DELE a.txt"});
    EXPECT_EQ(sentStarting("RMD"), std::vector<std::string>{"RMD pub"});
    EXPECT_FALSE(fs::exists(ServeRoot + "/a.txt"));
    EXPECT_FALSE(fs::exists(ServeRoot + "/pub"));
    EXPECT_EQ(session.RemoteRows().size(), count - 2);
    EXPECT_EQ(rowOf("a.txt"), -1);

    Events.clear();
    session.MakeRemoteDirectory("made");
    EXPECT_EQ(sentStarting("MKD"), std::vector<std::string>{"MKD made"});
    EXPECT_TRUE(fs::is_directory(ServeRoot + "/made"));
    EXPECT_EQ(Events.front(), "listing") << "the directory is listed again";
    EXPECT_TRUE(session.DirLB.Contains("made"));
    EXPECT_EQ(names(), (std::vector<std::string>{"Data.ZIP", "c.bin", "made"}));
}

TEST_F(FTPSessionTest, CloseLogsOffOnceAndToleratesASessionNeverOpened)
{
    open();
    session.Close();
    EXPECT_EQ(Sent.back(), "QUIT");
    EXPECT_FALSE(session.Busy());

    TFTPSession unopened;
    EXPECT_NO_THROW(unopened.Close());
    EXPECT_FALSE(unopened.Busy());
}

TEST_F(FTPSessionTest, TheConnectionStateFollowsARefusedLogOnAndALostConnection)
{
    std::vector<TConnection> states;
    session.OnConnection = [&](TConnection c) { states.push_back(c); };
    TFTPSiteRecord refused = test::TestSite(server->Port());
    refused.Password.Set("wrong");
    EXPECT_THROW(session.Open(refused), EFTP);
    EXPECT_EQ(states, (std::vector<TConnection>{TConnection::Connecting, TConnection::NotConnected}));
    EXPECT_EQ(Sent.back(), "QUIT") << "the refused connection is given up";
    EXPECT_TRUE(sentStarting("LIST").empty());

    states.clear();
    open();
    EXPECT_EQ(states, (std::vector<TConnection>{TConnection::Connecting, TConnection::LoggedOn}));
    server.reset();
    EXPECT_ANY_THROW(session.ChangeDirectory("/pub"));
    EXPECT_EQ(session.Connection(), TConnection::NotConnected);
    EXPECT_EQ(states.back(), TConnection::NotConnected);
    EXPECT_FALSE(session.Busy());
}

// The session's owner closes it from inside a wait (its window's close
// arrives there): the wait ends, the operation returns without an error and
// the owner hears nothing more.
TEST_F(FTPSessionTest, ACloseFromInsideAListingEndsItQuietly)
{
    bool closed = false;
    session.OnActivity = [&](TSessionActivity a) {
        Events.push_back(a == TSessionActivity::Idle ? "idle" : "busy");
        if (!closed && a == TSessionActivity::Transferring) {
            closed = true;
            session.Close();
        }
    };
    EXPECT_NO_THROW(open());
    EXPECT_TRUE(closed);
    EXPECT_EQ(Events.back(), "busy") << "no event after the close";
    EXPECT_FALSE(session.FTP().Connected());
    EXPECT_FALSE(session.Busy());
    EXPECT_EQ(session.Connection(), TConnection::NotConnected);
    // Later calls find a closed session and do nothing.
    Sent.clear();
    EXPECT_NO_THROW(session.ChangeDirectory("/pub"));
    EXPECT_TRUE(Sent.empty());
}

TEST(FTPSessionEventsTest, FTP1EventsBecomeActivityProgressAndErrors)
{
    TFTPSession session;
    // Without handlers every event is dropped quietly.
    session.FTP1StartTransfer();
    session.FTP1Transfer(100);
    session.FTP1EndTransfer();
    session.FTP1Error(10054, "reset");

    std::vector<std::string> seen;
    session.OnActivity = [&](TSessionActivity a) { seen.push_back(a == TSessionActivity::Idle ? "idle" : "busy"); };
    session.OnProgress = [&](const TTransferPanels& p) { seen.push_back(p.Amount + " " + p.Elapsed); };
    session.OnError = [&](int code, const std::string& text) { seen.push_back(std::to_string(code) + " " + text); };
    session.Progress.SetSize(1000 * 1024);
    session.FTP1StartTransfer();
    session.FTP1Transfer(512000);
    session.FTP1EndTransfer();
    session.FTP1Error(10054, "Connection reset by peer");
    EXPECT_EQ(seen, (std::vector<std::string>{"busy", "500k / 1000k Time Elapsed: 0:00", "idle",
                                              "10054 Connection reset by peer"}));

    // Listing lines: rows and directory names; dot files only when asked.
    session.FTP1DirList("drwxr-xr-x 2 u g 512 Jan 15 12:34 docs");
    session.FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 .hidden");
    session.ShowDotFiles = true;
    session.FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 .shown");
    ASSERT_EQ(session.RemoteRows().size(), 2u);
    EXPECT_EQ(ExtractListingName(session.RemoteRows()[0]), "docs");
    EXPECT_EQ(ExtractListingName(session.RemoteRows()[1]), ".shown");
    EXPECT_TRUE(session.DirLB.Contains("docs"));
}

} // namespace

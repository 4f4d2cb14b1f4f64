// TFTP against real FTP servers (pyftpdlib, vsftpd) on 127.0.0.1 and ::1,
// in passive and active mode.
#include "tests/net/ftp_fixture.h"

#include <QTimer>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <fstream>
#include <random>

namespace plover::test {
namespace {

// Compares file contents without printing megabytes of bytes on failure.
::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at byte " << i;
}

bool contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

class BothModesTest : public FtpTest {
protected:
    void roundTripInBothModes(uint16_t port, const std::string& host, const std::string& passive,
                              const std::string& active);
};

class FtpServerTest : public BothModesTest {
protected:
    void SetUp() override
    {
        BothModesTest::SetUp();
        server = std::make_unique<FtpServer>(ServerRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    void TearDown() override
    {
        server.reset();
        BothModesTest::TearDown();
    }
    std::unique_ptr<FtpServer> server;
};

TEST_F(FtpServerTest, LogonSendsUserPassAndTypeAndLogoffCloses)
{
    auto ftp = makeClient(server->Port());
    ftp->SetTransferMode(tmBinary);  // stored while disconnected
    EXPECT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_TRUE(ftp->Connected());
    EXPECT_EQ(ftp->Action(), ftpIdle);
    auto sent = commandsSent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "USER user");
    EXPECT_EQ(sent[1].rfind("PASS", 0), 0u);
    EXPECT_EQ(sent[2], "TYPE I");
    EXPECT_TRUE(contains(Trace, "* Connecting to FTP server."));
    EXPECT_TRUE(contains(Trace, "* Connected."));
    // The greeting is taken as a reply.
    EXPECT_EQ(Trace[2].rfind("< 220", 0), 0u);

    EXPECT_EQ(act(*ftp, ftpLogoff), "");
    EXPECT_FALSE(ftp->Connected());
    EXPECT_EQ(commandsSent().back(), "QUIT");
    EXPECT_TRUE(contains(Trace, "* Disconnected."));
}

TEST_F(FtpServerTest, WrongPasswordFailsWithTheServersLine)
{
    auto ftp = makeClient(server->Port(), "user", "wrong");
    std::string error = act(*ftp, ftpLogon);
    EXPECT_EQ(error.rfind("141: 530 ", 0), 0u) << error;
    EXPECT_TRUE(ftp->Connected());  // the control connection stays open
    EXPECT_EQ(ftp->LastError, 141);
}

TEST_F(FtpServerTest, PasswordIsKeptOutOfTheTrace)
{
    auto ftp = makeClient(server->Port(), "user", "password");
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_TRUE(contains(Trace, "> PASS ****"));
    for (const std::string& c : commandsSent())
        EXPECT_EQ(c.find("password"), std::string::npos) << c;
}

TEST_F(FtpServerTest, DownloadBeforeLogonLogsOnFirstAndFailedLogonSendsNothingMore)
{
    test::WriteFileBytes(ServerRoot + "/a.bin", RandomBytes(100000, 1));
    auto ftp = makeClient(server->Port());
    ftp->RemoteFile = "a.bin";
    ftp->LocalFile = LocalDir + "/a.bin";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_TRUE(sameBytes(test::ReadFileBytes(LocalDir + "/a.bin"), RandomBytes(100000, 1)));
    auto sent = commandsSent();
    EXPECT_EQ(sent.front(), "USER user");
    EXPECT_EQ(sent.back(), "RETR a.bin");

    Trace.clear();
    auto bad = makeClient(server->Port(), "user", "wrong");
    bad->RemoteFile = "a.bin";
    bad->LocalFile = LocalDir + "/b.bin";
    std::string error = bad->Connected() ? "" : act(*bad, ftpDownload);
    EXPECT_EQ(error.rfind("141: 530", 0), 0u) << error;
    for (const std::string& c : commandsSent()) {
        EXPECT_EQ(c.rfind("PORT", 0), std::string::npos) << c;
        EXPECT_EQ(c.rfind("RETR", 0), std::string::npos) << c;
    }
    EXPECT_FALSE(test::FileExists(LocalDir + "/b.bin"));
}

TEST_F(FtpServerTest, DownloadToFileFiresTheTransferEventsInOrder)
{
    const std::string content = RandomBytes(3 * 1024 * 1024 + 17, 2);
    test::WriteFileBytes(ServerRoot + "/big.bin", content);
    // The copy already there keeps its name and its bytes until the new one
    // is complete, which then takes its place and its permissions.
    test::WriteFileBytes(LocalDir + "/big.bin", "old");
    std::filesystem::permissions(LocalDir + "/big.bin", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    ftp->RemoteFile = "big.bin";
    ftp->LocalFile = LocalDir + "/big.bin";
    bool oldKeptDuringTransfer = true;
    bool hiddenFileUsed = false;
    ftp->OnTransfer = [&](QObject*, int64_t count, const std::string&) {
        LastCount = count;
        oldKeptDuringTransfer = oldKeptDuringTransfer && test::ReadFileBytes(LocalDir + "/big.bin") == "old";
        hiddenFileUsed = hiddenFileUsed || test::FileExists(LocalDir + "/.big.bin.part");
    };
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_TRUE(oldKeptDuringTransfer);
    EXPECT_TRUE(hiddenFileUsed);
    EXPECT_FALSE(test::FileExists(LocalDir + "/.big.bin.part"));
    EXPECT_EQ(std::filesystem::status(LocalDir + "/big.bin").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // The action returns only once the data connection and the file are closed.
    ASSERT_FALSE(Events.empty());
    EXPECT_EQ(Events.front(), "start");
    EXPECT_EQ(Events.back(), "end");
    EXPECT_EQ(LastCount, static_cast<int64_t>(content.size()));
    EXPECT_TRUE(sameBytes(test::ReadFileBytes(LocalDir + "/big.bin"), content));
    auto sent = commandsSent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], "EPSV");  // passive by default
    EXPECT_EQ(sent.back(), "RETR big.bin");
}

TEST_F(FtpServerTest, DownloadToTextCreatesNoFile)
{
    test::WriteFileBytes(ServerRoot + "/notes.txt", "line one\r\nline two\r\n");
    auto ftp = makeClient(server->Port());
    ftp->RemoteFile = "notes.txt";
    ftp->LocalFile = "";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(Text, "line one\r\nline two\r\n");
    EXPECT_EQ(LastCount, 20);
    EXPECT_TRUE(std::filesystem::is_empty(LocalDir));
}

TEST_F(FtpServerTest, BackToBackDownloadsLoseNoBytes)
{
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 5; ++i) {
        contents.push_back(RandomBytes(200000 + i * 7919, 10 + i));
        test::WriteFileBytes(ServerRoot + "/f" + std::to_string(i), contents.back());
    }
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    for (unsigned i = 0; i < 5; ++i) {
        ftp->RemoteFile = "f" + std::to_string(i);
        ftp->LocalFile = LocalDir + "/f" + std::to_string(i);
        ASSERT_EQ(act(*ftp, ftpDownload), "") << i;
        EXPECT_TRUE(sameBytes(test::ReadFileBytes(ftp->LocalFile), contents[i])) << i;
    }
    EXPECT_EQ(std::count(Events.begin(), Events.end(), "end"), 5);
}

TEST_F(FtpServerTest, TransferBeyondFourGibibytesCountsInSixtyFourBits)
{
    // A sparse file: zeros, then a marker past the 4 GiB line.
    const int64_t size = (int64_t{4} << 30) + 1024 * 1024;
    { std::ofstream create(ServerRoot + "/huge.bin"); }
    std::filesystem::resize_file(ServerRoot + "/huge.bin", size - 4);
    {
        std::ofstream out(ServerRoot + "/huge.bin", std::ios::binary | std::ios::app);
        out << "END!";
    }
    auto ftp = makeClient(server->Port());
    int64_t received = 0;
    int64_t nonZero = 0;
    std::string tail;
    ftp->OnTransfer = [&](QObject*, int64_t count, const std::string& text) {
        LastCount = count;
        received += static_cast<int64_t>(text.size());
        for (char c : text)
            nonZero += c != 0;
        const std::string joined = tail + text.substr(text.size() > 4 ? text.size() - 4 : 0);
        tail = joined.substr(joined.size() > 4 ? joined.size() - 4 : 0);
    };
    ftp->RemoteFile = "huge.bin";
    ftp->LocalFile = "";  // to text: nothing lands on the disk
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(LastCount, size);
    EXPECT_EQ(received, size);
    EXPECT_EQ(nonZero, 4);
    EXPECT_EQ(tail, "END!");
}

TEST_F(FtpServerTest, UploadsIncludingAnEmptyFileArriveByteForByte)
{
    const std::string content = RandomBytes(1024 * 1024 + 3, 3);
    test::WriteFileBytes(LocalDir + "/up.bin", content);
    test::WriteFileBytes(LocalDir + "/empty", "");
    auto ftp = makeClient(server->Port());
    ftp->LocalFile = LocalDir + "/up.bin";
    ftp->RemoteFile = "up.bin";
    EXPECT_EQ(act(*ftp, ftpUpload), "");
    EXPECT_TRUE(sameBytes(test::ReadFileBytes(ServerRoot + "/up.bin"), content));
    EXPECT_EQ(LastCount, static_cast<int64_t>(content.size()));
    EXPECT_EQ(Events.back(), "end");

    Events.clear();
    ftp->LocalFile = LocalDir + "/empty";
    ftp->RemoteFile = "empty";
    EXPECT_EQ(act(*ftp, ftpUpload), "");
    EXPECT_TRUE(test::FileExists(ServerRoot + "/empty"));
    EXPECT_EQ(test::ReadFileBytes(ServerRoot + "/empty"), "");
    EXPECT_EQ(Events, (std::vector<std::string>{"start", "end"}));
}

// Both modes against a real server: the same bytes both ways, and a
// listing, each data command prepared with the given command only.
void BothModesTest::roundTripInBothModes(uint16_t port, const std::string& host, const std::string& passive,
                                         const std::string& active)
{
    const std::string content = RandomBytes(2 * 1024 * 1024 + 5, 4);
    test::WriteFileBytes(LocalDir + "/up.bin", content);
    for (TDataConnectionModes mode : {dcPassive, dcActive}) {
        SCOPED_TRACE(mode == dcPassive ? "passive" : "active");
        Mode = mode;
        Trace.clear();
        DirLines.clear();
        auto ftp = makeClient(port);
        ftp->SetRemoteHost(host);
        ftp->LocalFile = LocalDir + "/up.bin";
        ftp->RemoteFile = "up.bin";
        ASSERT_EQ(act(*ftp, ftpUpload), "");
        ftp->LocalFile = LocalDir + "/down.bin";
        ASSERT_EQ(act(*ftp, ftpDownload), "");
        EXPECT_TRUE(sameBytes(test::ReadFileBytes(LocalDir + "/down.bin"), content));
        ftp->RemoteFile.clear();
        ASSERT_EQ(act(*ftp, ftpListDirectoryLong), "");
        EXPECT_TRUE(std::any_of(DirLines.begin(), DirLines.end(),
                                [](const std::string& l) { return l.find("up.bin") != std::string::npos; }));
        EXPECT_EQ(ftp->WorkingDataMode(), mode);
        const auto sent = commandsSent();
        auto count = [&](const std::string& start) {
            return std::count_if(sent.begin(), sent.end(), [&](const std::string& c) { return c.rfind(start, 0) == 0; });
        };
        EXPECT_EQ(count(mode == dcPassive ? passive : active), 3);
        EXPECT_EQ(count(mode == dcPassive ? active : passive), 0);
    }
}

TEST_F(FtpServerTest, ActiveAndPassiveModesMoveTheSameBytes)
{
    roundTripInBothModes(server->Port(), "127.0.0.1", "EPSV", "PORT 127,0,0,1,");
}

TEST_F(FtpServerTest, UploadOfAMissingOrUnnamedFileFailsBeforeAnyDataCommand)
{
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    Trace.clear();
    ftp->LocalFile = "";
    EXPECT_EQ(act(*ftp, ftpUpload), "145: Please specify a local file for upload.");
    ftp->LocalFile = LocalDir + "/missing";
    EXPECT_EQ(act(*ftp, ftpUpload), "145: Error reading from local file.");
    EXPECT_TRUE(commandsSent().empty());
}

TEST_F(FtpServerTest, ListingsDeliverOneLinePerEntry)
{
    std::filesystem::create_directories(ServerRoot + "/sub dir");
    test::WriteFileBytes(ServerRoot + "/one.txt", "1");
    test::WriteFileBytes(ServerRoot + "/two.txt", "22");
    auto ftp = makeClient(server->Port());
    EXPECT_EQ(act(*ftp, ftpListDirectory), "");
    std::sort(DirLines.begin(), DirLines.end());
    EXPECT_EQ(DirLines, (std::vector<std::string>{"one.txt", "sub dir", "two.txt"}));
    EXPECT_EQ(commandsSent().back(), "NLST");

    DirLines.clear();
    EXPECT_EQ(act(*ftp, ftpListDirectoryLong), "");
    ASSERT_EQ(DirLines.size(), 3u);
    bool sawDir = false;
    for (const std::string& l : DirLines) {
        EXPECT_EQ(l.find('\r'), std::string::npos);
        sawDir |= l[0] == 'd' && l.size() > 7 && l.substr(l.size() - 7) == "sub dir";
    }
    EXPECT_TRUE(sawDir);
    EXPECT_EQ(commandsSent().back(), "LIST");
}

TEST_F(FtpServerTest, RenameDeleteMakeAndRemoveDirectory)
{
    test::WriteFileBytes(ServerRoot + "/old.txt", "x");
    auto ftp = makeClient(server->Port());
    ftp->RemoteFile = "old.txt";
    ftp->AltFile = "new.txt";
    EXPECT_EQ(act(*ftp, ftpRenameFile), "");
    EXPECT_TRUE(test::FileExists(ServerRoot + "/new.txt"));
    EXPECT_FALSE(test::FileExists(ServerRoot + "/old.txt"));

    ftp->RemoteFile = "new.txt";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "");
    EXPECT_FALSE(test::FileExists(ServerRoot + "/new.txt"));
    std::string error = act(*ftp, ftpDeleteFile);
    EXPECT_EQ(error.rfind("141: 550", 0), 0u) << error;

    ftp->RemoteFile = "made";
    EXPECT_EQ(act(*ftp, ftpMakeDirectory), "");
    EXPECT_TRUE(std::filesystem::is_directory(ServerRoot + "/made"));
    EXPECT_EQ(act(*ftp, ftpRemoveDirectory), "");
    EXPECT_FALSE(test::FileExists(ServerRoot + "/made"));
    auto sent = commandsSent();
    EXPECT_TRUE(contains(sent, "RNFR old.txt"));
    EXPECT_TRUE(contains(sent, "RNTO new.txt"));
    EXPECT_TRUE(contains(sent, "MKD made"));
    EXPECT_TRUE(contains(sent, "RMD made"));
}

TEST_F(FtpServerTest, RemotePathChangesWithCwdAndCdupAndReadsPwd)
{
    std::filesystem::create_directories(ServerRoot + "/pub/incoming");
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_EQ(ftp->RemotePath(), "/");
    ftp->SetRemotePath("pub/incoming");
    EXPECT_EQ(ftp->RemotePath(), "/pub/incoming");
    ftp->SetRemotePath("..");
    EXPECT_EQ(ftp->RemotePath(), "/pub");
    auto sent = commandsSent();
    EXPECT_TRUE(contains(sent, "CWD pub/incoming"));
    EXPECT_TRUE(contains(sent, "CDUP"));
    EXPECT_THROW(ftp->SetRemotePath("nowhere"), EFTP);
    EXPECT_EQ(ftp->RemotePath(), "/pub");
}

TEST_F(FtpServerTest, TransferModeSendsTypeWhenConnected)
{
    auto ftp = makeClient(server->Port());
    ftp->SetTransferMode(tmASCII);
    EXPECT_TRUE(commandsSent().empty());  // stored only
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_EQ(commandsSent().back(), "TYPE A");
    ftp->SetTransferMode(tmBinary);
    EXPECT_EQ(commandsSent().back(), "TYPE I");
    EXPECT_EQ(ftp->TransferMode(), tmBinary);
    EXPECT_THROW(ftp->SetTransferMode(static_cast<TFTPTransferModes>(7)), Exception);
}

TEST_F(FtpServerTest, ArgumentsWithLineBreaksAreRefused)
{
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    Trace.clear();
    ftp->RemoteFile = "x\r\nDELE important";
    std::string error = act(*ftp, ftpDeleteFile);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(commandsSent().empty());
}

TEST_F(FtpServerTest, ActionFromOnEndTransferOfAnUploadIsBusy)
{
    test::WriteFileBytes(LocalDir + "/u.txt", "upload");
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    std::string inner;
    ftp->OnEndTransfer = [&](QObject*) {
        ftp->RemoteFile = "u.txt";
        inner = act(*ftp, ftpDeleteFile);
    };
    ftp->LocalFile = LocalDir + "/u.txt";
    ftp->RemoteFile = "u.txt";
    EXPECT_EQ(act(*ftp, ftpUpload), "");
    EXPECT_EQ(inner, "143: Busy performing current action.");
    EXPECT_TRUE(test::FileExists(ServerRoot + "/u.txt"));
}

// The server reads ABOR as a command in the middle of a transfer (its 426
// and its answer to ABOR come back), the download fails with the
// transfer's reply, the older copy survives, and the session goes on.
TEST_F(FtpServerTest, AbortDuringALongDownloadLeavesAUsableSessionAndNoPartialFile)
{
    test::WriteFileBytes(ServerRoot + "/huge.bin", std::string(64 * 1024 * 1024, 'z'));
    const std::string good = "an older good copy\n";
    test::WriteFileBytes(LocalDir + "/huge.bin", good);
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    bool aborted = false;
    std::string abortError = "not run";
    ftp->OnTransfer = [&](QObject*, int64_t count, const std::string&) {
        LastCount = count;
        if (!aborted && count > 1024 * 1024) {
            aborted = true;
            abortError = act(*ftp, ftpAbort);
        }
    };
    ftp->RemoteFile = "huge.bin";
    ftp->LocalFile = LocalDir + "/huge.bin";
    const auto start = std::chrono::steady_clock::now();
    const std::string downloadError = act(*ftp, ftpDownload);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(aborted);
    EXPECT_EQ(abortError, "");
    // Which 426 depends on whether the server saw ABOR or our closed data
    // connection first; ABOR's own answer is read in both cases.
    EXPECT_EQ(downloadError.rfind("141: 426 Transfer aborted", 0), 0u) << downloadError;
    const auto replyToAbort = std::find_if(Trace.begin(), Trace.end(), [](const std::string& t) {
        return t == "< 226 ABOR command successful." || t.rfind("< 225 ", 0) == 0;
    });
    EXPECT_NE(replyToAbort, Trace.end());
    EXPECT_EQ(test::ReadFileBytes(LocalDir + "/huge.bin"), good);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(LocalDir), {}), 1);
    // The connection is in step afterwards.
    EXPECT_TRUE(ftp->Connected());
    EXPECT_EQ(ftp->RemotePath(), "/");
    EXPECT_EQ(act(*ftp, ftpListDirectoryLong), "");
    EXPECT_TRUE(std::any_of(DirLines.begin(), DirLines.end(),
                            [](const std::string& l) { return l.find("huge.bin") != std::string::npos; }));
}

TEST_F(FtpServerTest, ANameEndingInASpaceDownloads)
{
    test::WriteFileBytes(ServerRoot + "/report ", "trailing space\n");
    auto ftp = makeClient(server->Port());
    ftp->RemoteFile = "report ";
    ftp->LocalFile = LocalDir + "/report ";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(test::ReadFileBytes(LocalDir + "/report "), "trailing space\n");
}

// In ASCII mode the wire carries CR LF; a text file here has LF.
TEST_F(FtpServerTest, AsciiDownloadsWriteLocalLineEnds)
{
    test::WriteFileBytes(ServerRoot + "/notes.txt", "one\ntwo\r\nthree\n");
    auto ftp = makeClient(server->Port());
    ftp->SetTransferMode(tmASCII);
    ftp->RemoteFile = "notes.txt";
    ftp->LocalFile = LocalDir + "/notes.txt";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(test::ReadFileBytes(LocalDir + "/notes.txt"), "one\ntwo\nthree\n");
    // Binary stays byte for byte.
    ftp->SetTransferMode(tmBinary);
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(test::ReadFileBytes(LocalDir + "/notes.txt"), "one\ntwo\r\nthree\n");
}

// A connect that never completes: a listener whose queue is full drops
// the handshake. Interrupted, it leaves nothing half open behind, so a
// log-on right after it (no event-loop turn between) works.
TEST_F(FtpServerTest, AnInterruptedConnectLeavesNothingBehind)
{
    const int full = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(full, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        (void)::connect(f, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(f);
    }
    auto ftp = makeClient(ntohs(addr.sin_port));
    QTimer::singleShot(300, [&] { act(*ftp, ftpIdle); });
    EXPECT_EQ(act(*ftp, ftpLogon), "301: Interrupted.");
    EXPECT_EQ(ftp->Socket(), INVALID_SOCKET);
    ftp->SetRemotePort(server->Port());
    EXPECT_EQ(act(*ftp, ftpLogon), "");
    // Nor does a connect wait forever.
    auto slow = makeClient(ntohs(addr.sin_port));
    slow->SetTimeOut(1);
    EXPECT_EQ(act(*slow, ftpLogon), "151: The server did not answer within 1 second.");
    for (int f : fillers)
        ::close(f);
    ::close(full);
}

TEST_F(FtpServerTest, IdleInterruptsAWaitWith301)
{
    auto ftp = makeClient(server->Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    // The server sends nothing back for NOOP-like silence: wait for a reply
    // to an unanswered read by listing a directory while interrupting at once.
    QTimer::singleShot(0, [&] { act(*ftp, ftpIdle); });
    std::string error = act(*ftp, ftpListDirectoryLong);
    EXPECT_EQ(error, "301: Interrupted.");
    // Whether the interrupt met a reply wait (the connection is then given
    // up) or the end of the data (it stays in step) depends on timing; the
    // next action works at once either way.
    EXPECT_EQ(act(*ftp, ftpListDirectoryLong), "");
}

// The same engine against a second real server, which announces sizes,
// reads the abort its own way, and logs every command it reads.
class VsftpdTest : public FtpTest {
protected:
    void SetUp() override
    {
        FtpTest::SetUp();
        VsRoot = Root + "/vsroot";
        std::filesystem::create_directories(VsRoot + "/pub");
        server = std::make_unique<ServerProcess>(
            ServerScript("vsftpd_server.py"),
            QStringList{"--root", QString::fromStdString(VsRoot), "--log", QString::fromStdString(Root + "/vsftpd.log")},
            Root + "/vsftpd.port");
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    void TearDown() override
    {
        server.reset();
        std::filesystem::permissions(VsRoot, std::filesystem::perms::owner_all);  // so the folder can go
        FtpTest::TearDown();
    }
    std::unique_ptr<TFTP> client() { return makeClient(server->Port(), "anonymous", "test@example.org"); }
    std::string VsRoot;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(VsftpdTest, DownloadsMeetTheAnnouncedSizeAndUploadsArriveWhole)
{
    const std::string data = RandomBytes(3 * 1024 * 1024 + 17, 7);
    test::WriteFileBytes(VsRoot + "/pub/r.bin", data);
    auto ftp = client();
    ftp->RemoteFile = "pub/r.bin";
    ftp->LocalFile = LocalDir + "/r.bin";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_TRUE(sameBytes(test::ReadFileBytes(LocalDir + "/r.bin"), data));
    EXPECT_TRUE(std::any_of(Trace.begin(), Trace.end(), [&](const std::string& t) {
        return t.rfind("< 150 ", 0) == 0 && t.find("(" + std::to_string(data.size()) + " bytes)") != std::string::npos;
    }));
    ftp->RemoteFile = "pub/up.bin";
    EXPECT_EQ(act(*ftp, ftpUpload), "");
    EXPECT_TRUE(sameBytes(test::ReadFileBytes(VsRoot + "/pub/up.bin"), data));
}

TEST_F(VsftpdTest, AbortIsReadAsACommandAndTheSessionGoesOn)
{
    test::WriteFileBytes(VsRoot + "/pub/big.bin", std::string(64 * 1024 * 1024, 'b'));
    auto ftp = client();
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    bool aborted = false;
    ftp->OnTransfer = [&](QObject*, int64_t count, const std::string&) {
        if (!aborted && count > 1024 * 1024) {
            aborted = true;
            act(*ftp, ftpAbort);
        }
    };
    ftp->RemoteFile = "pub/big.bin";
    ftp->LocalFile = LocalDir + "/big.bin";
    const auto start = std::chrono::steady_clock::now();
    const std::string error = act(*ftp, ftpDownload);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(aborted);
    EXPECT_EQ(error.rfind("141: 4", 0), 0u) << error;
    EXPECT_FALSE(FileExists(LocalDir + "/big.bin"));
    EXPECT_TRUE(std::filesystem::is_empty(LocalDir));
    ASSERT_EQ(act(*ftp, ftpListDirectoryLong), "");
    EXPECT_TRUE(ftp->Connected());
    // The server's own record: it read ABOR (after the Telnet bytes, which it
    // logs as "?") as a command and answered it.
    const std::string log = test::ReadFileBytes(Root + "/vsftpd.log");
    EXPECT_NE(log.find("ABOR\"\n"), std::string::npos) << log;
    EXPECT_TRUE(std::any_of(Trace.begin(), Trace.end(), [](const std::string& t) {
        return t.rfind("< 225 ", 0) == 0 || t.rfind("< 226 ", 0) == 0;
    }));
}

bool haveIPv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Over IPv6 the data connections use EPSV and EPRT; the bytes are the same.
TEST_F(BothModesTest, IPv6LoopbackInBothModes)
{
    if (!haveIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    FtpServer server(ServerRoot, "user", "password", "::1");
    ASSERT_NE(server.Port(), 0) << server.Output();
    roundTripInBothModes(server.Port(), "[::1]", "EPSV", "EPRT |2|::1|");
    auto ftp = makeClient(server.Port());
    ftp->SetRemoteHost("::1");
    EXPECT_EQ(ftp->RemoteHost(), "::1");
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_EQ(ftp->LocalHost(), "::1");
}

TEST(NetAddressTest, LiteralsAndTexts)
{
    const struct {
        const char* literal;
        const char* text;  // nullptr: no literal
        int family;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", AF_INET},
        {"::1", "::1", AF_INET6},
        {"[::1]", "::1", AF_INET6},
        {"[2001:DB8:0:0::1]", "2001:db8::1", AF_INET6},
        {"::ffff:10.0.0.5", "::ffff:10.0.0.5", AF_INET6},
        {"ftp.example.org", nullptr, 0},
        {"[::1", nullptr, 0},
        {"1.2.3", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const auto& c : cases) {
        const auto a = NetAddress::FromLiteral(c.literal);
        ASSERT_EQ(a.has_value(), c.text != nullptr) << c.literal;
        if (!a)
            continue;
        EXPECT_EQ(a->Text(), c.text) << c.literal;
        EXPECT_EQ(a->Family(), c.family) << c.literal;
    }
    // An IPv4 address and its mapped IPv6 form are one host; ports do not count.
    NetAddress v4 = NetAddress::FromIPv4(htonl(0x0A000005u), 21);
    EXPECT_TRUE(v4.SameHost(*NetAddress::FromLiteral("::ffff:10.0.0.5")));
    EXPECT_FALSE(v4.SameHost(*NetAddress::FromLiteral("10.0.0.6")));
    EXPECT_FALSE(v4.SameHost(NetAddress()));
    EXPECT_EQ(v4.Port(), 21);
    EXPECT_EQ(FormatEprtArgument(*NetAddress::FromLiteral("2001:db8::1"), 6446), "|2|2001:db8::1|6446|");
    EXPECT_EQ(FormatEprtArgument(v4, 6446), "|1|10.0.0.5|6446|");
}

TEST(PassiveReply, PortTable)
{
    const struct {
        const char* reply;
        std::optional<std::uint16_t> port;
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 Entering Extended Passive Mode (!!!6446!)", 6446},
        {"229 (|||0|)", std::nullopt},
        {"229 (|||70000|)", std::nullopt},
        {"229 (||6446|)", std::nullopt},
        {"229 no port here", std::nullopt},
        {"227 Entering Passive Mode (10,1,2,3,25,46).", 6446},
        {"227 Entering Passive Mode 10,1,2,3,25,46", 6446},
        {"227 =127,0,0,1,4,1", 1025},
        {"227 Entering Passive Mode (10,1,2,3,256,46).", std::nullopt},
        {"227 Entering Passive Mode (10,1,2,3,25).", std::nullopt},
        {"200 (|||6446|)", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PassivePort(c.reply), c.port) << c.reply;
}

TEST(PortArgument, FormatsAddressAndPort)
{
    EXPECT_EQ(FormatPortArgument(0x0A000005u, 4660), "10,0,0,5,18,52");
    EXPECT_EQ(FormatPortArgument(0xC0A80114u, 1050), "192,168,1,20,4,26");
}

} // namespace
} // namespace plover::test

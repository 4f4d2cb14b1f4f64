// TFTP against scripted servers: replies and timing that a real server
// does not produce.
#include "tests/net/ftp_fixture.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace plover::test {
namespace {

class ScriptedFtpTest : public FtpTest {
protected:
    ScriptedFtpTest() { Mode = dcActive; }
    // Starts a server that plays the JSON steps.
    uint16_t serve(const std::string& steps)
    {
        WriteFileBytes(Root + "/script.json", steps);
        server = std::make_unique<ServerProcess>(
            ServerScript("scripted_ftp.py"),
            QStringList{"--script", QString::fromStdString(Root + "/script.json"), "--transcript",
                        QString::fromStdString(Root + "/transcript")},
            Root + "/scripted.port");
        EXPECT_NE(server->Port(), 0) << server->Output();
        return server->Port();
    }
    // The command lines the server received, once it has finished.
    std::string transcript()
    {
        ftp.reset();  // closes the control connection, so the server ends
        if (server)
            server->WaitForExit(15000);
        return ReadFileBytes(Root + "/transcript");
    }
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<TFTP> ftp;
};

const char* const logonSteps = R"(
  {"reply": ["USER", "331 Password required\r\n"]},
  {"reply": ["PASS", "230 Logged in\r\n"]},
  {"reply": ["TYPE", "200 Type set\r\n"]})";

TEST_F(ScriptedFtpTest, GreetingContinuationForms)
{
    uint16_t port = serve(std::string(R"([
      {"send": "220-Welcome\r\n  more text\r\nWelcome back\r\n220-still\r\n220 Ready\r\n"},)") + logonSteps + "]");
    ftp = makeClient(port);
    EXPECT_EQ(act(*ftp, ftpLogon), "");
    std::vector<std::string> replies;
    for (const std::string& t : Trace)
        if (t.rfind("< ", 0) == 0)
            replies.push_back(t.substr(2));
    EXPECT_EQ(replies, (std::vector<std::string>{"220-Welcome", "  more text", "Welcome back", "220-still",
                                                 "220 Ready", "331 Password required", "230 Logged in",
                                                 "200 Type set"}));
    EXPECT_EQ(transcript(), "USER user\nPASS password\nTYPE I\n");
}

TEST_F(ScriptedFtpTest, UserAnsweredWith230StillSendsPass)
{
    uint16_t port = serve(R"([
      {"send": "220 Hi\r\n"},
      {"reply": ["USER", "230 No password needed\r\n"]},
      {"reply": ["PASS", "503 Already logged in\r\n"]}])");
    ftp = makeClient(port);
    EXPECT_EQ(act(*ftp, ftpLogon), "141: 503 Already logged in");
    EXPECT_EQ(transcript(), "USER user\nPASS password\n");
}

TEST_F(ScriptedFtpTest, PreliminaryReplyIsFollowedByASecondWait)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["MKD", "150 thinking\r\n"]},
      {"sleep": 0.2},
      {"send": "257 \"made\" created\r\n"}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "made";
    EXPECT_EQ(act(*ftp, ftpMakeDirectory), "");
}

TEST_F(ScriptedFtpTest, PwdReplyParsing)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PWD", "257 \"/pub/incoming\" is the current directory\r\n"]},
      {"reply": ["PWD", "257 /no/quotes here\r\n"]},
      {"reply": ["PWD", "257 is your directory\r\n"]},
      {"reply": ["PWD", "550 no\r\n"]}])");
    ftp = makeClient(port);
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_EQ(ftp->RemotePath(), "/pub/incoming");
    EXPECT_EQ(ftp->RemotePath(), "/no/quotes");  // without quotes, the first word when it is a path
    EXPECT_EQ(ftp->RemotePath(), "/no/quotes");  // no path in the reply: the stored one stands
    EXPECT_EQ(ftp->RemotePath(), "/no/quotes");  // a failed PWD keeps the old value
}

TEST(PwdReply, PathTable)
{
    const struct {
        const char* reply;
        std::optional<std::string> path;
    } cases[] = {
        {"257 \"/pub\" is current", "/pub"},
        {"257 \"/a \"\"quoted\"\" dir\"", "/a \"quoted\" dir"},
        {"257 \"/no end", std::nullopt},
        {"257 \"\"", ""},
        {"257 /plain", "/plain"},
        {"257 /plain words after", "/plain"},
        {"257 relative", std::nullopt},
        {"257", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathOfPwdReply(c.reply), c.path) << c.reply;
}

TEST(AnnouncedSize, Table)
{
    EXPECT_EQ(AnnouncedSize("150 Opening BINARY mode data connection for f (1234 bytes)."), 1234);
    EXPECT_EQ(AnnouncedSize("150 Opening data connection for (odd) name (0 bytes)"), 0);
    EXPECT_EQ(AnnouncedSize("150 File status okay. About to open data connection."), -1);
    EXPECT_EQ(AnnouncedSize("150 Opening (12x bytes)"), -1);
    EXPECT_EQ(AnnouncedSize("150 ( bytes)"), -1);
    EXPECT_EQ(AnnouncedSize("150 (99999999999999999999999 bytes)"), -1);
}

TEST_F(ScriptedFtpTest, ServerClosingWith421WhileAReplyIsAwaited)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"expect": "DELE"},
      {"send": "421 Service closing\r\n"},
      {"close": true}])");
    ftp = makeClient(port);
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "141: 421 Service closing");
}

TEST_F(ScriptedFtpTest, ServerClosingWithoutAReplyIsALostConnection)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"expect": "DELE"},
      {"close": true}])");
    ftp = makeClient(port);
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "148: Connection closed by the server.");
    EXPECT_FALSE(ftp->Connected());
}

TEST_F(ScriptedFtpTest, SilentServerIsInterruptedByTheUser)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"expect": "DELE"},
      {"wait_eof": 20}])");
    ftp = makeClient(port);
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    ftp->RemoteFile = "x";
    QTimer::singleShot(300, [&] { act(*ftp, ftpIdle); });
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "301: Interrupted.");
    // DELE's reply may still come and would pass for the next command's.
    EXPECT_FALSE(ftp->Connected());
}

TEST_F(ScriptedFtpTest, DataClosedAfterTheFinalReplyIsStillReadCompletely)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening\r\n"]},
      {"data_connect": true},
      {"data_send_zeros": 300000},
      {"send": "226 Transfer complete\r\n"},
      {"sleep": 0.3},
      {"data_send_zeros": 1000},
      {"data_close": true}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    // The action returned after the data connection's close: nothing is lost.
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f").size(), 301000u);
    EXPECT_EQ(Events.back(), "end");
    EXPECT_EQ(LastCount, 301000);
}

TEST_F(ScriptedFtpTest, DataClosedBeforeTheFinalReply)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["LIST", "150 Opening\r\n"]},
      {"data_connect": true},
      {"data_send": "first\nsecond\nlast without end"},
      {"data_close": true},
      {"sleep": 0.3},
      {"send": "226 Transfer complete\r\n"}])");
    ftp = makeClient(port);
    EXPECT_EQ(act(*ftp, ftpListDirectoryLong), "");
    EXPECT_EQ(DirLines, (std::vector<std::string>{"first", "second", "last without end"}));
    EXPECT_EQ(Events, (std::vector<std::string>{"start", "end"}));
}

TEST_F(ScriptedFtpTest, NegativeReplyWithoutDataConnectionClosesTheListener)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "425 Can't open data connection\r\n"]},
      {"reply": ["EPSV", "502 EPSV not implemented\r\n"]},
      {"reply": ["PASV", "502 PASV not implemented\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    // The first data connection of the session tries the other mode too.
    EXPECT_EQ(act(*ftp, ftpDownload), "141: 502 PASV not implemented");
    EXPECT_NE(std::find(Trace.begin(), Trace.end(),
                        "* The data connection failed in active mode (425 Can't open data connection); trying "
                        "passive mode."),
              Trace.end());
    EXPECT_FALSE(ftp->DataInterface().Listening());
    EXPECT_FALSE(FileExists(LocalDir + "/f"));
}

TEST_F(ScriptedFtpTest, PositiveReplyWithoutDataConnectionDoesNotWaitForever)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "226 Nothing to send\r\n"]},
      {"reply": ["EPSV", "502 EPSV not implemented\r\n"]},
      {"reply": ["PASV", "502 PASV not implemented\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    ftp->DataConnectTimeoutMs = 500;
    EXPECT_EQ(act(*ftp, ftpDownload), "141: 502 PASV not implemented");
    EXPECT_NE(std::find(Trace.begin(), Trace.end(),
                        "* The data connection failed in active mode (The server did not open the data "
                        "connection.); trying passive mode."),
              Trace.end());
    EXPECT_FALSE(ftp->DataInterface().Listening());
}

TEST_F(ScriptedFtpTest, LocalFileThatCannotBeCreatedFailsTheDownload)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening\r\n"]},
      {"data_connect": true},
      {"data_send_zeros": 5000},
      {"sleep": 0.2},
      {"send": "226 Transfer complete\r\n"},
      {"data_close": true}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/no such folder/f";
    std::string error = act(*ftp, ftpDownload);
    EXPECT_EQ(error, "2: Error opening local file.");
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors.front(), "2: Error opening local file.");
}

// What a server sends over a slow link or a byte at a time: every command
// still reads its own reply, from the greeting to a download.
TEST_F(ScriptedFtpTest, RepliesWrittenOneByteAtATimeCarryAWholeSession)
{
    uint16_t port = serve(std::string(R"([{"bytewise": 0.002},
      {"send": "220-Welcome to a slow\r\n220 server\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening BINARY mode data connection for f (5000 bytes).\r\n"]},
      {"data_connect": true},
      {"data_send_pattern": 5000},
      {"data_close": true},
      {"send": "226 Transfer complete.\r\n"},
      {"reply": ["CWD", "250 Directory changed\r\n"]}])");
    ftp = makeClient(port);
    // The data port is offered on the control connection's address only.
    std::string listenAddress;
    ftp->OnFirePITrail = [&](QObject*, TPIDirections dir, const std::string& text) {
        Trace.push_back((dir == pidCommand ? "> " : dir == pidReply ? "< " : "* ") + text);
        if (text.rfind("PORT ", 0) == 0) {
            sockaddr_in a{};
            socklen_t len = sizeof a;
            ::getsockname(ftp->DataInterface().ListenSocket(), reinterpret_cast<sockaddr*>(&a), &len);
            listenAddress = inet_ntoa(a.sin_addr);
        }
    };
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_NO_THROW(ftp->SetRemotePath("sub"));
    std::string pattern(5000, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i % 251);
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), pattern);
    EXPECT_EQ(listenAddress, "127.0.0.1");
    const std::vector<std::string> sent = commandsSent();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[3].rfind("PORT 127,0,0,1,", 0), 0u) << sent[3];
    EXPECT_EQ(sent[4], "RETR f");
    EXPECT_EQ(sent[5], "CWD sub");
}

TEST_F(ScriptedFtpTest, CRAndLFInSeparateWritesEndOneLine)
{
    uint16_t port = serve(R"([
      {"send_parts": ["220 Hi\r", "\n"]},
      {"reply": ["USER", "331 Password required\r"]}, {"send_parts": ["\n"]},
      {"reply": ["PASS", "230 Logged in\r\n"]},
      {"reply": ["TYPE", "200 Type set\r"]}, {"send_parts": ["\n"]},
      {"reply": ["DELE", "250 Deleted\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "");
    std::vector<std::string> replies;
    for (const std::string& t : Trace)
        if (t.rfind("< ", 0) == 0)
            replies.push_back(t.substr(2));
    EXPECT_EQ(replies, (std::vector<std::string>{"220 Hi", "331 Password required", "230 Logged in",
                                                 "200 Type set", "250 Deleted"}));
}

TEST_F(ScriptedFtpTest, AReplyAnsweredTwiceIsNeverTakenForTheNextCommand)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["DELE", "250 Deleted\r\n250 Deleted again\r\n"]},
      {"reply": ["RMD", "550 No such directory\r\n"]},
      {"reply": ["MKD", "257 \"d\" created\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "");
    ftp->RemoteFile = "d";
    EXPECT_EQ(act(*ftp, ftpRemoveDirectory), "141: 550 No such directory");
    EXPECT_EQ(act(*ftp, ftpMakeDirectory), "");
    EXPECT_NE(std::find(Trace.begin(), Trace.end(), "* Ignored a reply no command was waiting for: 250 Deleted again"),
              Trace.end());
}

TEST_F(ScriptedFtpTest, LongReplyLinesStayOneReply)
{
    const std::string long3000 = "250 " + std::string(2996, 'w');
    const std::string long10000 = "550 " + std::string(9996, 'v');
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["CWD", ")" + long3000 + R"(\r\n"]},
      {"reply": ["DELE", ")" + long10000 + R"(\r\n"]},
      {"reply": ["MKD", "257 \"d\" created\r\n"]}])");
    ftp = makeClient(port);
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    EXPECT_NO_THROW(ftp->SetRemotePath("pub"));
    EXPECT_EQ(ftp->ReplyLine(), long3000);
    ftp->RemoteFile = "x";
    // Cut at the limit, but one reply: the next command is still in step.
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "141: " + long10000.substr(0, CIPPortMsg::ReplyLineLimit));
    ftp->RemoteFile = "d";
    EXPECT_EQ(act(*ftp, ftpMakeDirectory), "");
}

TEST_F(ScriptedFtpTest, AListingLineOver64KiBAddsNoRow)
{
    const std::string a = "-rw-r--r-- 1 o g 1 Jan 01 00:00 a";
    const std::string b = "-rw-r--r-- 1 o g 2 Jan 01 00:00 b";
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["LIST", "150 Here it comes\r\n"]},
      {"data_connect": true},
      {"data_send": ")" + a + R"(\r\n-rw-r--r-- 1 o g 3 Jan 01 00:00 )" + std::string(70000, 'x') + R"(\r\n)" + b
                          + R"(\r\n"},
      {"data_close": true},
      {"send": "226 Done\r\n"}])");
    ftp = makeClient(port);
    // Reading the path while the listing runs sends nothing.
    std::vector<std::string> pathsRead;
    ftp->OnDirList = [&](QObject*, const std::string& line) {
        DirLines.push_back(line);
        pathsRead.push_back(ftp->RemotePath());
    };
    EXPECT_EQ(act(*ftp, ftpListDirectoryLong), "");
    EXPECT_EQ(DirLines, (std::vector<std::string>{a, b}));
    EXPECT_EQ(pathsRead, (std::vector<std::string>{"", ""}));
    EXPECT_NE(std::find(Trace.begin(), Trace.end(), "* A listing line longer than 65536 bytes was left out."),
              Trace.end());
    EXPECT_EQ(transcript().find("PWD"), std::string::npos);
}

TEST_F(ScriptedFtpTest, AReplyThatIsNotFtpFailsAndClosesTheConnection)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["DELE", "2\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "149: The server sent a reply that is not FTP: \"2\".");
    EXPECT_FALSE(ftp->Connected());
}

TEST_F(ScriptedFtpTest, ACloseInMidLineIsALostConnectionAndTheNextActionLogsOnAgain)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"expect": "DELE"},
      {"send": "226 Transfer comp"},
      {"close": true},
      {"accept": true},
      {"send": "220 Again\r\n"},)" + logonSteps + R"(,
      {"reply": ["MKD", "257 \"d\" created\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "x";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "148: Connection closed by the server.");
    EXPECT_NE(std::find(Trace.begin(), Trace.end(), "* The connection closed in the middle of a line: 226 Transfer comp"),
              Trace.end());
    ftp->RemoteFile = "d";
    EXPECT_EQ(act(*ftp, ftpMakeDirectory), "");
    EXPECT_EQ(transcript(), "USER user\nPASS password\nTYPE I\nDELE x\nUSER user\nPASS password\nTYPE I\nMKD d\n");
}

TEST_F(ScriptedFtpTest, ASilentServerTimesOutAfterPortAndAfterACommand)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"expect": "PORT"},
      {"wait_eof": 10},
      {"accept": true},
      {"send": "220 Again\r\n"},)" + logonSteps + R"(,
      {"expect": "DELE"},
      {"wait_eof": 10}])");
    ftp = makeClient(port);
    ftp->SetTimeOut(2);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(act(*ftp, ftpDownload), "151: The server did not answer within 2 seconds.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_FALSE(ftp->Connected());  // its state is unknown
    EXPECT_FALSE(ftp->DataInterface().Busy());
    ftp->RemoteFile = "x";
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "151: The server did not answer within 2 seconds.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_FALSE(ftp->Connected());
    EXPECT_FALSE(FileExists(LocalDir + "/f"));
}

// A download that ends short is no download, whatever the final reply says.
TEST_F(ScriptedFtpTest, ALying226AfterHalfTheAnnouncedBytesLeavesNoFile)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening BINARY mode data connection for f (1000000 bytes).\r\n"]},
      {"data_connect": true},
      {"data_send_zeros": 500000},
      {"data_close": true},
      {"send": "226 Transfer complete.\r\n"},
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening data connection\r\n"]},
      {"data_connect": true},
      {"data_send_zeros": 700},
      {"data_close": true},
      {"send": "226 Transfer complete.\r\n"}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "150: Received 500000 of 1000000 bytes.");
    // Without an announced size, the one the owner expects (the listing's).
    ftp->ExpectedSize = 1000;
    EXPECT_EQ(act(*ftp, ftpDownload), "150: Received 700 of 1000 bytes.");
    EXPECT_EQ(ftp->ExpectedSize, -1);
    EXPECT_TRUE(std::filesystem::is_empty(LocalDir));
}

TEST_F(ScriptedFtpTest, AFailedDownloadLeavesTheOlderCopyAsItWas)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "150 Opening data connection\r\n"]},
      {"data_connect": true},
      {"data_send_zeros": 500000},
      {"data_close": true},
      {"send": "426 Connection closed; transfer aborted.\r\n"}])");
    const std::string good = "the copy the user already had\n";
    WriteFileBytes(LocalDir + "/f", good);
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "141: 426 Connection closed; transfer aborted.");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), good);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(LocalDir), {}), 1);
}

TEST_F(ScriptedFtpTest, AnArgumentByte0xFFIsDoubled)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["DELE", "250 Deleted\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "caf\xFF";
    EXPECT_EQ(act(*ftp, ftpDeleteFile), "");
    // The server writes its transcript in UTF-8: U+00FF is C3 BF.
    EXPECT_EQ(transcript(), "USER user\nPASS password\nTYPE I\nDELE caf\xC3\xBF\xC3\xBF\n");
}

// Each LF goes out as CR LF, a CR LF as it is: 7 bytes of file, 9 on the wire.
TEST_F(ScriptedFtpTest, AsciiUploadsSendCRLF)
{
    uint16_t port = serve(R"([{"send": "220 Hi\r\n"},
      {"reply": ["USER", "331 Password required\r\n"]},
      {"reply": ["PASS", "230 Logged in\r\n"]},
      {"reply": ["TYPE", "200 Type set to A\r\n"]},
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["STOR", "150 Send it\r\n"]},
      {"data_connect": true},
      {"data_recv": true},
      {"send": "226 Stored\r\n"}])");
    WriteFileBytes(LocalDir + "/t.txt", "a\nb\r\nc\n");
    ftp = makeClient(port);
    ftp->SetTransferMode(tmASCII);
    ftp->RemoteFile = "t.txt";
    ftp->LocalFile = LocalDir + "/t.txt";
    EXPECT_EQ(act(*ftp, ftpUpload), "");
    EXPECT_EQ(LastCount, 7);  // progress counts the file's bytes
    const std::string t = transcript();
    EXPECT_NE(t.find("STOR t.txt\nDATA 9\n"), std::string::npos) << t;
}

// Passive mode: the client opens the data connection, to the control
// connection's peer whatever address a 227 names.
const char* const retrF = R"(
      {"reply": ["RETR", "150 Opening BINARY mode data connection for f (3000 bytes).\r\n"]},
      {"data_send_pattern": 3000},
      {"data_close": true},
      {"send": "226 Transfer complete.\r\n"})";

std::string patternBytes(std::size_t n)
{
    std::string p(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<char>(i % 251);
    return p;
}

TEST_F(ScriptedFtpTest, PassiveModeWithEpsvAndPasvFallback)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"epsv": true}, {"data_accept": true},)" + retrF + R"(,
      {"reply": ["EPSV", "500 EPSV not understood\r\n"]},
      {"pasv": "10,1,2,3"}, {"data_accept": true},)" + retrF + "]");
    Mode = dcDefault;
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), patternBytes(3000));
    EXPECT_EQ(ftp->WorkingDataMode(), dcPassive);
    // The 227 names 10.1.2.3; the data connection still goes to the server.
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), patternBytes(3000));
    EXPECT_NE(std::find(Trace.begin(), Trace.end(), "* Data connections work in passive mode."), Trace.end());
    EXPECT_EQ(transcript(), "USER user\nPASS password\nTYPE I\nEPSV\nRETR f\nEPSV\nPASV\nRETR f\n");
}

TEST_F(ScriptedFtpTest, PassiveRefusedFallsBackToActiveAndTheSessionKeepsIt)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["EPSV", "502 EPSV not implemented\r\n"]},
      {"reply": ["PASV", "502 PASV not implemented\r\n"]},
      {"reply": ["PORT", "200 PORT ok\r\n"]}, {"data_connect": true},)" + retrF + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]}, {"data_connect": true},)" + retrF + "]");
    Mode = dcDefault;
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ftp->WorkingDataMode(), dcActive);
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), patternBytes(3000));
    const std::string t = transcript();
    EXPECT_EQ(t.substr(0, t.find("PORT")), "USER user\nPASS password\nTYPE I\nEPSV\nPASV\n");
    // One EPSV: the second download went active at once.
    EXPECT_EQ(t.find("EPSV"), t.rfind("EPSV"));
}

TEST_F(ScriptedFtpTest, APassivePortNobodyListensOnFallsBackToActive)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"epsv_closed": true},
      {"reply": ["PORT", "200 PORT ok\r\n"]}, {"data_connect": true},)" + retrF + "]");
    Mode = dcDefault;
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), patternBytes(3000));
    EXPECT_EQ(ftp->WorkingDataMode(), dcActive);
}

TEST_F(ScriptedFtpTest, ActiveRefusedFallsBackToPassive)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "500 PORT not allowed\r\n"]},
      {"epsv": true}, {"data_accept": true},)" + retrF + R"(,
      {"epsv": true}, {"data_accept": true},)" + retrF + "]");
    ftp = makeClient(port);  // active
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ftp->WorkingDataMode(), dcPassive);
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(transcript().find("PORT", 40), std::string::npos);  // PORT once, at the start
}

// Behind NAT the server's connection back never arrives: after the
// time-out the session logs on again and goes passive.
TEST_F(ScriptedFtpTest, AServerThatNeverConnectsBackMakesActiveFallBackToPassive)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"expect": "RETR"},
      {"wait_eof": 10},
      {"accept": true},
      {"send": "220 Again\r\n"},)" + logonSteps + R"(,
      {"epsv": true}, {"data_accept": true},)" + retrF + "]");
    ftp = makeClient(port);  // active
    ftp->SetTimeOut(2);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(ReadFileBytes(LocalDir + "/f"), patternBytes(3000));
    EXPECT_EQ(ftp->WorkingDataMode(), dcPassive);
}

TEST_F(FtpTest, RefusedConnectionFiresOnError142AndFailsTheLogon)
{
    // A port nobody listens on: bind one, then let it go.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);

    auto ftp = makeClient(ntohs(addr.sin_port));
    EXPECT_EQ(act(*ftp, ftpLogon), "10061: Connection refused.");
    EXPECT_EQ(Errors, (std::vector<std::string>{"142: Failed to connect: [10061] Connection refused."}));
    EXPECT_FALSE(ftp->Connected());
}

} // namespace
} // namespace plover::test

// TFTP against scripted servers: replies and timing that a real server
// does not produce.
#include "tests/net/ftp_fixture.h"

#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace plover::test {
namespace {

class ScriptedFtpTest : public FtpTest {
protected:
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
      {"reply": ["RETR", "425 Can't open data connection\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    EXPECT_EQ(act(*ftp, ftpDownload), "141: 425 Can't open data connection");
    EXPECT_FALSE(ftp->DataInterface().Listening());
    EXPECT_FALSE(FileExists(LocalDir + "/f"));
}

TEST_F(ScriptedFtpTest, PositiveReplyWithoutDataConnectionDoesNotWaitForever)
{
    uint16_t port = serve(std::string(R"([{"send": "220 Hi\r\n"},)") + logonSteps + R"(,
      {"reply": ["PORT", "200 PORT ok\r\n"]},
      {"reply": ["RETR", "226 Nothing to send\r\n"]}])");
    ftp = makeClient(port);
    ftp->RemoteFile = "f";
    ftp->LocalFile = LocalDir + "/f";
    ftp->DataConnectTimeoutMs = 500;
    std::string error = act(*ftp, ftpDownload);
    EXPECT_EQ(error.rfind("146: ", 0), 0u) << error;
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

// TSMTP2 against a real SMTP server (aiosmtpd on 127.0.0.1) and against
// sockets that misbehave on purpose.
#include "mail/smtp2.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace plover::test {
namespace {

// Text travels with CR LF line ends (the canonical form); compared as text.
std::string unixLines(std::string s)
{
    for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;)
        s.erase(at, 1);
    return s;
}

bool contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

// A listening socket on 127.0.0.1 for servers that misbehave; port() is
// its port. Nothing is accepted unless a test does it.
class RawListener {
public:
    RawListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~RawListener() { ::close(m_fd); }
    int fd() const { return m_fd; }
    std::uint16_t port() const { return m_port; }

private:
    int m_fd;
    std::uint16_t m_port;
};

class SmtpTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        OutDir = Root + "/mail";
        std::filesystem::create_directories(OutDir);
        Files = Root + "/files";
        std::filesystem::create_directories(Files);
    }
    void startServer()
    {
        server = std::make_unique<ServerProcess>(ServerScript("smtpserver.py"),
                                                 QStringList{"--outdir", QString::fromStdString(OutDir)},
                                                 Root + "/smtp.port");
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    std::unique_ptr<TSMTP2> client(const std::string& server)
    {
        auto c = std::make_unique<TSMTP2>();
        c->Server = server;
        c->TimeOut = 10;
        c->From = "anna@example.org|Anna Sender";
        c->Recipient = "bob@example.net|Bob";
        c->Subject = "Hello";
        c->Body = {"Hi Bob,", "the files.", "Anna"};
        c->OnInformation = [this](const std::string& text) { Information.push_back(text); };
        return c;
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(server->Port()); }
    // Connect, greet, send, close; the exception text or "".
    std::string sendOne(TSMTP2& c)
    {
        try {
            c.Connect();
            c.OpenSession();
            c.SendMessage();
            c.CloseSession();
        } catch (const std::exception& e) {
            c.Disconnect();
            return e.what();
        }
        c.Disconnect();
        return std::string();
    }
    // What the server made of message n.
    QJsonObject message(int n)
    {
        const std::string path = OutDir + "/msg-" + std::to_string(n) + ".json";
        if (!FileExists(path))
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(path))).object();
    }
    std::string header(const QJsonObject& m, const char* name)
    {
        const QJsonArray values = m["headers"].toObject()[name].toArray();
        return values.isEmpty() ? std::string() : values[0].toString().toStdString();
    }
    std::string attachment(int message, int k)
    {
        return ReadFileBytes(OutDir + "/msg-" + std::to_string(message) + "-att-" + std::to_string(k) + ".bin");
    }

    std::string OutDir, Files;
    std::unique_ptr<ServerProcess> server;
    std::vector<std::string> Information;
};

TEST_F(SmtpTest, AMessageWithABinaryAndATextAttachmentArrivesWhole)
{
    startServer();
    const std::string binary = RandomBytes(100003, 1);
    const std::string text = "line one\nline two\n\nline four ends in a space \nlast\n";
    WriteFileBytes(Files + "/data.bin", binary);
    WriteFileBytes(Files + "/notes.txt", text);
    auto c = client("127.0.0.1");
    // No port in the field: "smtp2" is no known service, so DefaultPort.
    c->DefaultPort = server->Port();
    // The text first: a part that follows must not add a line to it.
    c->Attachments = {Files + "/notes.txt", Files + "/data.bin", Files + "/notes.txt"};
    EXPECT_EQ(sendOne(*c), "");
    EXPECT_EQ(c->Port(), server->Port());
    EXPECT_FALSE(c->ReplyError);
    EXPECT_TRUE(c->MessageFailures().empty());
    EXPECT_EQ(Information, std::vector<std::string>{"All Done."});
    const QJsonObject m = message(1);
    ASSERT_FALSE(m.isEmpty());
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
    EXPECT_EQ(m["mail_from"].toString().toStdString(), "anna@example.org");
    EXPECT_EQ(header(m, "Subject"), "Hello");
    EXPECT_EQ(header(m, "From"), "Anna Sender <anna@example.org>");
    EXPECT_EQ(m["text"].toString().toStdString().rfind("Hi Bob,", 0), 0u);
    const QJsonArray atts = m["attachments"].toArray();
    ASSERT_EQ(atts.size(), 3);
    EXPECT_EQ(atts[0].toObject()["type"].toString().toStdString(), "text/plain");
    EXPECT_EQ(atts[1].toObject()["name"].toString().toStdString(), "data.bin");
    EXPECT_EQ(unixLines(attachment(1, 1)), text);
    EXPECT_EQ(attachment(1, 2), binary);
    EXPECT_EQ(unixLines(attachment(1, 3)), text);
    // The greeting names the sender's domain; a plain ASCII header keeps
    // its padded labels.
    EXPECT_TRUE(contains(c->Transcript, "HELO example.org"));
    for (const std::string& line : {std::string("MAIL FROM:<anna@example.org>"), std::string("RCPT TO:<bob@example.net>"),
                                    std::string("From:     Anna Sender<anna@example.org>"),
                                    std::string("To:       Bob<bob@example.net>"), std::string("Subject:  Hello"),
                                    std::string("Mime-Version: 1.0"),
                                    "Content-Type: multipart/mixed; boundary=\"" + c->Boundary() + "\"",
                                    std::string("X-Encoding: MIME"), "--" + c->Boundary()})
        EXPECT_TRUE(contains(c->Transcript, line)) << line;
    // Today's servers want a date and an identifier.
    EXPECT_TRUE(QDateTime::fromString(QString::fromStdString(header(m, "Date")), Qt::RFC2822Date).isValid())
        << header(m, "Date");
    EXPECT_TRUE(QRegularExpression("^<\\d+\\.[0-9a-f]{16}@example\\.org>$")
                    .match(QString::fromStdString(header(m, "Message-ID")))
                    .hasMatch())
        << header(m, "Message-ID");
}

TEST_F(SmtpTest, UuencodedAttachmentsArriveWhole)
{
    startServer();
    const std::string binary = RandomBytes(45 * 20 + 7, 2);
    WriteFileBytes(Files + "/DATA.BIN", binary);
    auto c = client(address());
    c->SetEncoding(etUU);
    c->Attachments = {Files + "/DATA.BIN"};
    EXPECT_EQ(sendOne(*c), "");
    const QJsonObject m = message(1);
    ASSERT_FALSE(m.isEmpty());
    EXPECT_EQ(header(m, "X-Encoding"), "UUENCODE");
    const QJsonArray atts = m["attachments"].toArray();
    ASSERT_EQ(atts.size(), 1);
    EXPECT_EQ(atts[0].toObject()["name"].toString().toStdString(), "data.bin");
    EXPECT_EQ(attachment(1, 1), binary);
}

TEST_F(SmtpTest, CopiesAndBlindCopiesGoToEveryoneButBlindOnesStayOutOfTheHeader)
{
    startServer();
    auto c = client(address());
    c->CC = {"carol@example.net|Carol", "dave@example.net|Doe, Dave"};
    c->BCC = {"eve@example.net|Eve"};
    EXPECT_EQ(sendOne(*c), "");
    const QJsonObject m = message(1);
    ASSERT_FALSE(m.isEmpty());
    QStringList rcpts;
    for (const auto& r : m["rcpt_tos"].toArray())
        rcpts << r.toString();
    EXPECT_EQ(rcpts, (QStringList{"bob@example.net", "carol@example.net", "dave@example.net", "eve@example.net"}));
    const std::string cc = header(m, "CC");
    EXPECT_NE(cc.find("carol@example.net"), std::string::npos) << cc;
    EXPECT_NE(cc.find("\"Doe, Dave\" <dave@example.net>"), std::string::npos) << cc;
    EXPECT_EQ(ReadFileBytes(OutDir + "/msg-1.eml").find("eve@"), std::string::npos);
}

TEST_F(SmtpTest, DotLinesAndUtf8ArriveIntact)
{
    startServer();
    auto c = client(address());
    c->Subject = "Grüße aus Köln, ein längerer Betreff mit Umlauten: äöü ÄÖÜ ß";
    c->From = "anna@example.org|Änna";
    c->Body = {"first", ".", "..two", "Grüße", "", "last"};
    EXPECT_EQ(sendOne(*c), "");
    const QJsonObject m = message(1);
    ASSERT_FALSE(m.isEmpty());
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
    EXPECT_EQ(header(m, "Subject"), c->Subject);
    EXPECT_EQ(header(m, "From"), "Änna <anna@example.org>");
    EXPECT_EQ(unixLines(m["text"].toString().toStdString()), "first\n.\n..two\nGrüße\n\nlast\n");
}

TEST_F(SmtpTest, ARefusedRecipientIsReportedWithTheServersText)
{
    startServer();
    auto c = client(address());
    c->Recipient = "refuse-me@example.net";
    c->CC = {"carol@example.net"};
    EXPECT_EQ(sendOne(*c), "");
    EXPECT_TRUE(c->ReplyError);
    ASSERT_EQ(c->MessageFailures().size(), 1u);
    EXPECT_EQ(c->MessageFailures()[0].Step, "RCPT TO <refuse-me@example.net>");
    ASSERT_FALSE(c->MessageFailures()[0].Reply.empty());
    EXPECT_EQ(c->MessageFailures()[0].Reply.back().rfind("550", 0), 0u);
    EXPECT_TRUE(Information.empty());  // no "All Done." after a refusal
    // The others still got it.
    EXPECT_FALSE(message(1).isEmpty());
}

// Without 354 the server reads on as commands: no header or body line may go.
TEST_F(SmtpTest, DataRefusedSendsNoHeaderOrBodyAndTheSessionGoesOn)
{
    startServer();
    auto c = client(address());
    c->Recipient = "refuse-all@example.net";
    c->Body = {"RCPT TO:<injected@example.net>", "body"};
    c->Connect();
    c->OpenSession();
    c->SendMessage();
    ASSERT_EQ(c->MessageFailures().size(), 2u);
    EXPECT_EQ(c->MessageFailures()[1].Step, "DATA");
    const auto data = std::find(c->Transcript.begin(), c->Transcript.end(), "DATA");
    ASSERT_NE(data, c->Transcript.end());
    EXPECT_TRUE(std::find(data, c->Transcript.end(), "RSET") != c->Transcript.end());
    for (auto i = data; i != c->Transcript.end(); ++i)
        EXPECT_EQ(i->find("From:"), std::string::npos) << *i;
    // The same connection takes the next message.
    c->Recipient = "bob@example.net";
    c->SendMessage();
    EXPECT_TRUE(c->MessageFailures().empty());
    c->CloseSession();
    c->Disconnect();
    // One message reached the server, and only to Bob: the body line that
    // looks like a command never went out as one.
    const QJsonObject m = message(1);
    ASSERT_FALSE(m.isEmpty());
    EXPECT_EQ(m["rcpt_tos"].toArray(), QJsonArray{"bob@example.net"});
    EXPECT_TRUE(message(2).isEmpty());
}

TEST_F(SmtpTest, HeaderValuesWithLineBreaksAreRefusedBeforeAnythingIsSent)
{
    startServer();
    auto c = client(address());
    c->Connect();
    c->OpenSession();
    const std::size_t before = c->Transcript.size();
    c->Subject = "hi\r\nBcc: everyone@example.net";
    EXPECT_THROW(c->SendMessage(), EMailError);
    c->Subject = "fine";
    c->CC = {"x@example.net|Name\nInjected: yes"};
    EXPECT_THROW(c->SendMessage(), EMailError);
    EXPECT_EQ(c->Transcript.size(), before);
    c->Disconnect();
}

TEST_F(SmtpTest, ARefusedConnectionFailsAtOnce)
{
    std::uint16_t port;
    {
        RawListener gone;
        port = gone.port();
    }
    auto c = client("127.0.0.1:" + std::to_string(port));
    c->TimeOut = 30;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendOne(*c), "Connection refused.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(SmtpTest, ASilentServerTimesOut)
{
    RawListener silent;  // the connection is made by the backlog; nothing is said
    auto c = client("127.0.0.1:" + std::to_string(silent.port()));
    c->TimeOut = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendOne(*c), "Operation timed out");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));
}

// A greeting split between writes (CR and LF apart), a bare "250" as the
// whole reply to HELO, then a close while MAIL FROM waits for its reply.
TEST_F(SmtpTest, SplitRepliesAreReadWholeAndACloseEndsTheWaitAtOnce)
{
    RawListener listener;
    std::thread peer([&] {
        pollfd p{listener.fd(), POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return;
        const int conn = ::accept(listener.fd(), nullptr, nullptr);
        auto readLine = [conn] {
            char c;
            pollfd q{conn, POLLIN, 0};
            for (int i = 0; i < 1000 && ::poll(&q, 1, 10000) == 1 && ::recv(conn, &c, 1, 0) == 1;)
                if (c == '\n')
                    return true;
                else
                    ++i;
            return false;
        };
        for (const char* piece : {"220-hel", "lo\r", "\n220 ready\r", "\n"})
            ::send(conn, piece, std::strlen(piece), MSG_NOSIGNAL);
        if (readLine())  // HELO
            ::send(conn, "250\r\n", 5, MSG_NOSIGNAL);
        (void)readLine();  // MAIL FROM
        ::close(conn);
    });
    auto c = client("127.0.0.1:" + std::to_string(listener.port()));
    c->TimeOut = 30;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendOne(*c), "The server closed the connection.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    peer.join();
    const std::vector<std::string> expected{"220-hello", "220 ready", "HELO example.org", "250",
                                            "MAIL FROM:<anna@example.org>"};
    ASSERT_GE(c->Transcript.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(c->Transcript.begin(), c->Transcript.begin() + 5), expected);
}

TEST_F(SmtpTest, CancelDuringEncodingStopsTheMessage)
{
    startServer();
    WriteFileBytes(Files + "/big.bin", RandomBytes(8 * 1024 * 1024, 3));
    auto c = client(address());
    c->Attachments = {Files + "/big.bin"};
    c->OnProgress = [&](TSMTP2* s) {
        if (s->State() == TSMTP2::stEncoding && s->Progress() >= 20)
            s->Cancel();
    };
    EXPECT_EQ(sendOne(*c), "Operation has been canceled");
    EXPECT_EQ(c->State(), TSMTP2::stCancelled);
    EXPECT_TRUE(message(1).isEmpty());
}

TEST(MailBase, AddressesAndErrorTexts)
{
    EXPECT_EQ(SplitAddress("a@b|Anna B"), (std::pair<std::string, std::string>{"a@b", "Anna B"}));
    EXPECT_EQ(SplitAddress("a@b"), (std::pair<std::string, std::string>{"a@b", ""}));
    EXPECT_EQ(SplitAddress("a@b|x|y"), (std::pair<std::string, std::string>{"a@b", "x|y"}));
    EXPECT_EQ(TMailBase::ErrorText(10061), "Connection refused.");
    EXPECT_EQ(TMailBase::ErrorText(12345), "Winsock Error No. 12345");
    EXPECT_EQ(TMailBase::ErrorText(0), "");
}

} // namespace
} // namespace plover::test

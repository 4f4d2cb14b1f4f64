#include "tests/net/ftp_fixture.h"

#include "platform/exception.h"
#include "platform/messages.h"

#include <filesystem>

namespace plover::test {

void FtpTest::SetUp()
{
    TempHomeTest::SetUp();
    ServerRoot = Root + "/serve";
    LocalDir = Root + "/local";
    std::filesystem::create_directories(ServerRoot);
    std::filesystem::create_directories(LocalDir);
}

void FtpTest::TearDown()
{
    // Interrupt messages a test left queued must not end the next test's waits.
    DrainMessages();
    TempHomeTest::TearDown();
}

std::unique_ptr<TFTP> FtpTest::makeClient(uint16_t port, const std::string& user, const std::string& password)
{
    auto ftp = std::make_unique<TFTP>();
    ftp->SetWinsockLoaded(true);
    ftp->SetRemoteHost("127.0.0.1");
    ftp->SetRemotePort(port);
    ftp->User = user;
    ftp->Password = password;
    ftp->SetTransferMode(tmBinary);  // as a session does: files travel byte for byte
    ftp->SetDataConnectionMode(Mode);
    ftp->OnFirePITrail = [this](QObject*, TPIDirections dir, const std::string& text) {
        const char* mark = dir == pidCommand ? "> " : dir == pidReply ? "< " : "* ";
        Trace.push_back(mark + text);
        if (getenv("FTP_TRACE")) fprintf(stderr, "%s%s\n", mark, text.c_str());
    };
    ftp->OnDirList = [this](QObject*, const std::string& line) { DirLines.push_back(line); };
    ftp->OnError = [this](TCorvidBase*, int code, const std::string& text) {
        Errors.push_back(std::to_string(code) + ": " + text);
    };
    ftp->OnStartTransfer = [this](QObject*) { Events.push_back("start"); if (getenv("FTP_TRACE")) fprintf(stderr, "start\n"); };
    ftp->OnEndTransfer = [this](QObject*) { Events.push_back("end"); if (getenv("FTP_TRACE")) fprintf(stderr, "end\n"); };
    ftp->OnTransfer = [this](QObject*, int64_t count, const std::string& text) {
        LastCount = count;
        Text += text;
    };
    return ftp;
}

std::string FtpTest::act(TFTP& ftp, int action)
{
    try {
        ftp.SetAction(action);
    } catch (const Exception& e) {
        return e.Message();
    }
    return std::string();
}

std::vector<std::string> FtpTest::commandsSent() const
{
    std::vector<std::string> out;
    for (const std::string& t : Trace)
        if (t.rfind("> ", 0) == 0)
            out.push_back(t.substr(2));
    return out;
}

} // namespace plover::test

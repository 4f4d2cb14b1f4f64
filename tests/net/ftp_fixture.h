// Shared set-up of the FTP tests: a temporary home, a server root, and a
// TFTP component whose trace and events are recorded.
#pragma once

#include "net/ftp.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <memory>
#include <string>
#include <vector>

namespace plover::test {

class FtpTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A component aimed at 127.0.0.1:port with the library loaded, binary mode.
    std::unique_ptr<TFTP> makeClient(uint16_t port, const std::string& user = "user",
                                     const std::string& password = "password");
    // Writes an Action and returns "" or the EFTP message it raised.
    std::string act(TFTP& ftp, int action);

    // The data-connection mode makeClient sets (scripted servers play
    // active mode unless a test says otherwise).
    TDataConnectionModes Mode = dcDefault;

    std::string ServerRoot;  // served by the pyftpdlib server
    std::string LocalDir;    // the client's files

    // What the component reported.
    std::vector<std::string> Trace;     // "> command", "< reply", "* info"
    std::vector<std::string> DirLines;
    std::vector<std::string> Errors;    // "code: description" from OnError
    std::vector<std::string> Events;    // "start", "end", "transfer N"
    std::string Text;                   // OnTransfer texts of a download to text
    int64_t LastCount = 0;

    std::vector<std::string> commandsSent() const;  // the "> ..." lines without the marker
};

} // namespace plover::test

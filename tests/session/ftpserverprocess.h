// Runs tests/servers/ftpserver.py (pyftpdlib) on 127.0.0.1 for one test, and
// a minimal raw FTP exchange that fetches a LIST for parser fixtures.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace plover::test {

class FtpServerProcess final {
public:
    FtpServerProcess() = default;
    FtpServerProcess(const FtpServerProcess&) = delete;
    FtpServerProcess& operator=(const FtpServerProcess&) = delete;
    ~FtpServerProcess() { Stop(); }

    // Serves root as user "user" / "password"; workDir receives the port
    // file. Returns an error text, empty when the server listens.
    std::string Start(const std::string& root, const std::string& workDir);
    void Stop();
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// Logs on, lists the current directory over a passive data connection and
// logs off. The lines come without their line ends. Throws std::runtime_error
// with the exchange's last reply on any failure.
std::vector<std::string> FetchListing(int port, const std::string& user, const std::string& password);

} // namespace plover::test

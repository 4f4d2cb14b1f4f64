// Test servers run as real processes on 127.0.0.1: a Python script started
// with Debian's interpreter binds port 0 and writes the port it got to a
// file, which the fixture waits for (bounded). The process is stopped when
// the object goes away.
#pragma once

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>

namespace plover::test {

// Absolute path of a script in tests/servers/.
std::string ServerScript(const std::string& name);

class ServerProcess final {
public:
    // Starts /usr/bin/python3 script args... --port-file <file>; waits up to
    // timeoutMs for the port. Port() is 0 when the server did not come up.
    ServerProcess(const std::string& script, const QStringList& args, const std::string& portFile,
                  int timeoutMs = 10000);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    uint16_t Port() const { return m_port; }
    // Everything the server wrote to stdout and stderr so far (for diagnostics).
    std::string Output();
    // Waits (bounded) for the server to exit by itself; returns its exit code or -1.
    int WaitForExit(int timeoutMs);

private:
    std::unique_ptr<QProcess> m_process;
    uint16_t m_port = 0;
    std::string m_output;
};

// A pyftpdlib server serving root to user/password (and anonymous read-only).
class FtpServer final {
public:
    // host: "127.0.0.1", or "::1" for IPv6.
    FtpServer(const std::string& root, const std::string& user = "user", const std::string& password = "password",
              const std::string& host = "127.0.0.1");
    uint16_t Port() const { return m_server.Port(); }
    const std::string& Root() const { return m_root; }
    std::string Output() { return m_server.Output(); }

private:
    std::string m_root;
    ServerProcess m_server;
};

} // namespace plover::test

#include "tests/support/serverprocess.h"


#include <QDeadlineTimer>
#include <cerrno>
#include <fstream>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plover::test {

std::string ServerScript(const std::string& name)
{
    return std::string(PLOVER_SOURCE_DIR) + "/tests/servers/" + name;
}

ServerProcess::ServerProcess(const std::string& script, const QStringList& args, const std::string& portFile,
                             int timeoutMs)
    : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QStringList all{QString::fromStdString(script)};
    all << args << QStringLiteral("--port-file") << QString::fromStdString(portFile);
    // Watch the port file's folder before starting, so its arrival cannot be missed.
    const std::string folder = portFile.substr(0, portFile.find_last_of('/'));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0)
        ::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    m_process->start(QStringLiteral("/usr/bin/python3"), all);
    if (!m_process->waitForStarted(timeoutMs) || watch < 0) {
        if (watch >= 0)
            ::close(watch);
        return;
    }
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, m_process->processId(), 0));
    auto readPort = [&] {
        std::ifstream in(portFile);
        int port = 0;
        return (in >> port && port > 0 && port < 65536) ? port : 0;
    };
    // Woken by the port file's arrival or by the server's exit; no polling.
    QDeadlineTimer deadline(timeoutMs);
    for (int round = 0; round < 1000 && m_port == 0; ++round) {
        if (int port = readPort()) {
            m_port = static_cast<uint16_t>(port);
            break;
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        pollfd fds[2] = {{watch, POLLIN, 0}, {exited, POLLIN, 0}};
        if (::poll(fds, exited >= 0 ? 2 : 1, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        if (exited >= 0 && (fds[1].revents & POLLIN)) {
            m_port = static_cast<uint16_t>(readPort());
            break;
        }
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    ::close(watch);
    if (exited >= 0)
        ::close(exited);
}

ServerProcess::~ServerProcess()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

std::string ServerProcess::Output()
{
    m_output += m_process->readAll().toStdString();
    return m_output;
}

int ServerProcess::WaitForExit(int timeoutMs)
{
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(timeoutMs))
        return -1;
    return m_process->exitCode();
}

FtpServer::FtpServer(const std::string& root, const std::string& user, const std::string& password,
                     const std::string& host)
    : m_root(root),
      m_server(ServerScript("ftpserver.py"),
               {QStringLiteral("--root"), QString::fromStdString(root), QStringLiteral("--user"),
                QString::fromStdString(user), QStringLiteral("--password"), QString::fromStdString(password),
                QStringLiteral("--host"), QString::fromStdString(host)},
               root + ".port")
{
}

} // namespace plover::test

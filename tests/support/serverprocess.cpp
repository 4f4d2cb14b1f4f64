#include "tests/support/serverprocess.h"

#include "tests/support/temphome.h"

#include <QDeadlineTimer>
#include <QThread>
#include <fstream>

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
    m_process->start(QStringLiteral("/usr/bin/python3"), all);
    if (!m_process->waitForStarted(timeoutMs))
        return;
    // The server renames the port file into place once it listens.
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            m_port = static_cast<uint16_t>(port);
            return;
        }
        m_process->waitForFinished(20);  // a bounded pause that also notices an early exit
    }
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

FtpServer::FtpServer(const std::string& root, const std::string& user, const std::string& password)
    : m_root(root),
      m_server(ServerScript("ftpserver.py"),
               {QStringLiteral("--root"), QString::fromStdString(root), QStringLiteral("--user"),
                QString::fromStdString(user), QStringLiteral("--password"), QString::fromStdString(password)},
               root + ".port")
{
}

} // namespace plover::test

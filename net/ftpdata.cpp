// TFTP's data commands: the data connection in passive or active mode, the
// command, the end of the transfer, and the switch to the other mode when
// a session's first data connection cannot be made.
#include "net/ftp.h"

#include "net/errorcodes.h"

#include <QTimer>

#include <arpa/inet.h>

namespace plover {

namespace {

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

} // namespace

int TFTP::upload()
{
    if (LocalFile.empty()) {
        LastErrorText = "Please specify a local file for upload.";
        return EngineError::UploadNotStarted;
    }
    {
        CFileStream test;
        if (test.OpenExisting(LocalFile) != 0) {
            LastErrorText = "Error reading from local file.";
            return EngineError::UploadNotStarted;
        }
    }
    return dataCommand(tkUpload, "STOR", RemoteFile);
}

int TFTP::sendPort()
{
    // The address the server reaches us through: the control connection's.
    const NetAddress control = LocalNetAddress();
    if (!control.IsValid())
        return Ws.WSAGetLastError();
    NetAddress local = control;
    local.SetPort(0);
    if (const int code = m_data->ListenForData(local, PeerNetAddress()))
        return code;
    const std::uint16_t port = m_data->ListenPort();
    if (port == 0)
        return Ws.WSAGetLastError();
    trail(pidInfo, "Active mode: the server is to connect to port " + std::to_string(port) + ".");
    // PORT cannot carry an IPv6 address; EPRT (RFC 2428) can.
    if (control.IsIPv6())
        return DoCommand("EPRT", FormatEprtArgument(control, port));
    return DoCommand("PORT", FormatPortArgument(ntohl(control.IPv4()), port));
}

int TFTP::openPassive(bool& dataFailed)
{
    // RFC 2428's EPSV first; PASV when the server does not know it.
    std::optional<std::uint16_t> port;
    int code = DoCommand("EPSV");
    if (code == 0)
        port = PassivePort(ReplyLine());
    if ((code == EngineError::ReplyFailed && LastErrorText.rfind('5', 0) == 0) || (code == 0 && !port)) {
        code = DoCommand("PASV");
        if (code == 0)
            port = PassivePort(ReplyLine());
    }
    if (code == 0 && !port) {
        LastErrorText = "The server's passive-mode reply names no port: " + ReplyLine();
        code = EngineError::NoDataConnection;
    }
    if (code != 0) {
        dataFailed = code == EngineError::ReplyFailed || code == EngineError::NoDataConnection;
        return code;
    }
    trail(pidInfo, "Passive mode: opening the data connection to port " + std::to_string(*port) + ".");
    NetAddress server = PeerNetAddress();
    server.SetPort(*port);
    if ((code = m_data->ConnectTo(server)) != 0) {
        dataFailed = true;
        LastErrorText = "Could not open the data connection: " + ErrorText(code);
        return code;
    }
    code = WaitUntil([this] { return !m_data->Connecting(); }, false, true);
    if (code == EngineError::TimedOut)
        LastErrorText = "The data connection could not be opened within " + std::to_string(TimeOut()) + " seconds.";
    if (code == 0 && m_data->ConnectResult() != 0) {
        code = m_data->ConnectResult();
        LastErrorText = "Could not open the data connection: " + ErrorText(code);
    }
    if (code == 0 && m_abortRequested)
        return 0;  // the caller sends nothing more
    if (code != 0) {
        // The control connection is in step: only the data side failed.
        m_data->Abort();
        dataFailed = code != EngineError::Interrupted && code != EngineError::ConnectionClosed;
    }
    return code;
}

int TFTP::transferOnce(const std::string& command, const std::string& argument, bool& dataFailed)
{
    dataFailed = false;
    int code = 0;
    if (m_workingMode == dcPassive) {
        code = openPassive(dataFailed);
    } else {
        code = sendPort();
        dataFailed = code == EngineError::ReplyFailed;  // PORT refused
    }
    if (code != 0)
        return code;
    // Aborted while the data connection was being made: no data command.
    if (m_abortRequested) {
        LastErrorText = ErrorText(EngineError::Aborted);
        return EngineError::Aborted;
    }
    code = DoCommand(command, argument);
    // 425: the server could not open (or use) the data connection.
    if (code == EngineError::ReplyFailed && LastErrorText.rfind("425", 0) == 0)
        dataFailed = true;
    // Active mode, and the server never connected back.
    if (code == EngineError::TimedOut && m_workingMode == dcActive && m_data->Listening())
        dataFailed = true;
    // The action ends only once the data connection has closed, so the last
    // bytes are in the file (and the file is closed) when the write returns.
    if (code == 0)
        code = waitForDataEnd();
    if (code == EngineError::NoDataConnection)
        dataFailed = true;
    return code;
}

int TFTP::dataCommand(TTransferKind kind, const std::string& command, const std::string& argument)
{
    if (hasLineBreak(argument)) {
        LastErrorText = ErrorText(EngineError::LineBreakInArgument);
        return EngineError::LineBreakInArgument;
    }
    m_data->PrepareTransfer(kind, LocalFile, m_transferMode == tmASCII);
    m_announcedSize = -1;
    bool dataFailed = false;
    int code = transferOnce(command, argument, dataFailed);
    if (dataFailed && !m_dataModeSettled && !m_abortRequested) {
        // A session's first data connection failed in this mode: try the
        // other one once, and keep whichever works.
        const bool toActive = m_workingMode == dcPassive;
        trail(pidInfo, std::string("The data connection failed in ") + (toActive ? "passive" : "active")
                           + " mode (" + LastErrorText + "); trying " + (toActive ? "active" : "passive") + " mode.");
        m_workingMode = toActive ? dcActive : dcPassive;
        m_data->Abort();
        (void)m_data->FinishDownload(false, LocalFile);
        m_data->PrepareTransfer(kind, LocalFile, m_transferMode == tmASCII);
        m_announcedSize = -1;
        code = 0;
        if (m_outOfStep) {
            // The wait that ended left the control connection out of step.
            m_outOfStep = false;
            dropControlConnection("The connection's state is unknown; logging on again.");
        }
        if (!Connected())
            code = logon();
        if (code == 0)
            code = transferOnce(command, argument, dataFailed);
    }
    if (code == 0 && !m_dataModeSettled) {
        m_dataModeSettled = true;
        trail(pidInfo, m_workingMode == dcPassive ? "Data connections work in passive mode."
                                                  : "Data connections work in active mode.");
    }
    // A local file that failed is the action's failure, whatever the server said.
    if (const auto& fileError = m_data->LastFileError();
        fileError && (code == 0 || code == EngineError::ReplyFailed)) {
        LastErrorText = fileError->Text;
        code = fileError->Code;
    }
    if (code == 0 && m_abortRequested)
        code = EngineError::Aborted;
    if (code == 0 && (kind == tkToFile || kind == tkToText))
        code = checkDownloadSize();
    if (kind == tkToFile) {
        if (const int stored = m_data->FinishDownload(code == 0, LocalFile); stored != 0 && code == 0) {
            LastErrorText = "Error saving local file.";
            code = stored;
        }
    }
    return code;
}

int TFTP::checkDownloadSize()
{
    // In ASCII mode the line ends change the count; only binary is exact.
    const std::int64_t expected = m_announcedSize >= 0 ? m_announcedSize : ExpectedSize;
    const std::int64_t received = m_data->ByteCount();
    if (m_transferMode != tmBinary || expected < 0 || received == expected)
        return 0;
    LastErrorText = "Received " + std::to_string(received) + " of " + std::to_string(expected) + " bytes.";
    return EngineError::ShortTransfer;
}

int TFTP::waitForDataEnd()
{
    if (!m_data->Busy())
        return 0;
    // A server that has answered but not yet connected gets a bounded time.
    bool neverConnected = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.callOnTimeout([&] { neverConnected = m_data->Listening(); });
    timer.start(DataConnectTimeoutMs);
    if (const int code = WaitUntil([&] { return !m_data->Busy() || neverConnected; }, false, false))
        return code;
    if (neverConnected) {
        LastErrorText = ErrorText(EngineError::NoDataConnection);
        return EngineError::NoDataConnection;
    }
    return 0;
}

} // namespace plover

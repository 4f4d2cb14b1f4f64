#include "net/ftp.h"

#include "platform/messages.h"
#include "platform/text.h"

#include <QTimer>

namespace plover {

namespace {

// Internal action values reachable only through the property writers.
constexpr int actionTypeAscii = 12;
constexpr int actionTypeBinary = 13;
constexpr int actionChangeDirectory = 14;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

} // namespace

TFTP::TFTP(QObject* owner) : CIPPortMsg(owner)
{
    m_window = std::make_unique<HiddenWindow>([this](const MSG& msg) { return route(msg); });
    SetWindowHandle(m_window->Handle());
    m_data = std::make_unique<CDataInterface>(this);
    m_data->SetWindowHandle(m_window->Handle());
    SetEOL("\r\n");
    SetAnyCharacterEOL(true);
    SetRemotePort(21);
}

TFTP::~TFTP()
{
    // The owner may be half destroyed already: no more events.
    OnFirePITrail = nullptr;
    OnDirList = nullptr;
    OnTransfer = nullptr;
    OnStartTransfer = nullptr;
    OnEndTransfer = nullptr;
    OnError = nullptr;
    m_data->Abort();
}

LRESULT TFTP::route(const MSG& msg)
{
    if (msg.message != WM_SOCKET_NOTIFY)
        return 0;
    if (Socket() != INVALID_SOCKET && msg.wParam == static_cast<WPARAM>(Socket()))
        HandleSocketMessage(msg);
    else
        m_data->HandleSocketMessage(msg);
    return 0;
}

std::exception_ptr TFTP::CreateError(int code, const std::string& description)
{
    return std::make_exception_ptr(EFTP(code, description));
}

void TFTP::SetWinsockLoaded(bool value)
{
    m_data->SetWinsockLoaded(value);
    CIPPortMsg::SetWinsockLoaded(value);
}

void TFTP::trail(TPIDirections direction, const std::string& text)
{
    if (OnFirePITrail)
        OnFirePITrail(this, direction, text);
}

void TFTP::FireConnected(int code)
{
    CIPPortMsg::FireConnected(code);
    if (code == 0)
        trail(pidInfo, "Connected.");
    else
        FireError(ConnectionFailed, "Failed to connect: " + ErrorDescription(code));
}

void TFTP::FireDisconnected(int code)
{
    CIPPortMsg::FireDisconnected(code);
    if (code == 0)
        trail(pidInfo, "Disconnected.");
    else
        FireError(ConnectionFailed, "Disconnected: " + ErrorDescription(code));
}

int TFTP::WaitIdle(bool& didWork)
{
    return m_data->PumpUpload(didWork);
}

int TFTP::DoCommand(const std::string& name, const std::string& data)
{
    if (!name.empty()) {
        // A line break in an argument would start a second command.
        if (hasLineBreak(name) || hasLineBreak(data)) {
            LastErrorText = "A command argument must not contain a line break.";
            return LineBreakInArgument;
        }
        std::string text = data.empty() ? name : name + " " + data;
        // The password stays out of the trace, which a user may paste somewhere.
        if (name == "PASS" && !data.empty())
            text = "PASS ****";
        trail(pidCommand, CutUtf8(text, 255));
    }
    return readReply(SendCommand(name, data, "\r\n"));
}

int TFTP::readReply(int code)
{
    // RFC 959: after "NNN-" the reply runs to the line that starts "NNN ".
    std::string multiLineCode;
    while (code == 0) {
        SetAcceptData(false);
        const std::string line = ReplyLine();
        trail(pidReply, line);
        const bool continues = [&] {
            if (!multiLineCode.empty())
                return !(line.size() >= 4 && line.compare(0, 3, multiLineCode) == 0 && line[3] == ' ');
            if (line.size() >= 4 && line[3] == '-') {
                if (isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]))
                    multiLineCode = line.substr(0, 3);
                return true;
            }
            return !line.empty() && (line[0] == ' ' || line[0] == '\t');
        }();
        if (continues) {
            code = WaitReplyLine();
            continue;
        }
        multiLineCode.clear();
        const char first = line.empty() ? '\0' : line[0];
        if (first == '1') {  // preliminary: the final reply follows
            m_data->ReleaseUpload();
            code = WaitReplyLine();
            continue;
        }
        if (first == '2' || first == '3')
            return 0;
        LastErrorText = line;
        return ReplyFailed;
    }
    return code;
}

void TFTP::PerformAction(int action)
{
    LastError = 0;
    LastErrorText.clear();
    if (m_action != ftpIdle && action != ftpIdle && action != ftpAbort) {
        ReportError(Busy, "Busy performing current action.");
        return;
    }
    const bool nested = m_action != ftpIdle;
    int code = 0;
    if (!Connected() && action != ftpIdle && action != ftpLogon && action != ftpLogoff) {
        {
            QuietErrors quiet(*this);
            PerformAction(ftpLogon);
        }
        code = LastError;
    }
    if (code == 0) {
        m_action = static_cast<std::uint8_t>(action);
        try {
            code = action == ftpAbort ? abort(nested) : runAction(action);
        } catch (...) {
            m_action = ftpIdle;
            throw;
        }
        if (!nested && m_abortReplyPending)
            readAbortReply();
    }
    m_action = ftpIdle;
    if (code != 0) {
        // Nothing may stay behind: no listener, no data socket, no open file.
        m_data->Abort();
        if (code == Interrupted)
            LastErrorText = "Interrupted";
        if (LastErrorText.empty())
            LastErrorText = ErrorDescription(code);
        ReportError(code, LastErrorText);
    }
}

int TFTP::runAction(int action)
{
    switch (action) {
    case ftpIdle:
        Interrupt();
        return 0;
    case ftpLogon:
        return logon();
    case ftpLogoff:
        return logoff();
    case ftpDownload:
        return dataCommand(LocalFile.empty() ? tkToText : tkToFile, "RETR", RemoteFile);
    case ftpUpload:
        return upload();
    case ftpDeleteFile:
        return DoCommand("DELE", RemoteFile);
    case ftpRenameFile:
        if (const int code = DoCommand("RNFR", RemoteFile))
            return code;
        return DoCommand("RNTO", AltFile);
    case ftpListDirectory:
        return dataCommand(tkListing, "NLST", RemoteFile);
    case ftpListDirectoryLong:
        return dataCommand(tkListing, "LIST", RemoteFile);
    case ftpMakeDirectory:
        return DoCommand("MKD", RemoteFile);
    case ftpRemoveDirectory:
        return DoCommand("RMD", RemoteFile);
    case actionTypeAscii: {
        const int code = DoCommand("TYPE A");
        if (code == 0)
            m_transferMode = tmASCII;
        return code;
    }
    case actionTypeBinary: {
        const int code = DoCommand("TYPE I");
        if (code == 0)
            m_transferMode = tmBinary;
        return code;
    }
    case actionChangeDirectory:
        return m_remotePath == ".." ? DoCommand("CDUP") : DoCommand("CWD", m_remotePath);
    default:
        m_action = ftpIdle;
        throw Exception("Invalid Action Value");
    }
}

int TFTP::logon()
{
    int code = 0;
    if (!Connected()) {
        trail(pidInfo, "Connecting to FTP server.");
        code = ConnectAndWait();
        if (code == 0)
            code = DoCommand(std::string());  // the greeting
    }
    if (code == 0 && !User.empty())
        code = DoCommand("USER", User);
    if (code == 0)
        code = DoCommand("PASS", Password);
    if (code == 0) {
        m_action = ftpIdle;
        if (m_transferMode != tmDefault) {
            QuietErrors quiet(*this);
            SetTransferMode(m_transferMode);
            code = LastError;
        }
    }
    return code;
}

int TFTP::logoff()
{
    if (!Connected())
        return 0;
    const int code = DoCommand("QUIT");
    if (code != 0)
        trail(pidInfo, "Forcing disconnection from FTP server.");
    QuietErrors quiet(*this);
    SetConnected(false);
    return code;
}

int TFTP::abort(bool nested)
{
    // Telnet IAC IP IAC DM, sent urgent, makes the server look at the
    // control connection while it is busy with a transfer.
    static const char urgent[] = {'\xFF', '\xF4', '\xFF', '\xF2'};
    (void)SetOOBInline(true);
    (void)SendBlock(urgent, sizeof urgent, MSG_OOB);
    (void)SetOOBInline(false);
    if (!nested)
        return DoCommand("ABOR");
    trail(pidCommand, "ABOR");
    if (const int code = SendAll("ABOR\r\n"))
        return code;
    m_abortReplyPending = true;
    // Stop taking data at once; the server closes its end as well.
    m_data->Abort();
    return 0;
}

void TFTP::readAbortReply()
{
    m_abortReplyPending = false;
    // A server that sent only one reply for both commands sends nothing
    // more: wait a bounded time, never forever.
    constexpr int abortReplyTimeoutMs = 5000;
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
    timer.start(abortReplyTimeoutMs);
    m_waiting = true;
    SetAcceptData(true);
    PumpScope scope;
    while (m_waiting && !timedOut)
        if (!PumpMessage(true))
            break;
    if (m_waiting) {
        m_waiting = false;
        SetAcceptData(false);
        return;
    }
    QuietErrors quiet(*this);
    (void)readReply(0);
}

int TFTP::upload()
{
    if (LocalFile.empty()) {
        LastErrorText = "Please specify a local file for upload.";
        return UploadNotStarted;
    }
    {
        CFileStream test;
        if (test.OpenExisting(LocalFile) != 0) {
            LastErrorText = "Error reading from local file.";
            return UploadNotStarted;
        }
    }
    return dataCommand(tkUpload, "STOR", RemoteFile);
}

int TFTP::sendPort()
{
    if (const int code = m_data->ListenForData(0))
        return code;
    std::string argument;
    if (const int code = m_data->MakePortArgument(Socket(), argument))
        return code;
    return DoCommand("PORT", argument);
}

int TFTP::dataCommand(TTransferKind kind, const std::string& command, const std::string& argument)
{
    if (hasLineBreak(argument)) {
        LastErrorText = "A command argument must not contain a line break.";
        return LineBreakInArgument;
    }
    m_data->SetTransferKind(kind);
    int code = sendPort();
    if (code == 0)
        code = DoCommand(command, argument);
    // The action ends only once the data connection has closed, so the last
    // bytes are in the file (and the file is closed) when the write returns.
    if (code == 0)
        code = waitForDataEnd();
    // A local file that failed is the action's failure, whatever the server said.
    if (const auto& fileError = m_data->LastFileError(); fileError && (code == 0 || code == ReplyFailed)) {
        LastErrorText = fileError->Text;
        code = fileError->Code;
    }
    return code;
}

int TFTP::waitForDataEnd()
{
    if (!m_data->Busy())
        return 0;
    // A server that has answered but not yet connected gets a bounded time.
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
    timer.start(DataConnectTimeoutMs);
    PumpScope scope;
    while (m_data->Busy()) {
        if (!PumpMessage(true)) {
            LastErrorText = "Interrupted";
            return Interrupted;
        }
        if (timedOut && m_data->Listening()) {
            LastErrorText = "The server did not open the data connection.";
            return NoDataConnection;
        }
    }
    return 0;
}

std::string TFTP::RemotePath()
{
    if (Connected()) {
        QuietErrors quiet(*this);
        if (DoCommand("PWD") == 0) {
            // 257 "path" comment: skip the code, the space and the quote.
            std::string line = ReplyLine();
            std::string path = line.size() > 5 ? line.substr(5) : std::string();
            m_remotePath = path.substr(0, path.find('"'));
        }
    }
    return m_remotePath;
}

void TFTP::SetRemotePath(const std::string& path)
{
    if (m_action != ftpIdle) {
        ReportError(Busy, "Busy performing current action.");
        return;
    }
    m_remotePath = path;
    if (Connected())
        PerformAction(actionChangeDirectory);
}

void TFTP::SetTransferMode(TFTPTransferModes mode)
{
    if (m_action != ftpIdle) {
        ReportError(Busy, "Busy performing current action.");
        return;
    }
    if (Connected()) {
        switch (mode) {
        case tmASCII: PerformAction(actionTypeAscii); break;
        case tmBinary: PerformAction(actionTypeBinary); break;
        case tmDefault: break;
        default: throw Exception("Invalid Transfermode value");
        }
    } else if (mode != tmDefault && mode != tmASCII && mode != tmBinary) {
        throw Exception("Invalid Transfermode value");
    }
    m_transferMode = mode;
}

} // namespace plover

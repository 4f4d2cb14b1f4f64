#include "net/ftp.h"

#include "net/errorcodes.h"
#include "platform/messages.h"
#include "platform/text.h"

#include <QTimer>

#include <chrono>
#include <limits>

namespace plover {

namespace {

// The steps the property accessors run as actions of their own. Action()
// reads them as these numbers, after the published ones.
enum TInternalAction : std::uint8_t {
    actionTypeAscii = 12,
    actionTypeBinary = 13,
    actionChangeDirectory = 14,
    actionPrintDirectory = 15,
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// RFC 959: three digits, the first 1 to 5, then a space, "-" or the end.
bool isReplyStart(const std::string& line)
{
    return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && isDigit(line[1]) && isDigit(line[2])
        && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

// The last line of a multi-line reply repeats the code followed by a space.
bool endsMultiLine(const std::string& line, const std::string& code)
{
    return line.size() >= 3 && line.compare(0, 3, code) == 0 && (line.size() == 3 || line[3] == ' ');
}

// Telnet takes 0xFF as IAC: a data byte 0xFF is sent twice.
std::string escapeTelnet(const std::string& s)
{
    if (s.find('\xFF') == std::string::npos)
        return s;
    std::string out;
    out.reserve(s.size() + 4);
    for (char c : s) {
        out += c;
        if (c == '\xFF')
            out += c;
    }
    return out;
}

// A reply line as a person can read it in a message: control bytes shown
// as "?", cut to a sensible length.
std::string printable(const std::string& line)
{
    std::string out = CutUtf8(line, 80);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32)
            c = '?';
    return out;
}

} // namespace

TFTP::TFTP(QObject* owner) : CIPPortMsg(owner)
{
    m_window = std::make_unique<HiddenWindow>([this](const MSG& msg) { return route(msg); });
    SetWindowHandle(m_window->Handle());
    m_data = std::make_unique<CDataInterface>(this);
    m_data->SetWindowHandle(m_window->Handle());
    // The data side's reports become this component's events.
    m_data->OnStart = [this] {
        if (OnStartTransfer)
            OnStartTransfer(this);
    };
    m_data->OnTransfer = [this](std::int64_t count, const std::string& text) {
        if (OnTransfer)
            OnTransfer(this, count, text);
    };
    m_data->OnLine = [this](const std::string& line) {
        if (OnDirList)
            OnDirList(this, line);
    };
    m_data->OnEnd = [this] {
        if (OnEndTransfer)
            OnEndTransfer(this);
    };
    m_data->OnFault = [this](int code, const std::string& text) { FireError(code, text); };
    m_data->OnInfo = [this](const std::string& text) { trail(pidInfo, text); };
    m_data->OnActivity = [this] { NoteActivity(); };
    SetEOL("\r\n");
    SetAnyCharacterEOL(true);
    SetReceiveCapacity(ReplyLineLimit + 2);
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
        FireError(EngineError::ConnectionFailed, "Failed to connect: " + ErrorDescription(code));
}

void TFTP::FireDisconnected(int code)
{
    CIPPortMsg::FireDisconnected(code);
    if (code == 0)
        trail(pidInfo, "Disconnected.");
    else
        FireError(EngineError::ConnectionFailed, "Disconnected: " + ErrorDescription(code));
}

void TFTP::FireLineDropped(const std::string& line, bool complete)
{
    if (complete)
        trail(pidInfo, "Ignored a reply no command was waiting for: " + CutUtf8(line, 255));
    else
        trail(pidInfo, "The connection closed in the middle of a line: " + CutUtf8(line, 255));
}

int TFTP::WaitIdle(bool& didWork)
{
    m_data->LastErrorText.clear();
    const int code = m_data->PumpUpload(didWork);
    if (code != 0)
        LastErrorText = m_data->LastErrorText.empty() ? ErrorText(code) : m_data->LastErrorText;
    return code;
}

int TFTP::DoCommand(const std::string& name, const std::string& data, const std::string& wirePrefix)
{
    // One command at a time: a second one now would take the first one's
    // reply for its own.
    if (m_commandActive) {
        LastErrorText = ErrorText(EngineError::Busy);
        return EngineError::Busy;
    }
    if (!name.empty()) {
        // A line break in an argument would start a second command.
        if (hasLineBreak(name) || hasLineBreak(data)) {
            LastErrorText = ErrorText(EngineError::LineBreakInArgument);
            return EngineError::LineBreakInArgument;
        }
        std::string text = data.empty() ? name : name + " " + data;
        // The password stays out of the trace, which a user may paste somewhere.
        if (name == "PASS" && !data.empty())
            text = "PASS ****";
        trail(pidCommand, CutUtf8(text, 255));
    }
    m_commandActive = true;
    const int code = readReply(SendCommand(wirePrefix + name, escapeTelnet(data), "\r\n"));
    m_commandActive = false;
    // Ended before its reply was complete: a late reply may still come.
    if (code == EngineError::Interrupted || code == EngineError::TimedOut || code == EngineError::MalformedReply)
        m_outOfStep = true;
    return code;
}

int TFTP::readReply(int code)
{
    // RFC 959: after "NNN-" the reply runs to the line that starts "NNN ".
    std::string multiLineCode;
    while (code == 0) {
        SetAcceptData(false);
        const std::string line = ReplyLine();
        trail(pidReply, line);
        if (ReplyLineCapped())
            trail(pidInfo, "The reply line above was cut at " + std::to_string(ReplyLineLimit) + " bytes.");
        if (multiLineCode.empty()) {
            if (!isReplyStart(line)) {
                LastErrorText = "The server sent a reply that is not FTP: \"" + printable(line) + "\".";
                return EngineError::MalformedReply;
            }
            if (line.size() > 3 && line[3] == '-') {
                multiLineCode = line.substr(0, 3);
                code = WaitReplyLine();
                continue;
            }
        } else if (!endsMultiLine(line, multiLineCode)) {
            code = WaitReplyLine();
            continue;
        }
        multiLineCode.clear();
        if (line[0] == '1') {  // preliminary: the final reply follows
            if (const std::int64_t size = AnnouncedSize(line); size >= 0)
                m_announcedSize = size;
            m_data->ReleaseUpload();
            code = WaitReplyLine();
            continue;
        }
        if (line[0] == '2' || line[0] == '3')
            return 0;
        LastErrorText = line;
        return EngineError::ReplyFailed;
    }
    return code;
}

void TFTP::PerformAction(int action)
{
    LastError = 0;
    LastErrorText.clear();
    if (m_action != ftpIdle && action != ftpIdle && action != ftpAbort) {
        ReportError(EngineError::Busy);
        return;
    }
    const bool nested = m_action != ftpIdle;
    const std::uint8_t outer = m_action;
    int code = 0;
    if (!Connected() && !nested && action != ftpIdle && action != ftpLogon && action != ftpLogoff) {
        {
            QuietErrors quiet(*this);
            PerformAction(ftpLogon);
        }
        code = LastError;
    }
    if (code == 0) {
        setAction(static_cast<std::uint8_t>(action));
        try {
            code = action == ftpAbort ? abort(nested) : runAction(action);
        } catch (...) {
            setAction(nested ? outer : static_cast<std::uint8_t>(ftpIdle));
            throw;
        }
        if (!nested)
            code = finishAction(code);
    }
    // A nested interrupt or abort leaves the running action in charge.
    setAction(nested ? outer : static_cast<std::uint8_t>(ftpIdle));
    if (!nested)
        ExpectedSize = -1;
    if (code != 0) {
        // Nothing may stay behind: no listener, no data socket, no file.
        if (!nested)
            m_data->Abort();
        if (LastErrorText.empty())
            LastErrorText = ErrorText(code);
        ReportError(code, LastErrorText);
    }
}

int TFTP::finishAction(int code)
{
    if (m_abortRequested) {
        m_abortRequested = false;
        ClearWaitDeadline();
        const std::string text = LastErrorText;
        if (!readAbortReply())
            dropControlConnection("The server did not answer the abort.");
        // The aborted command's own reply (426) tells what happened; a
        // positive one came too late to count.
        LastErrorText = text;
        if (code == 0 || code == EngineError::TimedOut) {
            code = EngineError::Aborted;
            LastErrorText = ErrorText(EngineError::Aborted);
        }
    }
    if (m_outOfStep || code == EngineError::TimedOut) {
        m_outOfStep = false;
        const std::string text = LastErrorText;
        dropControlConnection("The connection's state is unknown; it is closed.");
        LastErrorText = text;
    }
    return code;
}

void TFTP::dropControlConnection(const std::string& why)
{
    if (!Connected() && Socket() == INVALID_SOCKET)
        return;
    trail(pidInfo, why);
    QuietErrors quiet(*this);
    SetConnected(false);
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
    case actionTypeAscii:
        return sendType(tmASCII);
    case actionTypeBinary:
        return sendType(tmBinary);
    case actionChangeDirectory:
        return m_remotePath == ".." ? DoCommand("CDUP") : DoCommand("CWD", m_remotePath);
    case actionPrintDirectory:
        return printDirectory();
    default:
        throw Exception("Invalid Action Value");
    }
}

void TFTP::setAction(std::uint8_t action)
{
    m_action = action;
}

int TFTP::sendType(TFTPTransferModes mode)
{
    const int code = DoCommand(mode == tmASCII ? "TYPE A" : "TYPE I");
    if (code == 0)
        m_transferMode = mode;
    return code;
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
    // The mode chosen while disconnected goes out now, within the log-on.
    if (code == 0 && m_transferMode != tmDefault)
        code = sendType(m_transferMode);
    return code;
}

int TFTP::logoff()
{
    if (!Connected())
        return 0;
    const int code = DoCommand("QUIT");
    if (code != 0)
        trail(pidInfo, "Forcing disconnection from FTP server.");
    m_outOfStep = false;  // closed anyway
    QuietErrors quiet(*this);
    SetConnected(false);
    return code;
}

void TFTP::sendUrgentInterrupt()
{
    // RFC 959's abort: Telnet IP, then Synch (DM with the urgent mark), so
    // a server busy with a transfer looks at the control connection. Sent
    // as IAC IP IAC urgent, DM in band before the command, which puts the
    // mark where servers look for it.
    static const char urgent[] = {'\xFF', '\xF4', '\xFF'};
    (void)SetOOBInline(true);
    (void)SendBlock(urgent, sizeof urgent, MSG_OOB);
    (void)SetOOBInline(false);
}

int TFTP::abort(bool nested)
{
    static const std::string dataMark = "\xF2";
    if (!Connected()) {
        // Still connecting: there is nothing to abort but the wait.
        Interrupt();
        return 0;
    }
    sendUrgentInterrupt();
    if (!nested)
        return DoCommand("ABOR", std::string(), dataMark);
    trail(pidCommand, "ABOR");
    if (const int code = SendAll(dataMark + "ABOR\r\n"))
        return code;
    m_abortRequested = true;
    // The running action ends within the bound whatever the server does.
    SetWaitDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(AbortReplyTimeoutMs));
    // Stop taking data at once; the server closes its end as well.
    m_data->Abort();
    return 0;
}

bool TFTP::readAbortReply()
{
    if (!Connected())
        return true;
    SetWaitDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(AbortReplyTimeoutMs));
    m_commandActive = true;
    const int code = readReply(WaitReplyLine());
    m_commandActive = false;
    ClearWaitDeadline();
    return code == 0 || code == EngineError::ReplyFailed;
}

int TFTP::printDirectory()
{
    const int code = DoCommand("PWD");
    if (code == 0)
        if (std::optional<std::string> path = PathOfPwdReply(ReplyLine()))
            m_remotePath = *path;
    return code;
}

std::string TFTP::RemotePath()
{
    // Never a PWD in the middle of another command: the stored path will do.
    if (Connected() && m_action == ftpIdle) {
        QuietErrors quiet(*this);
        PerformAction(actionPrintDirectory);
    }
    return m_remotePath;
}

void TFTP::SetRemotePath(const std::string& path)
{
    if (m_action != ftpIdle) {
        ReportError(EngineError::Busy);
        return;
    }
    m_remotePath = path;
    if (Connected())
        PerformAction(actionChangeDirectory);
}

void TFTP::SetDataConnectionMode(TDataConnectionModes mode)
{
    m_dataMode = mode == dcPassive || mode == dcActive ? mode : dcDefault;
    m_workingMode = m_dataMode == dcActive ? dcActive : dcPassive;
    m_dataModeSettled = false;
}

void TFTP::SetTransferMode(TFTPTransferModes mode)
{
    if (m_action != ftpIdle) {
        ReportError(EngineError::Busy);
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

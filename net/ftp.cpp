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

std::int64_t AnnouncedSize(const std::string& reply)
{
    // "(1234 bytes)" anywhere in the line; the last one counts.
    const std::size_t close = reply.rfind(" bytes)");
    if (close == std::string::npos)
        return -1;
    const std::size_t open = reply.rfind('(', close);
    if (open == std::string::npos || open + 1 == close)
        return -1;
    std::int64_t size = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        if (!isDigit(reply[i]) || size > (std::numeric_limits<std::int64_t>::max() - 9) / 10)
            return -1;
        size = size * 10 + (reply[i] - '0');
    }
    return size;
}

std::optional<std::uint16_t> PassivePort(const std::string& reply)
{
    if (reply.compare(0, 3, "229") == 0) {
        // (<d><d><d>port<d>), the delimiter being any printable character.
        const std::size_t open = reply.find('(');
        if (open == std::string::npos || open + 4 >= reply.size())
            return std::nullopt;
        const char d = reply[open + 1];
        if (reply[open + 2] != d || reply[open + 3] != d)
            return std::nullopt;
        unsigned port = 0;
        std::size_t i = open + 4;
        for (; i < reply.size() && isDigit(reply[i]) && port <= 65535; ++i)
            port = port * 10 + static_cast<unsigned>(reply[i] - '0');
        if (i == open + 4 || i >= reply.size() || reply[i] != d || port == 0 || port > 65535)
            return std::nullopt;
        return static_cast<std::uint16_t>(port);
    }
    if (reply.compare(0, 3, "227") == 0) {
        // Six numbers separated by commas, wherever they stand after the code.
        for (std::size_t start = 3; start < reply.size(); ++start) {
            if (!isDigit(reply[start]))
                continue;
            unsigned numbers[6];
            std::size_t i = start;
            int n = 0;
            for (; n < 6; ++n) {
                unsigned v = 0;
                const std::size_t begin = i;
                while (i < reply.size() && isDigit(reply[i]) && v <= 255)
                    v = v * 10 + static_cast<unsigned>(reply[i++] - '0');
                if (i == begin || v > 255)
                    break;
                numbers[n] = v;
                if (n < 5) {
                    if (i >= reply.size() || reply[i] != ',')
                        break;
                    ++i;
                }
            }
            if (n == 6) {
                const unsigned port = numbers[4] * 256 + numbers[5];
                if (port == 0)
                    return std::nullopt;
                return static_cast<std::uint16_t>(port);
            }
            // Not here: go on after this run of digits.
            while (start + 1 < reply.size() && isDigit(reply[start + 1]))
                ++start;
        }
    }
    return std::nullopt;
}

std::optional<std::string> PathOfPwdReply(const std::string& reply)
{
    std::size_t i = 3;
    while (i < reply.size() && reply[i] == ' ')
        ++i;
    if (i < reply.size() && reply[i] == '"') {
        std::string path;
        for (++i; i < reply.size(); ++i) {
            if (reply[i] != '"') {
                path += reply[i];
            } else if (i + 1 < reply.size() && reply[i + 1] == '"') {
                path += '"';
                ++i;
            } else {
                return path;
            }
        }
        return std::nullopt;  // no closing quote: the path's end is unknown
    }
    const std::size_t end = reply.find(' ', i);
    const std::string word = reply.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (!word.empty() && word[0] == '/')
        return word;
    return std::nullopt;
}

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

#include "mail/smtp2.h"

#include "mail/base64.h"
#include "mail/mailheaders.h"
#include "mail/mimehelpers.h"
#include "mail/pending.h"
#include "mail/quotedprintable.h"
#include "mail/uucode.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cctype>

namespace plover {

namespace {

// Gathered lines go out in sends of about this much.
constexpr std::size_t sendChunk = 64 * 1024;
// A reply longer than this is no SMTP reply.
constexpr std::size_t maxReply = 64 * 1024;

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The last line of a reply: its code followed by a space or nothing; a
// line that does not start with a code ends the reply too (as a refusal).
bool endsReply(const std::string& line)
{
    const bool coded = line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]);
    return !coded || line.size() == 3 || line[3] != '-';
}

std::string fileNamePart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string addressLine(const std::string& label, const std::string& entry)
{
    const auto [address, name] = SplitAddress(entry);
    return label + DisplayName(name) + "<" + address + ">";
}

} // namespace

TSMTP2::TSMTP2(QObject* owner) : TMailBase(owner)
{
    m_boundary = MakeBoundary();
    ServiceName = "smtp2";
    DefaultPort = 25;
}

TSMTP2::~TSMTP2() = default;

void TSMTP2::SetEncoding(TEncoding encoding)
{
    m_encoding = encoding;
    if (encoding == etUU)
        m_charSet = csUSASCII;
}

void TSMTP2::SetCharSet(TCharSet charSet)
{
    if (m_encoding == etMIME)
        m_charSet = charSet;
}

void TSMTP2::setState(std::uint8_t state)
{
    m_state = state;
    if (OnStatusChange)
        OnStatusChange(this);
}

void TSMTP2::setProgress(int percent)
{
    // Reported at each new multiple of ten, not for every line.
    const bool report = percent != m_progress && percent % 10 == 0;
    m_progress = percent;
    if (report && OnProgress)
        OnProgress(this);
}

void TSMTP2::Connect()
{
    setState(stConnecting);
    Reset();
    m_sessionFailures.clear();
    m_failures = &m_sessionFailures;
    m_in.clear();
    m_out.clear();
    TMailBase::Connect();
}

void TSMTP2::Reset()
{
    TMailBase::Reset();
    m_encoded.clear();
    ReplyError = false;
}

void TSMTP2::Cancel()
{
    if (m_state == stEncoding) {
        if (m_groupEncoder)
            m_groupEncoder->CancelRequested = true;
        if (m_qpEncoder)
            m_qpEncoder->CancelRequested = true;
    }
    TMailBase::Cancel();
    m_progress = 0;
    if (OnProgress)
        OnProgress(this);
    setState(stCancelled);
}

// ---- lines out and replies in ----

void TSMTP2::SendLine(const std::string& text, bool data)
{
    if (m_state != stBody && m_state != stAttachments)
        Transcript.push_back(text);
    // SMTP transparency: a data line that begins with "." gets one more.
    if (data && !text.empty() && text[0] == '.')
        m_out += '.';
    m_out += text;
    m_out += "\r\n";
    if (!data || m_out.size() >= sendChunk)
        flush();
}

void TSMTP2::flush()
{
    std::size_t sent = 0;
    while (sent < m_out.size()) {
        const int n = Ws.send(m_socket, m_out.data() + sent,
                              static_cast<int>(std::min<std::size_t>(m_out.size() - sent, 1 << 20)), 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int code = Ws.WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            m_out.clear();
            ReplyError = true;
            throw ESocketError(ErrorText(code));
        }
        // The socket is full: sleep until it reports room (or the server goes).
        m_writable = false;
        WaitFor([this] { return m_writable; });
        if (!m_writable) {
            m_out.clear();
            if (m_timedOut)
                (void)Disconnect();
            RaiseWaitEnd(true);
        }
    }
    m_out.clear();
    ProcessPendingMessages();
}

bool TSMTP2::takeLine(std::string& line)
{
    const std::size_t end = m_in.find_first_of("\r\n");
    if (end == std::string::npos)
        return false;
    // A CR that ends what has arrived may be the first half of a CR LF.
    if (m_in[end] == '\r' && end + 1 == m_in.size() && !m_closed)
        return false;
    line = m_in.substr(0, end);
    const std::size_t length = m_in[end] == '\r' && end + 1 < m_in.size() && m_in[end + 1] == '\n' ? 2 : 1;
    m_in.erase(0, end + length);
    return true;
}

bool TSMTP2::receiveSome()
{
    char buffer[4096];
    const int n = Ws.recv(m_socket, buffer, sizeof buffer, 0);
    if (n > 0) {
        m_in.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    if (n == 0) {
        m_closed = true;
        return false;
    }
    const int code = Ws.WSAGetLastError();
    if (code == WSAEWOULDBLOCK)
        return false;
    ReplyError = true;
    throw ESocketError(ErrorText(code));
}

void TSMTP2::ReadReply(const std::string& step)
{
    flush();
    m_reply.clear();
    std::size_t length = 0;
    std::string line;
    for (bool complete = false; !complete;) {
        while (!complete && takeLine(line)) {
            length += line.size();
            m_reply.push_back(line);
            Transcript.push_back(line);
            complete = endsReply(line);
        }
        if (complete)
            break;
        if (length + m_in.size() > maxReply) {
            ReplyError = true;
            (void)Disconnect();
            throw ESocketError("The server's reply is too long.");
        }
        if (receiveSome())
            continue;
        if (m_closed) {
            // Bytes without a line end at a close are no reply.
            ReplyError = true;
            (void)Disconnect();
            throw ESocketError("The server closed the connection.");
        }
        m_readable = false;
        WaitFor([this] { return m_readable; });
        if (m_cancelRequested) {
            (void)Disconnect();
            throw ECanceledError();
        }
        if (m_timedOut) {
            ReplyError = true;
            throw ETimedOutError();
        }
        if (m_asyncError) {
            ReplyError = true;
            (void)Disconnect();
            throw ESocketError(ErrorText(m_asyncErrorCode));
        }
        // Readable, or closed (what came before the close is still to be
        // read): the next receive tells.
    }
    const std::string& last = m_reply.back();
    if (last.empty() || (last[0] != '2' && last.compare(0, 3, "354") != 0)) {
        ReplyError = true;
        m_failures->push_back({step, m_reply});
    }
    ProcessPendingMessages();
}

bool TSMTP2::lastReplyIs354() const
{
    return !m_reply.empty() && m_reply.back().compare(0, 3, "354") == 0;
}

// ---- the session ----

std::string TSMTP2::greetingName() const
{
    // Servers refuse a HELO without a name: the sender's domain, else this
    // machine's name.
    if (UseDomainAddress)
        if (std::string domain = AddressDomain(SplitAddress(From).first); !domain.empty())
            return domain;
    char host[256] = {};
    if (Ws.gethostname(host, sizeof host - 1) == 0 && host[0])
        return host;
    return "localhost";
}

void TSMTP2::OpenSession()
{
    if (hasLineBreak(From))
        throw EMailError("The sender's address must not contain a line break.");
    m_failures = &m_sessionFailures;
    OpenConnection();
    setState(stGreeting);
    ReadReply("greeting");
    SendLine("HELO " + greetingName());
    ReadReply("HELO");
}

void TSMTP2::CloseSession()
{
    ProcessPendingMessages();
    m_failures = &m_sessionFailures;
    setState(stQuitting);
    SendLine("QUIT");
    ReadReply("QUIT");
    if (!ReplyError && OnInformation)
        OnInformation("All Done.");
    setState(stIdle);
    m_progress = 0;
    if (OnProgress)
        OnProgress(this);
}

// ---- one message ----

void TSMTP2::checkHeaderValues() const
{
    // A line break would end the header line and start a command or header
    // of the sender's choosing.
    auto check = [](const std::string& value, const char* what) {
        if (hasLineBreak(value))
            throw EMailError(std::string("The ") + what + " must not contain a line break.");
    };
    check(From, "sender");
    check(Recipient, "recipient");
    check(Subject, "subject");
    for (const std::string& c : CC)
        check(c, "copy recipient");
    for (const std::string& b : BCC)
        check(b, "blind copy recipient");
    for (const std::string& a : Attachments)
        check(fileNamePart(a), "attachment's name");
}

std::vector<std::string> TSMTP2::bodyLines(BodyKind& kind) const
{
    // One entry may hold line breaks: each becomes a line of its own, so a
    // "." among them is stuffed like any other and cannot end the message.
    std::vector<std::string> lines;
    bool ascii = true;
    for (const std::string& entry : Body) {
        ascii = ascii && IsPlainAscii(entry);
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = entry.find_first_of("\r\n", start);
            lines.push_back(entry.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + (entry[end] == '\r' && end + 1 < entry.size() && entry[end + 1] == '\n' ? 2 : 1);
        }
    }
    if (m_charSet == csISO8859)
        kind = BodyKind::Latin1QuotedPrintable;
    else if (ascii)
        kind = BodyKind::Plain;
    else
        kind = m_encoding == etMIME ? BodyKind::Utf8QuotedPrintable : BodyKind::Utf8EightBit;
    if (kind != BodyKind::Latin1QuotedPrintable && kind != BodyKind::Utf8QuotedPrintable)
        return lines;
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i)
        joined += (i ? "\r\n" : "") + lines[i];
    QByteArray bytes(joined.data(), static_cast<qsizetype>(joined.size()));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    std::vector<std::string> encoded;
    TQuotedPrintable qp(&input, &encoded);
    qp.Encode();
    return encoded;
}

void TSMTP2::encodeMime(const std::string& path, bool last)
{
    const std::string type = LookupContentType(path);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EMailError("Cannot read " + path);
    std::vector<std::string> lines;
    const bool text = lowerAscii(type.substr(0, 5)) == "text/";
    bool cancelled = false;
    if (text) {
        TQuotedPrintable qp(&file, &lines);
        m_qpEncoder = &qp;
        try {
            qp.Encode();
        } catch (...) {
            m_qpEncoder = nullptr;
            throw;
        }
        m_qpEncoder = nullptr;
        cancelled = qp.CancelRequested;
    } else {
        TBase64 b64(&file, &lines);
        b64.OnEncodeProgress = [this](TGroupEncoder* e) { setProgress(e->Percent); };
        m_groupEncoder = &b64;
        try {
            b64.Encode();
        } catch (...) {
            m_groupEncoder = nullptr;
            throw;
        }
        m_groupEncoder = nullptr;
        cancelled = b64.CancelRequested;
    }
    if (cancelled) {
        m_encoded.clear();
        throw ECanceledError();
    }
    const std::string name = QuotedFileName(fileNamePart(path));
    std::vector<std::string> part{"--" + m_boundary, "Content-Type: " + type + "; name=" + name};
    if (text) {
        part.push_back("Content-Transfer-Encoding: quoted-printable");
    } else {
        part.push_back("Content-Transfer-Encoding: base64");
        part.push_back("Content-Disposition: attachment; filename=" + name);
    }
    part.push_back(std::string());
    part.insert(part.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    // The line break before the next boundary belongs to the boundary; an
    // empty line after quoted-printable text would add a line to the file.
    if (!text)
        part.push_back(std::string());
    if (last)
        part.push_back("--" + m_boundary + "--");
    m_encoded.push_back(std::move(part));
}

void TSMTP2::encodeUU(const std::string& path, bool last)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EMailError("Cannot read " + path);
    std::vector<std::string> lines;
    TUUCode uu(&file, &lines);
    uu.OnEncodeProgress = [this](TGroupEncoder* e) { setProgress(e->Percent); };
    m_groupEncoder = &uu;
    try {
        uu.Encode();
    } catch (...) {
        m_groupEncoder = nullptr;
        throw;
    }
    m_groupEncoder = nullptr;
    if (uu.CancelRequested) {
        m_encoded.clear();
        throw ECanceledError();
    }
    std::vector<std::string> part{"begin 600 " + lowerAscii(fileNamePart(path))};
    part.insert(part.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    part.push_back("`");
    part.push_back("end");
    if (!last)
        part.push_back(std::string());
    m_encoded.push_back(std::move(part));
}

void TSMTP2::encodeAttachments(std::vector<std::string>& body)
{
    m_encoded.clear();
    setState(stEncoding);
    try {
        for (std::size_t i = 0; i < Attachments.size(); ++i) {
            const bool last = i + 1 == Attachments.size();
            if (m_encoding == etUU)
                encodeUU(Attachments[i], last);
            else
                encodeMime(Attachments[i], last);
        }
    } catch (const ECanceledError&) {
        throw;
    } catch (const std::exception&) {
        // The message goes without what could not be read, and says so; the
        // note belongs to this message only.
        if (m_encoding == etMIME && !m_encoded.empty())
            m_encoded.back().push_back("--" + m_boundary + "--");
        body.push_back(std::string());
        body.push_back("**" + std::to_string(Attachments.size()) + " file(s) were attached to this");
        body.push_back("**message.  They could not be sent due to error during encoding");
    }
}

void TSMTP2::sendLines(const std::vector<std::string>& lines)
{
    const std::size_t n = lines.size();
    for (std::size_t b = 0; b < n; ++b) {
        SendLine(lines[b], true);
        setProgress(n >= 2 ? static_cast<int>((b * 100 + (n - 1) / 2) / (n - 1)) : 0);
    }
}

void TSMTP2::SendMessage()
{
    checkHeaderValues();
    m_messageFailures.clear();
    m_failures = &m_messageFailures;
    std::vector<std::string> body = bodyLines(m_bodyKind);
    if (!Attachments.empty())
        encodeAttachments(body);

    setState(stEnvelope);
    const std::string from = SplitAddress(From).first;
    if (!from.empty()) {
        SendLine("MAIL FROM:<" + from + ">");
        ReadReply("MAIL FROM");
    }
    std::vector<std::string> recipients{Recipient};
    recipients.insert(recipients.end(), CC.begin(), CC.end());
    recipients.insert(recipients.end(), BCC.begin(), BCC.end());
    for (const std::string& r : recipients) {
        const std::string address = SplitAddress(r).first;
        SendLine("RCPT TO:<" + address + ">");
        ReadReply("RCPT TO <" + address + ">");
    }
    SendLine("DATA");
    ReadReply("DATA");
    if (!lastReplyIs354()) {
        // Without 354 the server reads on as commands: the header and body
        // must not go. The transaction is dropped and the session goes on.
        SendLine("RSET");
        ReadReply("RSET");
        m_failures = &m_sessionFailures;
        return;
    }

    SendHeader();
    setState(stBody);
    SendLine(std::string(), true);
    sendLines(body);
    if (!m_encoded.empty()) {
        setState(stAttachments);
        ProcessPendingMessages();
        for (const std::vector<std::string>& part : m_encoded) {
            // A MIME part ends where the next boundary begins: a line more
            // there would become the end of a text attachment.
            if (m_encoding == etUU || &part == &m_encoded.front())
                SendLine(std::string(), true);
            sendLines(part);
        }
    }
    SendLine(".");
    ReadReply("message");
    m_progress = 0;
    if (OnProgress)
        OnProgress(this);
    m_failures = &m_sessionFailures;
}

void TSMTP2::bodyHeaderLines(BodyKind kind)
{
    switch (kind) {
    case BodyKind::Latin1QuotedPrintable:
        SendLine("Content-Type: text/plain; charset=\"iso-8859-1\"");
        SendLine("Content-Transfer-Encoding: quoted-printable");
        break;
    case BodyKind::Utf8QuotedPrintable:
        SendLine("Content-Type: text/plain; charset=\"utf-8\"");
        SendLine("Content-Transfer-Encoding: quoted-printable");
        break;
    case BodyKind::Utf8EightBit:
        SendLine("Content-Type: text/plain; charset=\"utf-8\"");
        SendLine("Content-Transfer-Encoding: 8bit");
        break;
    case BodyKind::Plain:
        break;
    }
}

void TSMTP2::SendHeader()
{
    setState(stHeader);
    SendLine(addressLine("From:     ", From));
    SendLine(addressLine("To:       ", Recipient));
    for (std::size_t i = 0; i < CC.size(); ++i)
        SendLine(addressLine(i == 0 ? "CC:       " : "          ", CC[i]) + (i + 1 < CC.size() ? "," : ""));
    if (ReturnReceipt)
        SendLine("Return-Receipt-To: <" + SplitAddress(From).first + ">");
    if (Priority == ptLow)
        SendLine("X-Priority: 5");
    else if (Priority == ptHigh)
        SendLine("X-Priority: 1");
    if (!Subject.empty())
        for (const std::string& line : HeaderLines("Subject:  ", Subject))
            SendLine(line);
    // Servers today refuse or distrust a message without these two.
    SendLine("Date: " + MailDate(QDateTime::currentDateTime()));
    SendLine("Message-ID: " + MakeMessageId(AddressDomain(SplitAddress(From).first)));
    const bool labelled = m_bodyKind != BodyKind::Plain;
    if (m_encoding == etUU) {
        if (!Attachments.empty())
            SendLine("X-Encoding:      UUENCODE");
        if (labelled) {
            SendLine("Mime-Version: 1.0");
            bodyHeaderLines(m_bodyKind);
        }
        return;
    }
    if (!Attachments.empty()) {
        SendLine("Mime-Version: 1.0");
        SendLine("Content-Type: multipart/mixed; boundary=\"" + m_boundary + "\"");
        SendLine("X-Encoding: MIME");
        SendLine(std::string());
        SendLine("This is a multi-part message in MIME format.");
        SendLine(std::string());
        SendLine("--" + m_boundary);
    } else if (m_bodyKind == BodyKind::Utf8QuotedPrintable) {
        SendLine("Mime-Version: 1.0");
    }
    bodyHeaderLines(m_bodyKind);
}

} // namespace plover

// TSMTP2: sends messages with file attachments to an SMTP server (RFC 5321)
// over TMailBase's connection: attachments as MIME parts (base64, or
// quoted-printable for text types) or uuencoded after the text. One
// connection carries a message per recipient: Connect, OpenSession, then
// SendMessage for each Recipient, CloseSession, and Disconnect in any case.
//
// A refused reply raises nothing: it sets ReplyError, and MessageFailures
// tells which step of the last message failed and what the server said.
#pragma once

#include "mail/mailbase.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plover {

class TGroupEncoder;
class TQuotedPrintable;

enum TEncoding : std::uint8_t { etUU = 0, etMIME = 1 };
enum TCharSet : std::uint8_t { csUSASCII = 0, csISO8859 = 1 };
enum TPriority : std::uint8_t { ptLow = 0, ptNormal = 1, ptHigh = 2 };

// A step the server refused ("RCPT TO <a@b>", "DATA", ...) and its reply.
struct TMailFailure {
    std::string Step;
    std::vector<std::string> Reply;
};

class TSMTP2 final : public TMailBase {
public:
    // The phases State reports.
    enum : std::uint8_t {
        stIdle = 0, stConnecting = 1, stGreeting = 2, stQuitting = 3, stHeader = 4,
        stEnvelope = 5, stBody = 6, stAttachments = 7, stCancelled = 8, stEncoding = 9,
    };

    explicit TSMTP2(QObject* owner = nullptr);
    ~TSMTP2() override;

    // Addresses are "address|display name".
    std::string From;
    std::string Recipient;
    std::string Subject;
    std::vector<std::string> Body;  // UTF-8 lines
    std::vector<std::string> CC;
    std::vector<std::string> BCC;
    std::vector<std::string> Attachments;  // full paths
    bool UseDomainAddress = true;
    bool ReturnReceipt = false;
    TPriority Priority = ptNormal;

    TEncoding Encoding() const { return m_encoding; }
    // etUU sets the character set back to US-ASCII.
    void SetEncoding(TEncoding encoding);
    TCharSet CharSet() const { return m_charSet; }
    // Takes effect only with etMIME.
    void SetCharSet(TCharSet charSet);

    std::uint8_t State() const { return m_state; }
    int Progress() const { return m_progress; }
    const std::string& Boundary() const { return m_boundary; }
    bool ReplyError = false;
    // What the server refused in the last SendMessage (empty: delivered),
    // and in the session's own steps (greeting, HELO, QUIT).
    const std::vector<TMailFailure>& MessageFailures() const { return m_messageFailures; }
    const std::vector<TMailFailure>& SessionFailures() const { return m_sessionFailures; }

    std::function<void(TSMTP2*)> OnStatusChange;
    std::function<void(TSMTP2*)> OnProgress;
    // "All Done." when a session closes with nothing refused; the window
    // shows it through the dialogs service.
    std::function<void(const std::string&)> OnInformation;

    void Connect() override;
    void Reset() override;
    void Cancel() override;
    void OpenSession();
    void SendMessage();
    void CloseSession();

protected:
    virtual void SendHeader();

private:
    enum class BodyKind : std::uint8_t { Plain, Latin1QuotedPrintable, Utf8QuotedPrintable, Utf8EightBit };

    void setState(std::uint8_t state);
    void setProgress(int percent);
    // One line; message data (data true) is dot-stuffed. Lines are gathered
    // and go out in large sends; flush sends what is gathered.
    void SendLine(const std::string& text, bool data = false);
    void flush();
    // One whole reply for the step; a refusal is recorded, not raised.
    void ReadReply(const std::string& step);
    [[nodiscard]] bool takeLine(std::string& line);
    [[nodiscard]] bool receiveSome();
    [[nodiscard]] bool lastReplyIs354() const;

    void checkHeaderValues() const;
    std::string greetingName() const;
    [[nodiscard]] std::vector<std::string> bodyLines(BodyKind& kind) const;
    void encodeAttachments(std::vector<std::string>& body);
    void encodeMime(const std::string& path, bool last);
    void encodeUU(const std::string& path, bool last);
    void sendLines(const std::vector<std::string>& lines);
    void bodyHeaderLines(BodyKind kind);

    TEncoding m_encoding = etMIME;
    TCharSet m_charSet = csUSASCII;
    std::uint8_t m_state = stIdle;
    int m_progress = 0;
    std::string m_boundary;
    BodyKind m_bodyKind = BodyKind::Plain;
    std::vector<std::vector<std::string>> m_encoded;
    std::vector<TMailFailure> m_messageFailures;
    std::vector<TMailFailure> m_sessionFailures;
    std::vector<TMailFailure>* m_failures = &m_sessionFailures;
    std::vector<std::string> m_reply;
    std::string m_in;
    std::string m_out;
    TGroupEncoder* m_groupEncoder = nullptr;
    TQuotedPrintable* m_qpEncoder = nullptr;
};

} // namespace plover

#include "mail/quotedprintable.h"

#include "mail/mimehelpers.h"
#include "mail/pending.h"

namespace plover {

namespace {

constexpr std::size_t pieceLength = 65;
constexpr std::size_t lineLength = 76;  // RFC 2045, the soft break included

bool needsEscape(unsigned char c) { return c < 32 || c == '=' || c >= 128; }

void appendEscaped(unsigned char c, std::string& out)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '=';
    out += hex[c >> 4];
    out += hex[c & 15];
}

// The piece's characters as tokens (one character or one escape), cut into
// lines that keep within the line length with their soft break; a space or
// tab that would end a line for good is escaped, since relays strip
// trailing white space.
void emitPiece(const std::string& piece, bool soft, std::vector<std::string>& lines)
{
    std::string line;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const auto c = static_cast<unsigned char>(piece[i]);
        std::string token;
        if (needsEscape(c) || (c == ' ' && i + 1 == piece.size() && !soft))
            appendEscaped(c, token);
        else
            token = static_cast<char>(c);
        if (line.size() + token.size() > lineLength - 1) {
            lines.push_back(line + "=");
            line.clear();
        }
        line += token;
    }
    lines.push_back(soft ? line + "=" : line);
}

// Buffered reading, so a paragraph is not read one call per byte.
class Reader final {
public:
    explicit Reader(QIODevice* input) : m_input(input) {}
    // The next byte; false at the end.
    bool Next(unsigned char& c)
    {
        if (m_at == m_buffer.size() && !fill())
            return false;
        c = static_cast<unsigned char>(m_buffer[m_at++]);
        return true;
    }
    bool Peek(unsigned char& c)
    {
        if (m_at == m_buffer.size() && !fill())
            return false;
        c = static_cast<unsigned char>(m_buffer[m_at]);
        return true;
    }
    bool AtEnd() { return m_at == m_buffer.size() && !fill(); }

private:
    bool fill()
    {
        m_buffer.resize(64 * 1024);
        const qint64 n = m_input->read(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        m_buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        m_at = 0;
        return !m_buffer.empty();
    }

    QIODevice* m_input;
    std::string m_buffer;
    std::size_t m_at = 0;
};

} // namespace

TQuotedPrintable::TQuotedPrintable(QIODevice* input, std::vector<std::string>* output)
    : m_input(input), m_output(output)
{
}

void TQuotedPrintable::EncodeParagraph(const std::string& paragraph, std::vector<std::string>& lines)
{
    // Pieces of at most 65 characters, cut before a space where there is one.
    std::size_t start = 0;
    for (;;) {
        if (paragraph.size() - start < pieceLength) {
            emitPiece(paragraph.substr(start), false, lines);
            return;
        }
        std::size_t at = start + pieceLength;
        while (at > start && (at >= paragraph.size() || paragraph[at] != ' '))
            --at;
        const std::size_t end = at > start ? at : start + pieceLength;
        emitPiece(paragraph.substr(start, end - start), true, lines);
        start = end;
    }
}

void TQuotedPrintable::Encode()
{
    Reader in(m_input);
    std::string paragraph;
    std::size_t sincePending = 0;
    while (!in.AtEnd() && !CancelRequested) {
        paragraph.clear();
        unsigned char c;
        while (in.Next(c)) {
            if (paragraph.size() >= MaxParagraph)
                throw EMIMEError("Paragraph is too large");
            if (in.AtEnd()) {
                paragraph += static_cast<char>(c);  // the last byte is data
                break;
            }
            if (c == '\r') {
                unsigned char next;
                if (in.Peek(next) && next == '\n')
                    (void)in.Next(next);
                break;
            }
            if (c == '\n')
                break;
            paragraph += static_cast<char>(c);
        }
        EncodeParagraph(paragraph, *m_output);
        // The window's turn about every 64 KiB, not after every byte.
        sincePending += paragraph.size() + 1;
        if (sincePending >= 64 * 1024) {
            sincePending = 0;
            ProcessPendingMessages();
        }
    }
}

} // namespace plover

#include "mail/mailheaders.h"

#include <QRandomGenerator>

#include <cstdio>

namespace plover {

namespace {

std::string base64(const std::string& data)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned v = (unsigned(static_cast<unsigned char>(data[i])) << 16)
                         | (unsigned(static_cast<unsigned char>(data[i + 1])) << 8)
                         | static_cast<unsigned char>(data[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out += alphabet[(v >> s) & 63];
    }
    if (i < data.size()) {
        unsigned v = unsigned(static_cast<unsigned char>(data[i])) << 16;
        if (i + 1 < data.size())
            v |= unsigned(static_cast<unsigned char>(data[i + 1])) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < data.size() ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Where a UTF-8 text may be cut: not before a continuation byte.
std::size_t cutAt(const std::string& text, std::size_t at)
{
    while (at < text.size() && at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

// In double quotes, with quotes and backslashes escaped.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

bool IsPlainAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 128)
            return false;
    return true;
}

std::string MailDate(const QDateTime& when)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int absOffset = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[d.dayOfWeek() - 1], d.day(),
                  months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+',
                  absOffset / 60, absOffset % 60);
    return text;
}

std::string MakeMessageId(const std::string& domain)
{
    char text[96];
    std::snprintf(text, sizeof text, "<%lld.%016llx@", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
                  static_cast<unsigned long long>(QRandomGenerator::global()->generate64()));
    return text + (domain.empty() ? std::string("localhost") : domain) + ">";
}

std::string AddressDomain(const std::string& address)
{
    const std::size_t at = address.find('@');
    return at == std::string::npos ? std::string() : address.substr(at + 1);
}

std::vector<std::string> EncodedWords(const std::string& text)
{
    if (IsPlainAscii(text))
        return {text};
    // 45 bytes give 60 base64 characters: 72 with the word's frame.
    constexpr std::size_t chunk = 45;
    std::vector<std::string> words;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start + chunk >= text.size() ? text.size() : cutAt(text, start + chunk);
        if (end == start)
            end = start + chunk;  // not UTF-8: cut anywhere
        words.push_back("=?utf-8?B?" + base64(text.substr(start, end - start)) + "?=");
        start = end;
    }
    return words;
}

std::string DisplayName(const std::string& name)
{
    if (!IsPlainAscii(name)) {
        std::string joined;
        for (const std::string& w : EncodedWords(name))
            joined += (joined.empty() ? "" : " ") + w;
        return joined;
    }
    if (name.find_first_of("()<>[]:;@\\,\"") == std::string::npos)
        return name;
    return quoted(name);
}

std::vector<std::string> HeaderLines(const std::string& label, const std::string& value)
{
    const std::vector<std::string> words = EncodedWords(value);
    std::vector<std::string> lines{label + words.front()};
    for (std::size_t i = 1; i < words.size(); ++i)
        lines.push_back(" " + words[i]);
    return lines;
}

std::string QuotedFileName(const std::string& name)
{
    if (!IsPlainAscii(name)) {
        std::string joined;
        for (const std::string& w : EncodedWords(name))
            joined += w;
        return "\"" + joined + "\"";
    }
    return quoted(name);
}

} // namespace plover

#include "platform/inifile.h"

#include "platform/atomicfile.h"
#include "platform/exception.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace plover {

namespace {

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n";
    auto b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return std::string();
    auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool sameAscii(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

std::vector<std::string> readLines(const std::string& fileName, bool* exists = nullptr)
{
    std::vector<std::string> lines;
    std::ifstream in(fileName, std::ios::binary);
    if (exists)
        *exists = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" -> name; nullopt for any other line.
std::optional<std::string> sectionName(const std::string& line)
{
    std::string t = trim(line);
    if (t.empty() || t[0] != '[')
        return std::nullopt;
    auto close = t.find(']');
    return trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// "key = value" -> key; nullopt for comments and lines without '='.
std::optional<std::string> keyName(const std::string& line)
{
    std::string t = trim(line);
    if (t.empty() || t[0] == ';')
        return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return trim(t.substr(0, eq));
}

std::string valueOf(const std::string& line)
{
    std::string v = trim(line.substr(line.find('=') + 1));
    // A matching pair of quotes around the value is removed.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName,
                                    std::size_t bufferSize)
{
    std::string result = defaultValue;
    bool inSection = false;
    for (const std::string& line : readLines(fileName)) {
        if (auto name = sectionName(line)) {
            if (inSection)
                break;
            inSection = sameAscii(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (auto k = keyName(line); k && sameAscii(*k, key)) {
            result = valueOf(line);
            break;
        }
    }
    if (bufferSize > 0 && result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName)
{
    std::vector<std::string> lines = readLines(fileName);
    const std::string entry = key + "=" + value;

    std::ptrdiff_t sectionLine = -1;   // index of the "[section]" line
    std::ptrdiff_t lastContent = -1;   // last non-blank line inside it
    bool written = false;
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
        if (auto name = sectionName(lines[i])) {
            if (sectionLine >= 0)
                break;
            if (sameAscii(*name, section)) {
                sectionLine = static_cast<std::ptrdiff_t>(i);
                lastContent = sectionLine;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (!trim(lines[i]).empty())
            lastContent = static_cast<std::ptrdiff_t>(i);
        if (auto k = keyName(lines[i]); k && sameAscii(*k, key)) {
            lines[i] = entry;
            written = true;
        }
    }
    if (!written) {
        if (sectionLine >= 0) {
            lines.insert(lines.begin() + lastContent + 1, entry);
        } else {
            if (!lines.empty() && !trim(lines.back()).empty())
                lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        }
    }

    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    try {
        WriteFileAtomically(fileName, text, 0600);
    } catch (const EInOutError&) {
        return false;
    }
    return true;
}

int StrToIntDef(const std::string& text, int defaultValue)
{
    std::string s = trim(text);
    if (s.empty())
        return defaultValue;
    errno = 0;
    char* end = nullptr;
    long long v;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        const std::string digits = s.substr(2);
        if (digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return defaultValue;
        v = std::strtoll(digits.c_str(), &end, 16);
        // Eight hexadecimal digits fill the 32 bits: 0xFFFFFFFF is -1.
        return static_cast<int>(static_cast<unsigned int>(v));
    }
    v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return defaultValue;
    return static_cast<int>(v);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const
{
    return GetPrivateProfileString(section, key, defaultValue, m_fileName);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const
{
    std::string text = ReadString(section, key, std::string());
    return StrToIntDef(text, defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!WritePrivateProfileString(section, key, value, m_fileName))
        throw Exception("Unable to write to " + m_fileName);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value)
{
    WriteString(section, key, std::to_string(value));
}

} // namespace plover

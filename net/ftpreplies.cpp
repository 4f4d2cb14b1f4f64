// Readers of the FTP replies that carry values: sizes, passive ports, paths.
#include "net/ftpreplies.h"

#include <limits>

namespace plover {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

} // namespace plover

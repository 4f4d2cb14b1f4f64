#include "net/linebreaks.h"

#include <cstring>

namespace plover {

void AsciiDecoder::Decode(const char* data, std::size_t length, std::string& out)
{
    out.reserve(out.size() + length + 1);
    std::size_t i = 0;
    if (m_heldCR) {
        m_heldCR = false;
        if (length > 0 && data[0] != '\n')
            out += '\r';
        else if (length == 0)
            m_heldCR = true;
    }
    while (i < length) {
        const void* cr = std::memchr(data + i, '\r', length - i);
        const std::size_t end = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : length;
        out.append(data + i, end - i);
        if (!cr)
            break;
        if (end + 1 == length) {
            m_heldCR = true;  // its LF may come with the next block
            break;
        }
        if (data[end + 1] != '\n')
            out += '\r';
        i = end + 1;
    }
}

void AsciiDecoder::Finish(std::string& out)
{
    if (m_heldCR)
        out += '\r';
    m_heldCR = false;
}

void AsciiEncoder::Encode(const char* data, std::size_t length, std::string& out)
{
    out.reserve(out.size() + length + length / 16 + 1);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (c == '\n' && !m_lastWasCR)
            out += '\r';
        out += c;
        m_lastWasCR = c == '\r';
    }
}

} // namespace plover

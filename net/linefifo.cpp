#include "net/linefifo.h"

#include <algorithm>
#include <cstring>

namespace plover {

LineFIFO::LineFIFO(std::int32_t capacity) { SetCapacity(capacity); }

void LineFIFO::SetCapacity(std::int32_t size)
{
    if (size != m_capacity || !m_buffer) {
        m_buffer.reset();
        m_capacity = 0;
        m_buffer = std::make_unique<char[]>(static_cast<std::size_t>(std::max(size, 1)));
        m_capacity = std::max(size, 1);
    }
    Clear();
}

void LineFIFO::Compact()
{
    if (m_start > 0 && m_count > 0)
        std::memmove(m_buffer.get(), m_buffer.get() + m_start, static_cast<std::size_t>(m_count));
    m_start = 0;
}

std::span<char> LineFIFO::WriteArea()
{
    const std::int32_t free = FreeSpace();
    if (free <= 0) {
        Compact();
        return {};
    }
    if (m_capacity - (m_start + m_count) < free)
        Compact();
    return {m_buffer.get() + m_start + m_count, static_cast<std::size_t>(m_capacity - (m_start + m_count))};
}

bool LineFIFO::Commit(std::int32_t n)
{
    if (n < 0 || n > m_capacity - (m_start + m_count))
        return false;
    m_count += n;
    return true;
}

bool LineFIFO::TakeLine(const char*& data, std::int32_t& length)
{
    if (m_count == 0) {
        m_start = 0;
        return false;
    }
    const char* const unread = m_buffer.get() + m_start;
    if (m_eol.empty()) {
        data = unread;
        length = m_count;
        m_start = m_count = 0;
        return true;
    }
    const char* const end = unread + m_count;
    const char* found;
    std::size_t terminator = 0;
    if (m_anyCharacter) {
        found = std::find_first_of(unread, end, m_eol.begin(), m_eol.end());
        if (found != end) {
            // Consume the matching character and then as many of the EOL
            // characters after it as follow in order (CR LF, lone CR, lone LF).
            std::size_t k = m_eol.find(*found);
            const char* p = found + 1;
            while (++k < m_eol.size() && p < end && *p == m_eol[k])
                ++p;
            terminator = static_cast<std::size_t>(p - found);
        }
    } else {
        found = std::search(unread, end, m_eol.begin(), m_eol.end());
        terminator = m_eol.size();
    }
    if (found == end) {
        Compact();
        return false;
    }
    data = unread;
    length = static_cast<std::int32_t>(found - unread);
    const auto consumed = static_cast<std::int32_t>(length + static_cast<std::int32_t>(terminator));
    m_start += consumed;
    m_count -= consumed;
    if (m_count == 0)
        m_start = 0; // the line stays readable: nothing is written before the next call
    return true;
}

void LineFIFO::TakeAll(const char*& data, std::int32_t& length)
{
    data = m_buffer.get() + m_start;
    length = m_count;
    m_start = m_count = 0;
}

} // namespace plover

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

void LineFIFO::Clear()
{
    m_start = m_count = 0;
    m_discarding = false;
    m_style = Style::Undecided;
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

void LineFIFO::consume(std::int32_t n)
{
    m_start += n;
    m_count -= n;
    // The consumed bytes stay readable: nothing is written before the next call.
    if (m_count == 0)
        m_start = 0;
}

LineFIFO::Terminator LineFIFO::findExact(const char* unread, const char* end) const
{
    const char* found = std::search(unread, end, m_eol.begin(), m_eol.end());
    if (found != end)
        return {static_cast<std::int32_t>(found - unread), static_cast<std::int32_t>(m_eol.size()), 0};
    // The longest tail that the next bytes could complete to the terminator.
    const auto available = static_cast<std::size_t>(end - unread);
    for (std::size_t k = std::min(m_eol.size() - 1, available); k > 0; --k)
        if (std::equal(end - k, end, m_eol.begin()))
            return {-1, 0, static_cast<std::int32_t>(k)};
    return {-1, 0, 0};
}

LineFIFO::Terminator LineFIFO::findAny(const char* unread, const char* end, bool atEnd) const
{
    const char* found = std::find_first_of(unread, end, m_eol.begin(), m_eol.end());
    if (found == end)
        return {-1, 0, 0};
    // Consume the matching character and the EOL characters after it that
    // follow in order: CR LF, a lone CR, or a lone LF.
    std::size_t k = m_eol.find(*found) + 1;
    const char* p = found + 1;
    while (k < m_eol.size() && p < end && *p == m_eol[k]) {
        ++p;
        ++k;
    }
    // A CR as the last byte may be the first half of a CR LF split between
    // two reads: it ends nothing until the next byte (or the end) arrives.
    if (k < m_eol.size() && p == end && !atEnd)
        return {-1, 0, static_cast<std::int32_t>(end - found)};
    return {static_cast<std::int32_t>(found - unread), static_cast<std::int32_t>(p - found), 0};
}

LineFIFO::Terminator LineFIFO::findTerminator(bool atEnd)
{
    const char* const unread = m_buffer.get() + m_start;
    const char* const end = unread + m_count;
    if (!m_anyCharacter || (m_sticky && m_style == Style::Whole))
        return findExact(unread, end);
    const Terminator t = findAny(unread, end, atEnd);
    if (!m_sticky || m_style == Style::Any || t.at < 0)
        return t;
    if (t.length == static_cast<std::int32_t>(m_eol.size())) {
        m_style = Style::Whole;
        return t;
    }
    // A lone break first: when the whole EOL follows later, the stream uses
    // it and this break belongs to the line.
    const char* after = unread + t.at + t.length;
    if (findExact(after, end).at >= 0) {
        m_style = Style::Whole;
        return findExact(unread, end);
    }
    // Lone breaks it is, once a second line end is here, the stream has
    // ended, or the buffer is full; until then wait for more bytes.
    if (atEnd || m_count == m_capacity || findAny(after, end, atEnd).at >= 0) {
        m_style = Style::Any;
        return t;
    }
    return {-1, 0, 0};
}

bool LineFIFO::TakeLine(const char*& data, std::int32_t& length, bool atEnd)
{
    for (;;) {
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
        const Terminator t = findTerminator(atEnd);
        if (m_discarding) {
            if (t.at < 0) {
                // Still inside the capped line: keep only what may begin its end.
                consume(m_count - t.partial);
                Compact();
                return false;
            }
            consume(t.at + t.length);
            m_discarding = false;
            continue;
        }
        if (t.at < 0) {
            Compact();
            return false;
        }
        data = unread;
        length = t.at;
        consume(t.at + t.length);
        return true;
    }
}

void LineFIFO::TakeCapped(const char*& data, std::int32_t& length)
{
    const char* const unread = m_buffer.get() + m_start;
    const std::int32_t partial = m_eol.empty() ? 0 : findExact(unread, unread + m_count).partial;
    const std::int32_t line = m_count - partial;
    data = unread;
    length = std::min(line, LineLimit());
    consume(line);
    m_discarding = true;
}

void LineFIFO::TakeAll(const char*& data, std::int32_t& length)
{
    data = m_buffer.get() + m_start;
    length = m_count;
    m_start = m_count = 0;
}

} // namespace plover

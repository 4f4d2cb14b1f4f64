// The receive buffer of a connection, which cuts the byte stream into lines.
//
// Network input is framed defensively: a line ends wherever the reads split
// it, a terminator that may still grow (a CR whose LF has not arrived) waits
// for the next byte, and a line longer than LineLimit() comes out once, cut
// to the limit and marked, with the rest of it dropped as it arrives, so a
// long line never turns into several. With no terminator set (raw mode)
// everything buffered counts as one block.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace plover {

class LineFIFO final {
public:
    explicit LineFIFO(std::int32_t capacity = 2048);
    LineFIFO(const LineFIFO&) = delete;
    LineFIFO& operator=(const LineFIFO&) = delete;

    // The same size only empties the buffer; another size replaces the block
    // (std::bad_alloc when it cannot be had).
    void SetCapacity(std::int32_t size);
    std::int32_t Capacity() const { return m_capacity; }
    // The longest line handed out whole: the capacity less room for CR LF.
    std::int32_t LineLimit() const { return m_capacity > 2 ? m_capacity - 2 : 1; }

    // Empty text removes the terminator (raw mode).
    void SetEOL(const std::string& eol) { m_eol = eol; }
    const std::string& EOL() const { return m_eol; }
    // True: a line ends at any one character of EOL (CR LF, a lone LF, or a
    // lone CR followed by anything but LF, for "\r\n"); false: only at the
    // whole sequence.
    void SetAnyCharacter(bool any) { m_anyCharacter = any; }
    bool AnyCharacter() const { return m_anyCharacter; }
    // With any-character mode: once the stream has shown the whole EOL, only
    // the whole EOL ends lines from then on. A listing whose lines end in
    // CR LF may list a name holding a lone CR or LF; it stays one line.
    void SetStickyEOL(bool sticky) { m_sticky = sticky; }

    std::int32_t Count() const { return m_count; }
    std::int32_t FreeSpace() const { return m_capacity - m_count; }
    // Empties the buffer and forgets the stream's state (a new connection).
    void Clear();

    // The free region after the unread bytes, moved to the front first when
    // the region is smaller than the free space. Empty when the buffer is
    // full (the unread bytes are then at the front).
    [[nodiscard]] std::span<char> WriteArea();
    // Adds n bytes written into the write area; false when they do not fit.
    [[nodiscard]] bool Commit(std::int32_t n);

    // The next complete line without its terminator; valid until the buffer
    // is next written. False when no complete line is buffered. atEnd: no
    // more bytes will come, so a CR at the very end ends its line.
    [[nodiscard]] bool TakeLine(const char*& data, std::int32_t& length, bool atEnd = false);
    // For a full buffer without a line end: the first LineLimit() bytes of
    // the line; the rest of it, up to its terminator, is dropped as it comes.
    void TakeCapped(const char*& data, std::int32_t& length);
    // True while the rest of a capped line is being dropped.
    bool Discarding() const { return m_discarding; }
    // Every unread byte as one block.
    void TakeAll(const char*& data, std::int32_t& length);
    void Compact();

private:
    struct Terminator {
        std::int32_t at;      // offset in the unread bytes; -1: none complete
        std::int32_t length;  // bytes of the terminator
        std::int32_t partial; // bytes at the end that may begin a terminator
    };
    [[nodiscard]] Terminator findTerminator(bool atEnd);
    [[nodiscard]] Terminator findExact(const char* unread, const char* end) const;
    [[nodiscard]] Terminator findAny(const char* unread, const char* end, bool atEnd) const;
    void consume(std::int32_t n);

    enum class Style : std::uint8_t { Undecided, Whole, Any };

    std::unique_ptr<char[]> m_buffer;
    std::int32_t m_capacity = 0;
    std::int32_t m_start = 0;
    std::int32_t m_count = 0;
    std::string m_eol;
    bool m_anyCharacter = false;
    bool m_sticky = false;
    bool m_discarding = false;
    Style m_style = Style::Undecided;
};

} // namespace plover

// The receive buffer of a connection, which cuts the byte stream into lines.
// A line never exceeds the capacity: longer text without a terminator is
// taken whole (TakeAll) by the caller in capacity-sized pieces. With no
// terminator set (raw mode) everything buffered counts as one line.
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

    // Empty text removes the terminator (raw mode).
    void SetEOL(const std::string& eol) { m_eol = eol; }
    const std::string& EOL() const { return m_eol; }
    // True: a line ends at any one character of EOL (CR, LF or CR LF for
    // "\r\n"); false: only at the whole sequence.
    void SetAnyCharacter(bool any) { m_anyCharacter = any; }
    bool AnyCharacter() const { return m_anyCharacter; }

    std::int32_t Count() const { return m_count; }
    std::int32_t FreeSpace() const { return m_capacity - m_count; }
    void Clear() { m_start = m_count = 0; }

    // The free region after the unread bytes, moved to the front first when
    // the region is smaller than the free space. Empty when the buffer is
    // full (the unread bytes are then at the front).
    [[nodiscard]] std::span<char> WriteArea();
    // Adds n bytes written into the write area; false when they do not fit.
    [[nodiscard]] bool Commit(std::int32_t n);

    // The next complete line without its terminator; valid until the buffer
    // is next written. False when no terminator is buffered (the unread
    // bytes are then moved to the front).
    [[nodiscard]] bool TakeLine(const char*& data, std::int32_t& length);
    // Every unread byte as one block.
    void TakeAll(const char*& data, std::int32_t& length);
    void Compact();

private:
    std::unique_ptr<char[]> m_buffer;
    std::int32_t m_capacity = 0;
    std::int32_t m_start = 0;
    std::int32_t m_count = 0;
    std::string m_eol;
    bool m_anyCharacter = false;
};

} // namespace plover

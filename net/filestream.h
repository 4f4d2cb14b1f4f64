// One local file of a data transfer, opened for one transfer and closed
// again. Results are 0 for success; failures give the file layer's error
// number, or the fixed codes below.
#pragma once

#include <cstdint>
#include <string>

namespace plover {

class CFileStream final {
public:
    static constexpr int NotOpen = -5;      // write/read without an open file
    static constexpr int WriteFailed = -7;  // short or failed write (the file is closed)
    static constexpr int CloseFailed = -9;

    CFileStream() = default;
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // Opens an existing file for reading (an upload only reads).
    [[nodiscard]] int OpenExisting(const std::string& fileName);
    // Creates the file, or truncates it to zero length, for writing.
    [[nodiscard]] int Create(const std::string& fileName);
    [[nodiscard]] int Write(const char* data, int64_t length);
    // Reads exactly length bytes; a short read closes the file and fails.
    [[nodiscard]] int Read(char* data, int64_t length);
    [[nodiscard]] int Close();
    int64_t Size() const;
    // Moves the position by delta; the new position, or -1.
    int64_t SeekRelative(int64_t delta);
    bool IsOpen() const { return m_fd >= 0; }

private:
    int open(const std::string& fileName, int flags);
    int m_fd = -1;
};

} // namespace plover

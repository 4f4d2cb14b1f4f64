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
    // Creates a new hidden file beside target to download into, so target
    // stays as it is until the download is complete (see Replace). When
    // target exists the new file takes its permissions.
    [[nodiscard]] int CreateBeside(const std::string& target);
    // The name the file was opened or created under.
    const std::string& FileName() const { return m_fileName; }
    [[nodiscard]] int Write(const char* data, int64_t length);
    // Reads exactly length bytes; a short read closes the file and fails.
    [[nodiscard]] int Read(char* data, int64_t length);
    // The same at an offset, leaving the file position alone.
    [[nodiscard]] int ReadAt(char* data, int64_t length, int64_t offset);
    [[nodiscard]] int Close();
    int64_t Size() const;
    // Moves the position by delta; the new position, or -1.
    int64_t SeekRelative(int64_t delta);
    bool IsOpen() const { return m_fd >= 0; }

    // Gives from the name to, replacing a file there; 0 or the error.
    [[nodiscard]] static int Replace(const std::string& from, const std::string& to);
    static void Remove(const std::string& fileName);

private:
    int open(const std::string& fileName, int flags);
    // offset -1: from the file position.
    int readFully(char* data, int64_t length, int64_t offset);
    int m_fd = -1;
    std::string m_fileName;
};

} // namespace plover

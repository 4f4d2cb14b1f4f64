#include "net/filestream.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plover {

CFileStream::~CFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int CFileStream::open(const std::string& fileName, int flags)
{
    if (m_fd >= 0)
        (void)Close();
    m_fd = ::open(fileName.c_str(), flags | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return errno != 0 ? errno : EIO;
    // A directory opens for reading but is no file to transfer.
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return EISDIR;
    }
    return 0;
}

int CFileStream::OpenExisting(const std::string& fileName)
{
    return open(fileName, O_RDONLY);
}

int CFileStream::Create(const std::string& fileName)
{
    return open(fileName, O_WRONLY | O_CREAT | O_TRUNC);
}

int CFileStream::Write(const char* data, int64_t length)
{
    if (m_fd < 0)
        return NotOpen;
    int64_t done = 0;
    while (done < length) {
        ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(m_fd);
            m_fd = -1;
            return WriteFailed;
        }
        done += n;
    }
    return 0;
}

int CFileStream::Read(char* data, int64_t length)
{
    if (m_fd < 0)
        return NotOpen;
    int64_t done = 0;
    while (done < length) {
        ssize_t n = ::read(m_fd, data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int err = n < 0 ? errno : EIO;
            ::close(m_fd);
            m_fd = -1;
            return err;
        }
        done += n;
    }
    return 0;
}

int CFileStream::Close()
{
    if (m_fd < 0)
        return 0;
    int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? 0 : CloseFailed;
}

int64_t CFileStream::Size() const
{
    if (m_fd < 0)
        return 0;
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

int64_t CFileStream::SeekRelative(int64_t delta)
{
    if (m_fd < 0)
        return -1;
    off_t pos = ::lseek(m_fd, static_cast<off_t>(delta), SEEK_CUR);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

} // namespace plover

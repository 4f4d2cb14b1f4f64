#include "net/filestream.h"

#include <cerrno>
#include <cstdio>
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
    m_fileName = fileName;
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

int CFileStream::CreateBeside(const std::string& target)
{
    if (m_fd >= 0)
        (void)Close();
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // The first choice tells a user who sees it what it is; the numbered
    // ones cover a leftover of a crash and names too long for a suffix.
    constexpr int attempts = 100;
    int err = EEXIST;
    for (int i = 0; i < attempts; ++i) {
        const std::string candidate =
            folder + (i == 0 ? "." + name + ".part" : ".plover-part-" + std::to_string(i));
        m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_fileName = candidate;
            struct stat st {};
            if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                (void)::fchmod(m_fd, st.st_mode & 07777);
            return 0;
        }
        err = errno;
        if (err != EEXIST && err != ENAMETOOLONG)
            break;
    }
    return err != 0 ? err : EIO;
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
    return readFully(data, length, -1);
}

int CFileStream::ReadAt(char* data, int64_t length, int64_t offset)
{
    return readFully(data, length, offset);
}

int CFileStream::readFully(char* data, int64_t length, int64_t offset)
{
    if (m_fd < 0)
        return NotOpen;
    int64_t done = 0;
    while (done < length) {
        const size_t want = static_cast<size_t>(length - done);
        ssize_t n = offset < 0 ? ::read(m_fd, data + done, want)
                               : ::pread(m_fd, data + done, want, static_cast<off_t>(offset + done));
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

int CFileStream::Replace(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void CFileStream::Remove(const std::string& fileName)
{
    (void)::unlink(fileName.c_str());
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

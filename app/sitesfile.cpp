#include "app/sitesfile.h"

#include "platform/atomicfile.h"
#include "platform/exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace plover {

void LoadSites(const std::string& path, TSiteList& list)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
    }
    if (fd < 0)
        throw EInOutError::FromErrno(errno);

    TFTPSiteRecord record;
    for (;;) {
        std::size_t got = 0;
        auto* bytes = reinterpret_cast<unsigned char*>(&record);
        while (got < sizeof record) {
            ssize_t n = ::read(fd, bytes + got, sizeof record - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                int err = errno;
                ::close(fd);
                throw EInOutError::FromErrno(err);
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got == 0)
            break;
        if (got < sizeof record) {
            ::close(fd);
            throw EInOutError(EInOutError::ReadBeyondEnd);
        }
        list.Add(record);
    }
    ::close(fd);
}

void SaveSites(const std::string& path, const TSiteList& list)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(list.Count()) * sizeof(TFTPSiteRecord));
    for (int i = 0; i < list.Count(); ++i) {
        const TFTPSiteRecord& r = list.Object(i).Record();
        bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
    WriteFileAtomically(path, bytes, 0600);
}

} // namespace plover

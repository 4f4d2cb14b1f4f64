#include "platform/exception.h"

#include <cerrno>

namespace plover {

std::string InOutErrorText(int code)
{
    switch (code) {
    case EInOutError::FileNotFound: return "File not found";
    case EInOutError::AccessDenied: return "File access denied";
    case EInOutError::ReadBeyondEnd: return "Read beyond end of file";
    case EInOutError::DiskFull: return "Disk full";
    default: return "I/O error " + std::to_string(code);
    }
}

EInOutError::EInOutError(int code) : Exception(InOutErrorText(code)), ErrorCode(code) {}

EInOutError EInOutError::FromErrno(int err)
{
    switch (err) {
    case ENOENT: return EInOutError(FileNotFound);
    case EACCES:
    case EPERM:
    case EROFS: return EInOutError(AccessDenied);
    case ENOSPC:
    case EDQUOT: return EInOutError(DiskFull);
    default: return EInOutError(err);
    }
}

} // namespace plover

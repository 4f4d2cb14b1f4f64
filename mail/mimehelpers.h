// The MIME details that go with the encoders: the encoders' exception, the
// content type of a file by its extension, and the multipart boundary.
#pragma once

#include "platform/exception.h"

#include <string>

namespace plover {

class EMIMEError final : public Exception {
public:
    using Exception::Exception;
};

// The type the desktop's MIME database gives the file's extension (from the
// last "." after the last "/", "\" or ":"); "application/octet-stream" for
// none or an unknown one.
std::string LookupContentType(const std::string& fileName);

// Eight random digits from 0 to 8.
std::string MakeBoundary();

} // namespace plover

// Replacing a file without ever destroying its previous contents: the new
// bytes go to a temporary file in the same directory, are flushed to disk,
// and the temporary file is renamed over the old one.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace plover {

// Throws EInOutError (errno mapped) when any step fails; the old file is
// then untouched and the temporary file removed.
void WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

} // namespace plover

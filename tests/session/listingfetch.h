// A minimal raw FTP exchange that fetches a LIST for parser fixtures.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace plover::test {

// Logs on, lists the current directory over a passive data connection and
// logs off. The lines come without their line ends. Throws std::runtime_error
// with the exchange's last reply on any failure.
std::vector<std::string> FetchListing(int port, const std::string& user, const std::string& password);

} // namespace plover::test

// sites.dat: a headerless run of 1556-byte TFTPSiteRecord records in list
// order. It holds passwords as typed, so it is written with mode 0600.
#pragma once

#include "app/sitelist.h"

#include <string>

namespace plover {

// Appends every complete record to the list. A missing file is created
// empty. A failure raises EInOutError after the records read so far have been
// appended; a length that is not a multiple of 1556 ends with
// "Read beyond end of file".
void LoadSites(const std::string& path, TSiteList& list);

// Rewrites the whole file (through a temporary file, so a failure leaves the
// old file intact) and raises EInOutError on failure.
void SaveSites(const std::string& path, const TSiteList& list);

} // namespace plover

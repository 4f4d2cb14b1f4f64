// What the session window needs of the archive window: an archive to list
// and unpack into a destination folder, or to show. The archive window
// implements it and installs itself with TSessionShared::SetArchiveWindow;
// the interface lives here so that archive/ never includes session/.
#pragma once

#include <string>

namespace plover {

class IArchiveWindow {
public:
    virtual ~IArchiveWindow() = default;

    virtual void SetZipFileName(const std::string& path) = 0;
    // The destination folder (the window's AutoCreateDirEdit).
    virtual void SetAutoCreateDir(const std::string& path) = 0;
    virtual void LoadFileList() = 0;
    // Extracts every entry into the destination without showing the window.
    virtual void UnZipAll() = 0;
    virtual int ShowModal() = 0;
};

} // namespace plover

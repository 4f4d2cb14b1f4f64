// Where View puts the files it downloads: a folder of the program's own
// under the temporary directory, made on first use (mode 0700, a name no
// other program or user picks) and removed with everything in it when its
// owner, the site manager, goes at the program's end. The files viewed
// are copies the user did not choose to keep.
#pragma once

#include <string>

namespace plover {

class TViewFolder final {
public:
    // base: the temporary directory, ending in "/".
    explicit TViewFolder(std::string base);
    ~TViewFolder();
    TViewFolder(const TViewFolder&) = delete;
    TViewFolder& operator=(const TViewFolder&) = delete;

    // The folder, ending in "/"; made on the first call. Throws EInOutError
    // when it cannot be made.
    std::string Path();
    // Removes the folder and what it holds, if it was made; a later Path
    // makes a new one.
    void Remove();

private:
    std::string m_base;
    std::string m_path;
};

} // namespace plover

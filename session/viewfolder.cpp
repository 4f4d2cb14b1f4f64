#include "session/viewfolder.h"

#include "platform/exception.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace plover {

TViewFolder::TViewFolder(std::string base) : m_base(std::move(base))
{
    if (m_base.empty() || m_base.back() != '/')
        m_base += '/';
}

TViewFolder::~TViewFolder()
{
    Remove();
}

std::string TViewFolder::Path()
{
    if (!m_path.empty())
        return m_path;
    // mkdtemp makes the folder for this process alone, readable by the
    // user only: the files may be anything the server holds.
    std::string pattern = m_base + "plover-view-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw EInOutError::FromErrno(errno);
    m_path = std::string(buffer.data()) + "/";
    return m_path;
}

void TViewFolder::Remove()
{
    if (m_path.empty())
        return;
    // remove_all takes links away without following them, so nothing
    // outside the folder goes with it. A file still held open elsewhere
    // does not stop the rest.
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    m_path.clear();
}

} // namespace plover

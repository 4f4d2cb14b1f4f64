#include "app/sitelist.h"

#include "platform/text.h"

namespace plover {

int TSiteList::Add(const TFTPSiteRecord& record)
{
    m_entries.push_back({record.FTPSiteName.Get(), std::make_unique<TFTPSiteObject>(record)});
    return Count() - 1;
}

void TSiteList::Delete(int index)
{
    m_entries.erase(m_entries.begin() + index);
}

void TSiteList::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count())
        return;
    Entry moving = std::move(m_entries[from]);
    m_entries.erase(m_entries.begin() + from);
    m_entries.insert(m_entries.begin() + to, std::move(moving));
}

int TSiteList::IndexOf(std::string_view name) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameTextIgnoringCase(m_entries[i].name, name))
            return i;
    return -1;
}

} // namespace plover

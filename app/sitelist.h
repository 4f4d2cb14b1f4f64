// The site manager's list of profiles: (name, TFTPSiteObject) entries in the
// user's order. Duplicate names are allowed; every look-up by name ignores
// letter case and takes the first match.
#pragma once

#include "session/siterecord.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

class TSiteList final {
public:
    int Count() const { return static_cast<int>(m_entries.size()); }
    const std::string& Name(int index) const { return m_entries.at(index).name; }
    void SetName(int index, std::string name) { m_entries.at(index).name = std::move(name); }
    TFTPSiteObject& Object(int index) { return *m_entries.at(index).object; }
    const TFTPSiteObject& Object(int index) const { return *m_entries.at(index).object; }

    // Appends an entry named after the record's FTPSiteName; returns its index.
    int Add(const TFTPSiteRecord& record);
    void Delete(int index);
    // Moves the entry (with its object) from one index to another.
    void Move(int from, int to);
    void Clear() { m_entries.clear(); }

    // Index of the first entry whose name equals name ignoring case, or -1.
    int IndexOf(std::string_view name) const;

private:
    struct Entry {
        std::string name;
        std::unique_ptr<TFTPSiteObject> object;
    };
    std::vector<Entry> m_entries;
};

} // namespace plover

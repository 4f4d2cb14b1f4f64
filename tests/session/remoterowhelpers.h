// Finding and selecting remote rows by name, for the tests of the session
// and its window.
#pragma once

#include "session/ftpform.h"
#include "session/listing.h"
#include "session/remotefiles.h"
#include "session/remoterowsmodel.h"

#include <QItemSelectionModel>
#include <algorithm>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace plover::test {

// The index of the first row with that name, or -1.
inline int RowOf(const std::vector<std::string>& rows, const std::string& name)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (ExtractListingName(rows[i]) == name)
            return static_cast<int>(i);
    return -1;
}

inline std::vector<std::string> SortedNames(const std::vector<std::string>& rows)
{
    std::vector<std::string> out;
    for (const std::string& row : rows)
        out.push_back(ExtractListingName(row));
    std::sort(out.begin(), out.end());
    return out;
}

// Selects the named rows (the first is the current one) and turns the
// window to the remote side, as a press in the list would.
inline void SelectRemote(TFTPForm& form, std::initializer_list<const char*> names)
{
    QItemSelectionModel* selection = form.lFiles->selectionModel();
    selection->clearSelection();
    for (const char* n : names) {
        const int row = RowOf(form.RemoteRows(), n);
        ASSERT_GE(row, 0) << n;
        selection->select(form.RemoteModel().index(row), QItemSelectionModel::Select);
    }
    selection->setCurrentIndex(form.RemoteModel().index(RowOf(form.RemoteRows(), *names.begin())),
                               QItemSelectionModel::NoUpdate);
    form.ChangeButtonNames(true);
}

} // namespace plover::test

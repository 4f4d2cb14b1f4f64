// The remote rows of a session: the lines of the current listing as rows
// (session/listing.h), held in a list model that a view shows directly. A
// listing may hold 100,000 entries, so rows appended while it arrives are
// shown in batches. QtCore only: the session controller owns the rows, its
// window only shows them.
#pragma once

#include <QAbstractListModel>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

class TRemoteRowsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TRemoteRowsModel(QObject* parent = nullptr);

    // data() roles beyond Qt's: the row's text, and whether it names a
    // directory (as the directory test says).
    static constexpr int RowTextRole = Qt::UserRole;
    static constexpr int IsDirectoryRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Every row, pending ones included.
    const std::vector<std::string>& Rows() const;
    std::string Row(int index) const;
    void Append(std::string row);
    // Inserts before index (shown at once; pending rows stay pending).
    void Insert(int index, std::string row);
    void SetRow(int index, std::string row);
    void Remove(int index);
    void Clear();
    // Replaces all rows (after a sort).
    void SetRows(std::vector<std::string> rows);
    // Shows the rows appended since the last flush.
    void Flush();
    // Tells directory rows by their name (the session's DirLB); without
    // one, no row is a directory.
    void SetDirectoryTest(std::function<bool(std::string_view name)> isDirectory);
    [[nodiscard]] bool IsDirectory(int index) const;

private:
    std::vector<std::string> m_rows;
    int m_shown = 0; // rows the view knows of
    bool m_flushQueued = false;
    std::function<bool(std::string_view)> m_isDirectory;
};

} // namespace plover

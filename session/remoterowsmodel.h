// The remote rows of a session: the lines of the current listing as rows
// (session/listing.h), held in a list model that a view shows directly. A
// listing may hold 100,000 entries, so rows appended while it arrives are
// shown in batches. QtCore only: the session controller owns the rows, its
// window only shows them.
#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace plover {

class TRemoteRowsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TRemoteRowsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Every row, pending ones included.
    const std::vector<std::string>& Rows() const;
    std::string Row(int index) const;
    void Append(std::string row);
    void SetRow(int index, std::string row);
    void Remove(int index);
    void Clear();
    // Replaces all rows (after a sort).
    void SetRows(std::vector<std::string> rows);
    // Shows the rows appended since the last flush.
    void Flush();

private:
    std::vector<std::string> m_rows;
    int m_shown = 0; // rows the view knows of
    bool m_flushQueued = false;
};

} // namespace plover

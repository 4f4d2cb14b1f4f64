#include "session/remoterowsmodel.h"

#include "platform/text.h"
#include "session/listing.h"

#include <QTimer>
#include <algorithm>

namespace plover {

TRemoteRowsModel::TRemoteRowsModel(QObject* parent) : QAbstractListModel(parent) {}

int TRemoteRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant TRemoteRowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    const std::string& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ToQ(ListingDisplayName(row));
    case Qt::ToolTipRole:
        // The whole name, which the column may have cut short.
        return ToQ(ExtractListingName(row));
    case Qt::AccessibleDescriptionRole: {
        // What a sighted user reads from the icon and the other columns.
        if (IsDirectory(index.row()))
            return QStringLiteral("Directory");
        QString text = QStringLiteral("File");
        const std::string size = ListingSizeText(row);
        if (!size.empty())
            text += QStringLiteral(", %1 bytes").arg(ToQ(size));
        const std::string date = ExtractListingDate(row);
        if (!date.empty() && date != " ")
            text += QStringLiteral(", ") + ToQ(date);
        return text;
    }
    case RowTextRole:
        return ToQ(row);
    case IsDirectoryRole:
        return IsDirectory(index.row());
    default:
        return {};
    }
}

void TRemoteRowsModel::SetDirectoryTest(std::function<bool(std::string_view)> isDirectory)
{
    m_isDirectory = std::move(isDirectory);
}

bool TRemoteRowsModel::IsDirectory(int index) const
{
    if (!m_isDirectory || index < 0 || index >= static_cast<int>(m_rows.size()))
        return false;
    return m_isDirectory(ExtractListingName(m_rows[static_cast<std::size_t>(index)]));
}

const std::vector<std::string>& TRemoteRowsModel::Rows() const
{
    return m_rows;
}

std::string TRemoteRowsModel::Row(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return std::string();
    return m_rows[static_cast<std::size_t>(index)];
}

void TRemoteRowsModel::Append(std::string row)
{
    m_rows.push_back(std::move(row));
    if (!m_flushQueued) {
        // The listing's wait keeps the event loop running, so the rows
        // appear in batches while the listing is still arriving.
        m_flushQueued = true;
        QTimer::singleShot(50, this, [this] { Flush(); });
    }
}

void TRemoteRowsModel::Insert(int index, std::string row)
{
    index = std::clamp(index, 0, static_cast<int>(m_rows.size()));
    if (index > m_shown) {
        m_rows.insert(m_rows.begin() + index, std::move(row));
        return;
    }
    beginInsertRows(QModelIndex(), index, index);
    m_rows.insert(m_rows.begin() + index, std::move(row));
    ++m_shown;
    endInsertRows();
}

void TRemoteRowsModel::Flush()
{
    m_flushQueued = false;
    const int count = static_cast<int>(m_rows.size());
    if (count <= m_shown)
        return;
    beginInsertRows(QModelIndex(), m_shown, count - 1);
    m_shown = count;
    endInsertRows();
}

void TRemoteRowsModel::SetRow(int index, std::string row)
{
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return;
    m_rows[static_cast<std::size_t>(index)] = std::move(row);
    if (index < m_shown)
        emit dataChanged(this->index(index), this->index(index));
}

void TRemoteRowsModel::Remove(int index)
{
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return;
    if (index < m_shown) {
        beginRemoveRows(QModelIndex(), index, index);
        m_rows.erase(m_rows.begin() + index);
        --m_shown;
        endRemoveRows();
    } else {
        m_rows.erase(m_rows.begin() + index);
    }
}

void TRemoteRowsModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_shown = 0;
    endResetModel();
}

void TRemoteRowsModel::SetRows(std::vector<std::string> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_shown = static_cast<int>(m_rows.size());
    endResetModel();
}

} // namespace plover

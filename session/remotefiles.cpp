#include "session/remotefiles.h"

#include "session/listing.h"
#include "platform/text.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

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
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return ToQ(ListingDisplayName(row));
    if (role == Qt::UserRole)
        return ToQ(row);
    return {};
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

TRemoteFilesView::TRemoteFilesView(QWidget* parent) : QListView(parent) {}

void TRemoteFilesView::mousePressEvent(QMouseEvent* event)
{
    QListView::mousePressEvent(event);
    emit MousePressed(event->button(), event->position().toPoint());
}

TRemoteRowDelegate::TRemoteRowDelegate(QHeaderView* header, QObject* parent)
    : QStyledItemDelegate(parent), m_header(header)
{
}

QSize TRemoteRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {m_header->length(), RowHeight};
}

void TRemoteRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const std::string row = FromQ(index.data(Qt::UserRole).toString());
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool enabled = option.state & QStyle::State_Enabled;
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;

    painter->save();
    painter->fillRect(r, option.palette.brush(group, selected ? QPalette::Highlight : QPalette::Base));
    if (!enabled)
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
    else
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics fm(option.font);
    painter->setFont(option.font);

    const int x0 = r.left() + m_header->sectionSize(0);
    const int x1 = x0 + m_header->sectionSize(1);
    const int x2 = x1 + m_header->sectionSize(2);
    auto draw = [&](int from, int to, const QString& text, bool right) {
        if (text.isEmpty() || to <= from)
            return;
        painter->save();
        painter->setClipRect(QRect(from, r.top(), to - from, r.height()));
        const int x = right ? to - fm.horizontalAdvance(text) - 2 : from + 2;
        painter->drawText(QRect(x, r.top(), fm.horizontalAdvance(text) + 4, r.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
    };
    draw(r.left(), x0, ToQ(ListingDisplayName(row)), false);
    draw(x0, x1, ToQ(ExtractListingDate(row)), true);
    draw(x1, x2, ToQ(ListingSizeText(row)), true);
    painter->restore();
}

} // namespace plover

#include "session/remotefiles.h"

#include "platform/text.h"
#include "session/listing.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace plover {

TRemoteFilesView::TRemoteFilesView(QWidget* parent) : QListView(parent) {}

void TRemoteFilesView::mousePressEvent(QMouseEvent* event)
{
    QListView::mousePressEvent(event);
    emit MousePressed(event->button(), event->position().toPoint());
}

void TRemoteFilesView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit OpenRequested();
        event->accept();
        return;
    case Qt::Key_Backspace:
        emit UpRequested();
        event->accept();
        return;
    default:
        QListView::keyPressEvent(event);
    }
}

TRemoteRowCells RemoteRowCells(const std::string& row, bool directory, const QFontMetrics& metrics, int nameRoom,
                               int sizeRoom)
{
    TRemoteRowCells cells;
    cells.Name = metrics.elidedText(ToQ(ListingDisplayName(row)), Qt::ElideRight, std::max(nameRoom, 0));
    cells.Date = ToQ(ExtractListingDate(row));
    // A directory's size is what its entry takes on the server's disk, which
    // tells the user nothing.
    if (directory)
        return cells;
    // The most exact text that fits; the shortest when none does (the
    // column then cuts it, within its own bounds).
    for (const std::string& s : SizeTextsShortening(ExtractListingSize(row))) {
        cells.Size = ToQ(s);
        if (metrics.horizontalAdvance(cells.Size) <= sizeRoom)
            break;
    }
    return cells;
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
    const std::string row = FromQ(index.data(TRemoteRowsModel::RowTextRole).toString());
    const bool directory = index.data(TRemoteRowsModel::IsDirectoryRole).toBool();
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
    // Every text stays inside its own column: clipped there, and written to
    // fit it first, so nothing runs into its neighbour.
    auto draw = [&](int from, int to, const QString& text, Qt::Alignment align) {
        if (text.isEmpty() || to - from <= 2 * Padding)
            return;
        painter->save();
        painter->setClipRect(QRect(from, r.top(), to - from, r.height()));
        painter->drawText(QRect(from + Padding, r.top(), to - from - 2 * Padding, r.height()),
                          align | Qt::AlignVCenter, text);
        painter->restore();
    };

    const std::string name = ListingDisplayName(row);
    int nameLeft = r.left();
    if (directory) {
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        const QIcon icon = style->standardIcon(name == ".." ? QStyle::SP_FileDialogToParent : QStyle::SP_DirIcon);
        const int top = r.top() + (r.height() - IconSize) / 2;
        if (x0 - r.left() > IconSize + Padding) {
            painter->save();
            painter->setClipRect(QRect(r.left(), r.top(), x0 - r.left(), r.height()));
            icon.paint(painter, QRect(r.left() + Padding, top, IconSize, IconSize), Qt::AlignCenter,
                       enabled ? QIcon::Normal : QIcon::Disabled);
            painter->restore();
        }
        nameLeft += IconSize + Padding;
    }
    const TRemoteRowCells cells =
        RemoteRowCells(row, directory, fm, x0 - nameLeft - 2 * Padding, x2 - x1 - 2 * Padding);
    draw(nameLeft, x0, cells.Name, Qt::AlignLeft);
    draw(x0, x1, cells.Date, Qt::AlignRight);
    draw(x1, x2, cells.Size, Qt::AlignRight);
    painter->restore();
}

} // namespace plover

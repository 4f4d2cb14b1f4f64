#include "session/remotefiles.h"

#include "session/listing.h"
#include "platform/text.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

namespace plover {

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

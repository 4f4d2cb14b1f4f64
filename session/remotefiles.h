// The remote pane's list: a view of the session's rows (TRemoteRowsModel)
// that reports mouse presses after its own selection handling, and the
// delegate that draws each row in the header's three columns.
#pragma once

#include "session/remoterowsmodel.h"

#include <QListView>
#include <QStyledItemDelegate>

class QHeaderView;

namespace plover {

class TRemoteFilesView final : public QListView {
    Q_OBJECT
public:
    explicit TRemoteFilesView(QWidget* parent = nullptr);

signals:
    // After the view's own handling of the press.
    void MousePressed(Qt::MouseButton button, QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// lFilesDrawItem: name left-aligned, date and size right-aligned along the
// header's section widths; grey text while the list is disabled.
class TRemoteRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    TRemoteRowDelegate(QHeaderView* header, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int RowHeight = 16;

private:
    QHeaderView* m_header;
};

} // namespace plover

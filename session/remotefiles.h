// The remote pane's list: a view of the session's rows (TRemoteRowsModel)
// that reports mouse presses after its own selection handling and the keys
// that move between directories, and the delegate that draws each row in
// the header's three columns.
#pragma once

#include "session/remoterowsmodel.h"

#include <QListView>
#include <QStyledItemDelegate>
#include <string>

class QHeaderView;

namespace plover {

class TRemoteFilesView final : public QListView {
    Q_OBJECT
public:
    explicit TRemoteFilesView(QWidget* parent = nullptr);

signals:
    // After the view's own handling of the press.
    void MousePressed(Qt::MouseButton button, QPoint pos);
    // Enter or Return on the current row.
    void OpenRequested();
    // Backspace: the directory above.
    void UpRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The texts of a row's three columns, each fitted to the room its column
// leaves for text: the name cut short with an ellipsis, a file's size in
// the largest unit that fits (a directory shows none). Rooms in pixels.
struct TRemoteRowCells {
    QString Name;
    QString Date;
    QString Size;
};
[[nodiscard]] TRemoteRowCells RemoteRowCells(const std::string& row, bool directory, const QFontMetrics& metrics,
                                             int nameRoom, int sizeRoom);

// lFilesDrawItem: a folder icon before a directory's name, the name
// left-aligned and cut short with an ellipsis where its column ends, the
// date and a file's size right-aligned along the header's section widths
// (a size too wide for its column in a larger unit); grey text while the
// list is disabled.
class TRemoteRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    TRemoteRowDelegate(QHeaderView* header, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int RowHeight = 16;
    static constexpr int IconSize = 14;
    // Between a column's edge and its text.
    static constexpr int Padding = 2;

private:
    QHeaderView* m_header;
};

} // namespace plover

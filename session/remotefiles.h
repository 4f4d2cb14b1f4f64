// The remote pane's list: the rows of the current listing in a list model
// (a listing may hold 100,000 entries), a view that reports mouse presses
// after its own selection handling, and the delegate that draws each row in
// the header's three columns.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <string>
#include <vector>

class QHeaderView;

namespace plover {

// Rows are appended as listing lines arrive and shown in batches, so a long
// listing does not relayout the view once per line.
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

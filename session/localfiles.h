// The local pane's file list: the files of one directory matching the
// filter's masks, with the desktop's file glyphs and multiple selection.
#pragma once

#include <QListWidget>
#include <QStringList>

namespace plover {

class TFileListBox final : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    QString Directory() const { return m_directory; }
    void SetDirectory(const QString& directory);
    // Masks such as "*.txt"; "*" lists every file.
    void SetMasks(const QStringList& masks);
    // Reads the directory again.
    void Update();
    QStringList SelectedFiles() const;

signals:
    // After the list's own handling of the press.
    void MousePressed(Qt::MouseButton button, QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_directory;
    QStringList m_masks{QStringLiteral("*")};
};

} // namespace plover

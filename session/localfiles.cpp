#include "session/localfiles.h"

#include <QDir>
#include <QFileIconProvider>
#include <QMouseEvent>

namespace plover {

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

void TFileListBox::SetDirectory(const QString& directory)
{
    m_directory = directory;
    Update();
}

void TFileListBox::SetMasks(const QStringList& masks)
{
    m_masks = masks.isEmpty() ? QStringList{QStringLiteral("*")} : masks;
    Update();
}

void TFileListBox::Update()
{
    clear();
    if (m_directory.isEmpty())
        return;
    QDir dir(m_directory);
    static QFileIconProvider icons;
    const QFileInfoList files =
        dir.entryInfoList(m_masks, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : files)
        addItem(new QListWidgetItem(icons.icon(info), info.fileName()));
}

QStringList TFileListBox::SelectedFiles() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected())
            out << item(i)->text();
    return out;
}

void TFileListBox::mousePressEvent(QMouseEvent* event)
{
    QListWidget::mousePressEvent(event);
    emit MousePressed(event->button(), event->position().toPoint());
}

} // namespace plover

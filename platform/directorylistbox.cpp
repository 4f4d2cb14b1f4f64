#include "platform/directorylistbox.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

namespace plover {

namespace {

constexpr int PathRole = Qt::UserRole;

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setAccessibleName(QStringLiteral("Directories"));
    m_directory = QDir::rootPath();
    rebuild();
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        if (item)
            SetDirectory(item->data(0, PathRole).toString());
    });
}

bool TDirectoryListBox::SetDirectory(const QString& path)
{
    QFileInfo info(path);
    if (path.isEmpty() || !info.isDir())
        return false;
    QString dir = info.canonicalFilePath();
    if (dir.isEmpty())
        return false;
    const bool changed = dir != m_directory;
    m_directory = dir;
    rebuild();
    if (changed)
        emit DirectoryChanged(m_directory);
    return true;
}

void TDirectoryListBox::SetShowHidden(bool show)
{
    if (show == m_showHidden)
        return;
    m_showHidden = show;
    rebuild();
}

void TDirectoryListBox::rebuild()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirIcon);

    // The chain of open folders from "/" to the current directory.
    auto* item = new QTreeWidgetItem(this, QStringList(QStringLiteral("/")));
    item->setData(0, PathRole, QStringLiteral("/"));
    item->setIcon(0, openIcon);
    QString path;
    for (const QString& part : m_directory.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        item->setExpanded(true);
        item = new QTreeWidgetItem(item, QStringList(part));
        item->setData(0, PathRole, path);
        item->setIcon(0, openIcon);
    }
    QTreeWidgetItem* current = item;
    current->setExpanded(true);

    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (m_showHidden)
        filters |= QDir::Hidden;
    QDir dir(m_directory);
    const QString base = m_directory == QLatin1String("/") ? QString() : m_directory;
    for (const QString& name : dir.entryList(filters, QDir::Name | QDir::IgnoreCase)) {
        auto* child = new QTreeWidgetItem(current, QStringList(name));
        child->setData(0, PathRole, base + QLatin1Char('/') + name);
        child->setIcon(0, closedIcon);
    }
    setCurrentItem(current);
    scrollToItem(current);
}

} // namespace plover

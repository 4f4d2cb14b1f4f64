#include "platform/drivecombobox.h"

#include <QDir>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <algorithm>

namespace plover {

namespace {

// Kernel and runtime mounts hold nothing a user transfers; removable media
// under /run/media stay.
bool userVisibleRoot(const QString& root)
{
    if (root == QLatin1String("/"))
        return true;
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run/user", "/snap"})
        if (root == QLatin1String(prefix) || root.startsWith(QLatin1String(prefix) + QLatin1Char('/')))
            return false;
    if (root.startsWith(QLatin1String("/run/")) && !root.startsWith(QLatin1String("/run/media/")))
        return false;
    return true;
}

} // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent)
{
    setAccessibleName(QStringLiteral("Drive"));
    Refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { emit DriveChanged(Drive()); });
}

QStringList TDriveComboBox::MountedRoots()
{
    QStringList roots;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady())
            continue;
        const QString root = info.rootPath();
        if (userVisibleRoot(root) && !roots.contains(root))
            roots << root;
    }
    roots.removeAll(QStringLiteral("/"));
    std::sort(roots.begin(), roots.end());
    roots.prepend(QStringLiteral("/"));
    return roots;
}

void TDriveComboBox::Refresh()
{
    const QString current = Drive();
    QSignalBlocker block(this);
    clear();
    addItems(MountedRoots());
    const int i = findText(current);
    setCurrentIndex(i >= 0 ? i : 0);
}

QString TDriveComboBox::Drive() const
{
    return currentText();
}

void TDriveComboBox::SetDrive(const QString& root)
{
    int i = findText(root);
    if (i < 0) {
        addItem(root);
        i = count() - 1;
    }
    setCurrentIndex(i);
}

void TDriveComboBox::ShowDriveOf(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    int best = -1;
    int bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemText(i);
        const bool holds = root == QLatin1String("/") || clean == root || clean.startsWith(root + QLatin1Char('/'));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = static_cast<int>(root.size());
        }
    }
    QSignalBlocker block(this);
    if (best >= 0)
        setCurrentIndex(best);
}

} // namespace plover

// A selector of the mounted file systems, "/" first: the drive selector of
// the choose-directory dialog and of the session window's local pane.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace plover {

class TDriveComboBox final : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);

    // Root path of the selected file system.
    QString Drive() const;
    // Selects the file system mounted at root; an unknown root is added.
    void SetDrive(const QString& root);
    // Selects the file system that holds path, without a change signal.
    void ShowDriveOf(const QString& path);
    // Reads the mounted file systems again.
    void Refresh();

    // Mount points a user would browse: "/" first, then the others by name.
    static QStringList MountedRoots();

signals:
    void DriveChanged(const QString& root);
};

} // namespace plover

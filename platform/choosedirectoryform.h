// The modal "Choose Local Directory" dialog: a drive selector above a
// directory chooser, with OK and Cancel. Changing the drive moves the
// chooser to that drive's root.
#pragma once

#include <QDialog>

class QPushButton;

namespace plover {

class TDirectoryListBox;
class TDriveComboBox;

class TChooseDirectoryForm final : public QDialog {
    Q_OBJECT
public:
    explicit TChooseDirectoryForm(QWidget* parent = nullptr);

    // The chooser's current directory.
    QString Directory() const;
    void SetDirectory(const QString& path);

    TDriveComboBox* DriveComboBox1;
    TDirectoryListBox* DirectoryListBox1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace plover

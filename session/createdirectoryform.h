// The modal "Create directory" dialog: a directory name, OK or Cancel. One
// instance serves every session window; the edit keeps its last text.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace plover {

class TCreateDirectoryForm final : public QDialog {
    Q_OBJECT
public:
    explicit TCreateDirectoryForm(QWidget* parent = nullptr);

    QLineEdit* CreateDirEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

} // namespace plover

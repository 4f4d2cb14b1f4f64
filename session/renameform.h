// The modal rename dialog: one file name to edit, OK or Cancel. One
// instance serves every session window; the edit keeps its last text.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace plover {

class TRenameForm final : public QDialog {
    Q_OBJECT
public:
    explicit TRenameForm(QWidget* parent = nullptr);

    QLineEdit* RenameEdit;
    QPushButton* OK;
    QPushButton* Cancel;
};

} // namespace plover

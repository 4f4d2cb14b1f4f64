// The shared build of the session's two one-field dialogs (rename and
// create directory): a label with its edit as buddy, OK and Cancel, a
// fixed border, centred on the screen.
#pragma once

class QDialog;
class QLineEdit;
class QPushButton;

namespace plover {

struct TNameDialogNames {
    const char* Edit;
    const char* OK;
    const char* OKCaption;
    const char* Cancel;
    const char* CancelCaption;
};

void BuildNameDialog(QDialog& dialog, const char* objectName, const char* caption, const char* label,
                     const TNameDialogNames& names, QLineEdit*& edit, QPushButton*& ok, QPushButton*& cancel);

} // namespace plover

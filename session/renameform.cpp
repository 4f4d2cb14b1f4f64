#include "session/renameform.h"

#include "session/smalldialog.h"

#include <QLineEdit>
#include <QPushButton>

namespace plover {

TRenameForm::TRenameForm(QWidget* parent) : QDialog(parent)
{
    BuildNameDialog(*this, "RenameForm", "Rename", "File Name:", {"RenameEdit", "OK", "OK", "Cancel", "Cancel"},
                    RenameEdit, OK, Cancel);
}

} // namespace plover

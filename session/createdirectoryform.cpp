#include "session/createdirectoryform.h"

#include "session/smalldialog.h"

#include <QLineEdit>
#include <QPushButton>

namespace plover {

TCreateDirectoryForm::TCreateDirectoryForm(QWidget* parent) : QDialog(parent)
{
    BuildNameDialog(*this, "CreateDirectoryForm", "Create directory", "Directory Name:",
                    {"CreateDirEdit", "OKBtn", "OK", "CancelBtn", "Cancel"}, CreateDirEdit, OKBtn, CancelBtn);
}

} // namespace plover

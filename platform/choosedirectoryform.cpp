#include "platform/choosedirectoryform.h"

#include "platform/directorylistbox.h"
#include "platform/drivecombobox.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plover {

TChooseDirectoryForm::TChooseDirectoryForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ChooseDirectoryForm"));
    setWindowTitle(QStringLiteral("Choose Local Directory"));

    auto* layout = new QVBoxLayout(this);
    auto* driveLabel = new QLabel(QStringLiteral("&Drive:"));
    DriveComboBox1 = new TDriveComboBox;
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    driveLabel->setBuddy(DriveComboBox1);
    auto* dirLabel = new QLabel(QStringLiteral("&Folders:"));
    DirectoryListBox1 = new TDirectoryListBox;
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    dirLabel->setBuddy(DirectoryListBox1);
    layout->addWidget(driveLabel);
    layout->addWidget(DriveComboBox1);
    layout->addWidget(dirLabel);
    layout->addWidget(DirectoryListBox1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    OKButton = buttons->button(QDialogButtonBox::Ok);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = buttons->button(QDialogButtonBox::Cancel);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(DriveComboBox1, &TDriveComboBox::DriveChanged, this,
            [this](const QString& root) { DirectoryListBox1->SetDirectory(root); });
    connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this,
            [this](const QString& dir) { DriveComboBox1->ShowDriveOf(dir); });

    SetDirectory(QDir::homePath());
    resize(320, 360);
}

QString TChooseDirectoryForm::Directory() const
{
    return DirectoryListBox1->Directory();
}

void TChooseDirectoryForm::SetDirectory(const QString& path)
{
    if (DirectoryListBox1->SetDirectory(path))
        DriveComboBox1->ShowDriveOf(DirectoryListBox1->Directory());
}

} // namespace plover

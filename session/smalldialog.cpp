#include "session/smalldialog.h"

#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace plover {

void BuildNameDialog(QDialog& dialog, const char* objectName, const char* caption, const char* label,
                     const TNameDialogNames& names, QLineEdit*& edit, QPushButton*& ok, QPushButton*& cancel)
{
    dialog.setObjectName(QString::fromLatin1(objectName));
    dialog.setWindowTitle(QString::fromLatin1(caption));
    dialog.setModal(true);
    auto* text = new QLabel(QString::fromLatin1(label), &dialog);
    edit = new QLineEdit(&dialog);
    edit->setObjectName(QString::fromLatin1(names.Edit));
    edit->setMinimumWidth(220);
    text->setBuddy(edit);
    ok = new QPushButton(QString::fromLatin1(names.OKCaption), &dialog);
    ok->setObjectName(QString::fromLatin1(names.OK));
    ok->setDefault(true);
    cancel = new QPushButton(QString::fromLatin1(names.CancelCaption), &dialog);
    cancel->setObjectName(QString::fromLatin1(names.Cancel));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    auto* grid = new QGridLayout(&dialog);
    grid->addWidget(text, 0, 0);
    grid->addWidget(edit, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 1, 0, 1, 2);
    // A fixed dialog border: the dialog keeps the size its contents need.
    grid->setSizeConstraint(QLayout::SetFixedSize);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        dialog.adjustSize();
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    }
}

} // namespace plover

// The session window's rename, delete and make-directory commands on the
// local pane, in the local directory.
#include "session/ftpform.h"

#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/text.h"
#include "session/filecommands.h"
#include "session/localfileops.h"
#include "session/localfiles.h"
#include "session/renameform.h"

#include <QLineEdit>

namespace plover {

void TFTPForm::renameLocalFiles(TRenameForm& dialog)
{
    const std::string dir = localDirectory();
    for (const QString& f : FileListBox1->SelectedFiles()) {
        dialog.RenameEdit->setText(f);
        if (Dialogs::ShowModal(dialog) != mrOk)
            continue;
        // Never over a file already there. A failure is not reported: the
        // list, read again below, still shows the old name.
        (void)RenameLocalFile(JoinLocalPath(dir, FromQ(f)), JoinLocalPath(dir, FromQ(dialog.RenameEdit->text())));
    }
    FileListBox1->Update();
}

void TFTPForm::deleteLocalFiles(const std::function<bool(const std::string&)>& confirmed)
{
    const std::string dir = localDirectory();
    // As with rename, a file that could not go stays in the list.
    for (const QString& f : FileListBox1->SelectedFiles())
        if (confirmed(FromQ(f)))
            (void)DeleteLocalFile(JoinLocalPath(dir, FromQ(f)));
    FileListBox1->Update();
}

void TFTPForm::makeLocalDirectory(const std::string& name)
{
    const std::string path = JoinLocalPath(localDirectory(), name);
    if (MakeLocalDirectory(path).Ok())
        DirectoryListBox1->SetDirectory(ToQ(path));
    else
        Dialogs::ShowMessage(QStringLiteral("Directory creation failed."));
    reReadLocalTree();
}

} // namespace plover

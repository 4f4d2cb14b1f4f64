// The session window's file commands: copy, view, unzip, rename, delete and
// make directory, each in the remote or the local direction, and the work a
// finished View or Unzip download triggers.
#include "session/ftpform.h"

#include "archive/archivewindow.h"
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "session/createdirectoryform.h"
#include "session/filecommands.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "session/renameform.h"
#include "session/sessionshared.h"

#include <QLineEdit>
#include <QProgressBar>

namespace plover {

namespace {

const char* const ArchiveWindowMissing =
    "Unpacking archives is not available in this version: the archive window is missing.";

} // namespace

std::string TFTPForm::localDirectory() const
{
    return FromQ(DirectoryListBox1->Directory());
}

bool TFTPForm::remoteRowSelected(int row) const
{
    return lFiles->selectionModel()->isSelected(m_rows->index(row));
}

void TFTPForm::deselectRemoteRow(int row)
{
    lFiles->selectionModel()->select(m_rows->index(row), QItemSelectionModel::Deselect);
}

void TFTPForm::deselectLocalFile(const QString& name)
{
    for (QListWidgetItem* item : FileListBox1->findItems(name, Qt::MatchExactly))
        item->setSelected(false);
}

bool TFTPForm::acceptLocalName(const std::string& name)
{
    if (IsSafeRemoteName(name))
        return true;
    Dialogs::MessageDlg(ToQ(UnsafeNameMessage(name)), mtWarning, mbOK);
    return false;
}

void TFTPForm::reReadLocalTree()
{
    DirectoryListBox1->SetDirectory(DirectoryListBox1->Directory());
    FileListBox1->Update();
}

void TFTPForm::runCommand(const std::function<void()>& body)
{
    BusyScope busy(*this);
    try {
        body();
    } catch (...) {
        AllActive(true);
        unsetCursor();
        ProgressBar1->hide();
        ProgressBar1->setValue(0);
        SetPanelText(0, QStringLiteral("Ready"));
        throw;
    }
}

void TFTPForm::downloadRow(int row, const std::string& localFile)
{
    const std::string entry = m_rows->Row(row);
    const std::string name = ExtractListingName(entry);
    FTP1->RemoteFile = name;
    FTP1->LocalFile = localFile;
    SetPanelText(0, ToQ("Copying: " + name));
    Progress.SetSize(ExtractListingSize(entry));
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    // The engine fails a binary download that ends at another size than the
    // listing showed (a cut connection, a file changed since), leaving no file.
    FTP1->ExpectedSize = ExpectedListingSize(entry);
    FTP1->SetAction(ftpDownload);
}

void TFTPForm::uploadFile(const QString& name)
{
    const std::string local = JoinLocalPath(localDirectory(), FromQ(name));
    const int64_t size = LocalFileSize(local);
    const std::string remote = FileNamePart(FromQ(name));
    FTP1->LocalFile = local;
    FTP1->RemoteFile = remote;
    Progress.SetSize(size);
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    FTP1->SetAction(ftpUpload);
    deselectLocalFile(name);
    // Appended as it stands: the list is neither sorted nor fetched again.
    m_rows->Append(UploadedRow(remote, size));
    m_rows->Flush();
}

void TFTPForm::downloadSelectedRows(DownloadPurpose purpose)
{
    m_rows->Flush();
    const int count = m_rows->rowCount();
    for (int i = 0; i < count; ++i) {
        if (!remoteRowSelected(i))
            continue;
        const std::string name = ExtractListingName(m_rows->Row(i));
        if ((purpose == DownloadPurpose::Unzip && !IsZipName(name)) || DirLB.Contains(name) || !acceptLocalName(name))
            continue;
        if (purpose == DownloadPurpose::View)
            ViewAfterDownload = true;
        downloadRow(i, purpose == DownloadPurpose::View ? m_siteManager.ViewDirectory() + name
                                                        : JoinLocalPath(localDirectory(), name));
        // Only now is the file complete under its own name; a failed
        // download has thrown and leaves nothing to open or unpack.
        if (purpose != DownloadPurpose::Copy)
            afterDownload();
        deselectRemoteRow(i);
        FileListBox1->Update();
    }
}

void TFTPForm::DownloadClick()
{
    ViewAfterDownload = false;
    UnzipAfterDownload = false;
    AllActive(false);
    runCommand([this] {
        if (remoteDirection()) {
            downloadSelectedRows(DownloadPurpose::Copy);
        } else {
            for (const QString& f : FileListBox1->SelectedFiles())
                uploadFile(f);
        }
    });
    AllActive(true);
}

void TFTPForm::OpenButtonClick()
{
    UnzipAfterDownload = false;
    runCommand([this] {
        if (remoteDirection()) {
            downloadSelectedRows(DownloadPurpose::View);
        } else {
            for (const QString& f : FileListBox1->SelectedFiles())
                ShellOpen(JoinLocalPath(localDirectory(), FromQ(f)));
        }
    });
}

void TFTPForm::UnzipButtonClick()
{
    UnzipAfterDownload = true;
    ViewAfterDownload = false;
    runCommand([this] {
        if (remoteDirection()) {
            downloadSelectedRows(DownloadPurpose::Unzip);
            return;
        }
        for (const QString& f : FileListBox1->SelectedFiles()) {
            if (!IsZipName(FromQ(f)))
                continue;
            IArchiveWindow* archive = TSessionShared::ArchiveWindow();
            if (!archive) {
                Dialogs::MessageDlg(QString::fromLatin1(ArchiveWindowMissing), mtInformation, mbOK);
                return;
            }
            const std::string path = JoinLocalPath(localDirectory(), FromQ(f));
            archive->SetZipFileName(path);
            archive->SetAutoCreateDir(UnzipDestination(localDirectory(), path));
            archive->LoadFileList();
            archive->ShowModal();
            reReadLocalTree();
        }
    });
}

void TFTPForm::RenameButtonClick()
{
    runCommand([this] {
        TRenameForm& dialog = TSessionShared::RenameForm();
        if (remoteDirection()) {
            m_rows->Flush();
            for (int i = 0; i < m_rows->rowCount(); ++i) {
                if (!remoteRowSelected(i))
                    continue;
                const std::string row = m_rows->Row(i);
                const std::string name = ExtractListingName(row);
                if (DirLB.Contains(name))
                    continue;
                dialog.RenameEdit->setText(ToQ(name));
                if (Dialogs::ShowModal(dialog) != mrOk)
                    continue;
                const std::string newName = FromQ(dialog.RenameEdit->text());
                FTP1->RemoteFile = name;
                FTP1->AltFile = newName;
                FTP1->SetAction(ftpRenameFile);
                m_rows->SetRow(i, RenamedRow(row, newName));
            }
            return;
        }
        renameLocalFiles(dialog);
    });
}

void TFTPForm::DeleteButtonClick()
{
    auto confirmed = [](const std::string& name) {
        return Dialogs::MessageDlg(ToQ("Delete " + name + "?"), mtConfirmation, mbYes | mbNo) == mrYes;
    };
    runCommand([this, &confirmed] {
        if (remoteDirection()) {
            m_rows->Flush();
            for (int i = 0; i <= m_rows->rowCount() - 1; ++i) {
                if (!remoteRowSelected(i))
                    continue;
                const std::string name = ExtractListingName(m_rows->Row(i));
                if (!confirmed(name))
                    continue;
                FTP1->RemoteFile = name;
                FTP1->SetAction(DirLB.Contains(name) ? ftpRemoveDirectory : ftpDeleteFile);
                // The row below moves up into i and is looked at next.
                m_rows->Remove(i);
                --i;
            }
            return;
        }
        deleteLocalFiles(confirmed);
    });
}

void TFTPForm::MakeDirectoryButtonClick()
{
    runCommand([this] {
        TCreateDirectoryForm& dialog = TSessionShared::CreateDirectoryForm();
        if (Dialogs::ShowModal(dialog) != mrOk)
            return;
        const std::string name = FromQ(dialog.CreateDirEdit->text());
        if (remoteDirection()) {
            FTP1->RemoteFile = name;
            FTP1->SetAction(ftpMakeDirectory);
            ChangeDirectory(FTP1->RemotePath());
            return;
        }
        makeLocalDirectory(name);
    });
}

void TFTPForm::afterDownload()
{
    if (UnzipAfterDownload) {
        IArchiveWindow* archive = TSessionShared::ArchiveWindow();
        if (!archive) {
            Dialogs::MessageDlg(QString::fromLatin1(ArchiveWindowMissing), mtInformation, mbOK);
        } else {
            archive->SetZipFileName(FTP1->LocalFile);
            archive->SetAutoCreateDir(UnzipDestination(localDirectory(), FTP1->LocalFile));
            archive->LoadFileList();
            archive->UnZipAll();
            reReadLocalTree();
        }
    }
    if (ViewAfterDownload)
        ShellOpen(m_siteManager.ViewDirectory() + FTP1->RemoteFile);
}

} // namespace plover

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

std::vector<std::string> TFTPForm::selectedLocalFiles() const
{
    std::vector<std::string> out;
    for (const QString& f : FileListBox1->SelectedFiles())
        out.push_back(FromQ(f));
    return out;
}

bool TFTPForm::remoteRowSelected(int row) const
{
    return lFiles->selectionModel()->isSelected(m_session->Rows().index(row));
}

void TFTPForm::deselectRemoteRow(int row)
{
    lFiles->selectionModel()->select(RemoteModel().index(row), QItemSelectionModel::Deselect);
}

void TFTPForm::deselectLocalFile(const QString& name)
{
    for (QListWidgetItem* item : FileListBox1->findItems(name, Qt::MatchExactly))
        item->setSelected(false);
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
        showReady();
        unsetCursor();
        ProgressBar1->setValue(0);
        throw;
    }
}

void TFTPForm::showConnection(TConnection connection)
{
    if (connection != TConnection::NotConnected)
        return;
    SetPanelText(0, QStringLiteral("Not connected"));
    disableUnconnectedCommands();
}

void TFTPForm::StopMenuClick()
{
    m_session->Stop();
}

void TFTPForm::downloadSelectedRows(TAfterDownload after)
{
    RemoteModel().Flush();
    const std::string directory = after == TAfterDownload::View ? m_siteManager.ViewDirectory() : localDirectory();
    m_session->Download(SelectedRemoteRows(), after, directory);
}

void TFTPForm::downloadFinished(const TFinishedDownload& download)
{
    if (download.After == TAfterDownload::Unzip)
        (void)unpackArchive(download.LocalFile, false);
    if (download.After == TAfterDownload::View)
        viewFile(m_siteManager.ViewDirectory() + download.RemoteFile);
    deselectRemoteRow(download.Row);
    FileListBox1->Update();
}

void TFTPForm::viewFile(const std::string& path)
{
    if (ShellOpen(path))
        return;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    Dialogs::MessageDlg(ToQ("No application on this desktop opens \"" + FileNamePart(path) + "\". The file is in " +
                            folder + "."),
                        mtInformation, mbOK);
}

bool TFTPForm::unpackArchive(const std::string& path, bool showWindow)
{
    IArchiveWindow* archive = TSessionShared::ArchiveWindow();
    if (!archive) {
        Dialogs::MessageDlg(QString::fromLatin1(ArchiveWindowMissing), mtInformation, mbOK);
        return false;
    }
    archive->SetZipFileName(path);
    archive->SetAutoCreateDir(UnzipDestination(localDirectory(), path));
    archive->LoadFileList();
    if (showWindow)
        archive->ShowModal();
    else
        archive->UnZipAll();
    reReadLocalTree();
    return true;
}

void TFTPForm::DownloadClick()
{
    AllActive(false);
    runCommand([this] {
        if (remoteDirection())
            downloadSelectedRows(TAfterDownload::Nothing);
        else
            m_session->Upload(selectedLocalFiles(), localDirectory());
    });
    AllActive(true);
}

void TFTPForm::OpenButtonClick()
{
    runCommand([this] {
        if (remoteDirection()) {
            downloadSelectedRows(TAfterDownload::View);
        } else {
            for (const QString& f : FileListBox1->SelectedFiles())
                viewFile(JoinLocalPath(localDirectory(), FromQ(f)));
        }
    });
}

void TFTPForm::UnzipButtonClick()
{
    runCommand([this] {
        if (remoteDirection()) {
            downloadSelectedRows(TAfterDownload::Unzip);
            return;
        }
        for (const QString& f : FileListBox1->SelectedFiles()) {
            if (!IsZipName(FromQ(f)))
                continue;
            // Without an archive window the user has been told once; the
            // other archives would only repeat it.
            if (!unpackArchive(JoinLocalPath(localDirectory(), FromQ(f)), true))
                return;
        }
    });
}

void TFTPForm::RenameButtonClick()
{
    runCommand([this] {
        TRenameForm& dialog = TSessionShared::RenameForm();
        if (!remoteDirection()) {
            renameLocalFiles(dialog);
            return;
        }
        TRemoteRowsModel& rows = RemoteModel();
        rows.Flush();
        for (int i = 0; i < rows.rowCount(); ++i) {
            if (!remoteRowSelected(i))
                continue;
            const std::string name = ExtractListingName(rows.Row(i));
            if (m_session->DirLB.Contains(name))
                continue;
            dialog.RenameEdit->setText(ToQ(name));
            if (Dialogs::ShowModal(dialog) != mrOk)
                continue;
            m_session->RenameRemote(i, FromQ(dialog.RenameEdit->text()));
        }
    });
}

void TFTPForm::DeleteButtonClick()
{
    auto confirmed = [](const std::string& name) {
        return Dialogs::MessageDlg(ToQ("Delete " + name + "?"), mtConfirmation, mbYes | mbNo) == mrYes;
    };
    runCommand([this, &confirmed] {
        if (!remoteDirection()) {
            deleteLocalFiles(confirmed);
            return;
        }
        TRemoteRowsModel& rows = RemoteModel();
        rows.Flush();
        for (int i = 0; i <= rows.rowCount() - 1; ++i) {
            if (!remoteRowSelected(i))
                continue;
            if (!confirmed(ExtractListingName(rows.Row(i))))
                continue;
            m_session->DeleteRemote(i);
            // The row below moves up into i and is looked at next.
            --i;
        }
    });
}

void TFTPForm::MakeDirectoryButtonClick()
{
    runCommand([this] {
        TCreateDirectoryForm& dialog = TSessionShared::CreateDirectoryForm();
        if (Dialogs::ShowModal(dialog) != mrOk)
            return;
        const std::string name = FromQ(dialog.CreateDirEdit->text());
        if (remoteDirection())
            m_session->MakeRemoteDirectory(name);
        else
            makeLocalDirectory(name);
    });
}

} // namespace plover

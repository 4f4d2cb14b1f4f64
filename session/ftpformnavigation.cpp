// Finding one's way in the session window's remote pane: the path field
// shows the directory the server is in, a ".." row leads up where the
// server lists none, Enter opens the current directory row, Backspace goes
// up and F5 reads both panes again.
#include "session/ftpform.h"

#include "platform/directorylistbox.h"
#include "platform/text.h"
#include "session/listing.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "session/remoterowsmodel.h"

#include <QLineEdit>

namespace plover {

void TFTPForm::showRemotePath(const std::string& path)
{
    std::string shown = path;
    // A profile may name no directory, or one relative to the log-on
    // directory: only the server knows where that is.
    if ((shown.empty() || shown[0] != '/') && FTP1->Connected() && FTP1->Action() == ftpIdle)
        shown = FTP1->RemotePath();
    m_remotePath = shown;
    eRemotePath->setText(ToQ(shown));
}

void TFTPForm::offerParentRow()
{
    TRemoteRowsModel& rows = RemoteModel();
    if (IsRemoteRoot(m_remotePath) || HasParentRow(rows.Rows()))
        return;
    // Listed like a server's own "..": a directory, below "." if there is one.
    m_session->DirLB.Add("..");
    const bool dotFirst = !rows.Rows().empty() && ExtractListingName(rows.Rows().front()) == ".";
    rows.Insert(dotFirst ? 1 : 0, ParentDirectoryRow());
}

std::string TFTPForm::remoteDirectoryOf(const std::string& name)
{
    // The server's own way up, whatever its paths look like.
    if (name == "..")
        return name;
    return JoinRemotePath(FTP1->RemotePath(), name);
}

void TFTPForm::openCurrentRemoteDirectory()
{
    const QModelIndex current = lFiles->currentIndex();
    if (!current.isValid())
        return;
    // Only a directory: for a file, Enter would copy in whatever direction
    // the mouse last chose, which the keyboard user may not know.
    const std::string name = ExtractListingName(RemoteModel().Row(current.row()));
    if (m_session->DirLB.Contains(name))
        ChangeDirectory(remoteDirectoryOf(name));
}

void TFTPForm::goUp()
{
    if (!IsRemoteRoot(m_remotePath))
        ChangeDirectory("..");
}

void TFTPForm::refresh()
{
    reReadLocalTree();
    // Never a listing in the middle of another action; the connection may
    // also be gone.
    if (FTP1->Connected() && !m_session->Busy())
        ChangeDirectory(m_remotePath.empty() ? FTP1->RemotePath() : m_remotePath);
}

} // namespace plover

#include "session/ftpsession.h"

#include "platform/text.h"
#include "session/filecommands.h"
#include "session/named.h"
#include "session/remoterowsmodel.h"

#include <QFileInfo>

namespace plover {

TFTPSession::TFTPSession(QObject* parent)
    : QObject(parent), m_ftp(named(new TFTP(this), "FTP1")), m_rows(new TRemoteRowsModel(this))
{
    m_ftp->OnError = [this](TCorvidBase*, int code, const std::string& text) { FTP1Error(code, text); };
    m_ftp->OnDirList = [this](QObject*, const std::string& line) { FTP1DirList(line); };
    m_ftp->OnStartTransfer = [this](QObject*) { FTP1StartTransfer(); };
    m_ftp->OnTransfer = [this](QObject*, int64_t n, const std::string&) { FTP1Transfer(n); };
    m_ftp->OnEndTransfer = [this](QObject*) { FTP1EndTransfer(); };
}

TFTPSession::~TFTPSession() = default;

void TFTPSession::SetTimeOut(int seconds)
{
    m_ftp->SetTimeOut(seconds);
}

const std::vector<std::string>& TFTPSession::RemoteRows() const
{
    return m_rows->Rows();
}

bool TFTPSession::Busy() const
{
    return m_operations > 0 || m_ftp->Action() != ftpIdle;
}

void TFTPSession::Open(const TFTPSiteRecord& site)
{
    Operation running(*this);
    TFTP& ftp = *m_ftp;
    ftp.SetWinsockLoaded(true);
    const HostAndPort server = SplitServerField(site.FTPServer.Get());
    ftp.SetRemoteHost(server.Host);
    ftp.SetRemotePort(server.Port);
    const std::string local = site.LocalDirectory.Get();
    if (!local.empty() && QFileInfo(ToQ(local)).isDir())
        fire(OnLocalDirectory, local);
    ftp.SetTransferMode(tmBinary);
    ftp.SetDataConnectionMode(site.DataConnectionMode());
    ftp.RemoteFile.clear();
    ftp.User = site.UserName.Get();
    ftp.Password = site.Password.Get();
    ftp.SetAction(ftpLogon);

    const std::string remote = site.RemoteDirectory.Get();
    try {
        if (!remote.empty())
            ftp.SetRemotePath(remote);
        fire(OnRemotePath, remote);
    } catch (const std::exception&) {
        // Whatever went wrong with the profile's directory, the session
        // still starts, at the root.
        fire(OnInvalidDirectory, remote);
        fire(OnRemotePath, std::string("/"));
        ftp.SetRemotePath("/");
    }
    DirLB.Clear();
    m_rows->Clear();
    list();
}

void TFTPSession::ChangeDirectory(const std::string& path)
{
    Operation running(*this);
    try {
        m_ftp->SetRemotePath(path);
    } catch (const EFTP&) {
        if (path.empty() || path[0] != '/') {
            ChangeDirectory("/" + path);
        } else if (path != "/" && m_rows->Rows().empty()) {
            // Nothing listed to stay in: the root is the one directory
            // every server has.
            fire(OnInvalidDirectory, path);
            ChangeDirectory("/");
            fire(OnRemotePath, std::string("/"));
        }
        // Otherwise the server stayed where it was: that is listed again.
    }
    m_ftp->RemoteFile.clear();
    m_rows->Clear();
    DirLB.Clear();
    fire(OnActivity, TSessionActivity::Listing);
    fire(OnRemotePath, m_ftp->RemotePath());
    list();
}

void TFTPSession::list()
{
    m_ftp->SetAction(ftpListDirectoryLong);
    m_rows->Flush();
}

void TFTPSession::downloadRow(const std::string& row, const std::string& localFile)
{
    const std::string name = ExtractListingName(row);
    m_ftp->RemoteFile = name;
    m_ftp->LocalFile = localFile;
    Progress.SetSize(ExtractListingSize(row));
    fire(OnCopyStarting, TCopyStart{true, name, Progress.Size()});
    // The engine fails a binary download that ends at another size than the
    // listing showed (a cut connection, a file changed since), leaving no file.
    m_ftp->ExpectedSize = ExpectedListingSize(row);
    m_ftp->SetAction(ftpDownload);
}

void TFTPSession::Download(const std::vector<int>& rows, TAfterDownload after, const std::string& directory)
{
    Operation running(*this);
    m_after = after;
    for (int i : rows) {
        const std::string row = m_rows->Row(i);
        const std::string name = ExtractListingName(row);
        if ((after == TAfterDownload::Unzip && !IsZipName(name)) || DirLB.Contains(name))
            continue;
        // A name like "../x" would write outside the chosen folder.
        if (!IsSafeRemoteName(name)) {
            fire(OnNameRefused, name);
            continue;
        }
        downloadRow(row, JoinLocalPath(directory, name));
        // Only now is the file complete under its own name; a failed
        // download has thrown and leaves nothing to open or unpack.
        fire(OnDownloadFinished, TFinishedDownload{i, m_ftp->RemoteFile, m_ftp->LocalFile, after});
    }
}

void TFTPSession::Upload(const std::vector<std::string>& files, const std::string& directory)
{
    Operation running(*this);
    for (const std::string& file : files) {
        const std::string local = JoinLocalPath(directory, file);
        const int64_t size = LocalFileSize(local);
        const std::string remote = FileNamePart(file);
        m_ftp->LocalFile = local;
        m_ftp->RemoteFile = remote;
        Progress.SetSize(size);
        fire(OnCopyStarting, TCopyStart{false, remote, size});
        m_ftp->SetAction(ftpUpload);
        fire(OnUploadFinished, file);
        // Appended as it stands: the list is neither sorted nor fetched again.
        m_rows->Append(UploadedRow(remote, size));
        m_rows->Flush();
    }
}

void TFTPSession::RenameRemote(int row, const std::string& newName)
{
    Operation running(*this);
    const std::string text = m_rows->Row(row);
    m_ftp->RemoteFile = ExtractListingName(text);
    m_ftp->AltFile = newName;
    m_ftp->SetAction(ftpRenameFile);
    m_rows->SetRow(row, RenamedRow(text, newName));
}

void TFTPSession::DeleteRemote(int row)
{
    Operation running(*this);
    const std::string name = ExtractListingName(m_rows->Row(row));
    m_ftp->RemoteFile = name;
    m_ftp->SetAction(DirLB.Contains(name) ? ftpRemoveDirectory : ftpDeleteFile);
    m_rows->Remove(row);
}

void TFTPSession::MakeRemoteDirectory(const std::string& name)
{
    Operation running(*this);
    m_ftp->RemoteFile = name;
    m_ftp->SetAction(ftpMakeDirectory);
    ChangeDirectory(m_ftp->RemotePath());
}

void TFTPSession::Close()
{
    Operation running(*this);
    try {
        m_ftp->SetAction(ftpLogoff);
        m_ftp->SetWinsockLoaded(false);
    } catch (const EFTP&) {
        // A connection that cannot log off cleanly is dropped with the session.
    }
}

TFTPSiteRecord TFTPSession::ConnectionRecord(const std::string& siteName, const std::string& localDirectory)
{
    // The server as the user gave it (a name stays a name).
    TFTPSiteRecord site = MakeSiteRecord(siteName, JoinServerField(m_ftp->RemoteHostName(), m_ftp->RemotePort()),
                                         m_ftp->RemotePath(), localDirectory, m_ftp->User, m_ftp->Password);
    // The mode that worked, once one has, so the new session does not fail
    // over again.
    site.SetDataConnectionMode(m_ftp->WorkingDataMode());
    return site;
}

void TFTPSession::FTP1DirList(const std::string& DirEntry)
{
    TListingLine parsed = ParseListingLine(DirEntry, ShowDotFiles);
    if (parsed.AddRow)
        m_rows->Append(std::move(parsed.Row));
    if (parsed.IsDirectory)
        DirLB.Add(parsed.Name);
}

void TFTPSession::FTP1StartTransfer()
{
    Progress.Start(MonotonicMilliseconds());
    fire(OnActivity, TSessionActivity::Transferring);
}

void TFTPSession::FTP1Transfer(int64_t BytesTransferred)
{
    fire(OnProgress, Progress.Update(BytesTransferred, MonotonicMilliseconds()));
}

void TFTPSession::FTP1EndTransfer()
{
    m_rows->Flush();
    fire(OnActivity, TSessionActivity::Idle);
}

void TFTPSession::FTP1Error(int ErrorCode, const std::string& Description)
{
    fire(OnError, ErrorCode, Description);
}

} // namespace plover

#include "session/ftpsession.h"

#include "net/errorcodes.h"
#include "platform/text.h"
#include "session/filecommands.h"
#include "session/named.h"
#include "session/remoterowsmodel.h"

#include <QDir>
#include <QFileInfo>

namespace plover {

bool CommandNeedsConnection(TFileCommand command, TCommandDirection direction)
{
    if (direction == TCommandDirection::Remote)
        return true;
    return command == TFileCommand::Copy || command == TFileCommand::CopyLater;
}

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

void TFTPSession::run(const std::function<void()>& body)
{
    const bool outermost = m_operations == 0;
    // A command its window goes on with after the close (between two
    // items) has nothing left to work on.
    if (outermost && m_ending == TEnding::Closed)
        return;
    ++m_operations;
    try {
        body();
    } catch (...) {
        --m_operations;
        if (!outermost)
            throw;
        // A stopped or closed operation fails by design: the abort or the
        // interrupt ended its wait. Its owner asked for that.
        const bool quiet = ending();
        finishOperation();
        if (!quiet)
            throw;
        return;
    }
    --m_operations;
    if (outermost)
        finishOperation();
}

void TFTPSession::finishOperation()
{
    if (m_ending == TEnding::Closed) {
        // The wait was cut short, so the server's state is unknown: no QUIT
        // to wait for, only the connection dropped.
        QuietErrors quiet(*m_ftp);
        m_ftp->SetConnected(false);
        m_ftp->SetWinsockLoaded(false);
        m_connection = TConnection::NotConnected;
        return;
    }
    if (m_ending == TEnding::Stopped) {
        m_ending = TEnding::None;
        // The aborted transfer may end before its data connection reports
        // its close: the owner returns to idle here in any case.
        fire(OnActivity, TSessionActivity::Idle);
    }
    if (m_connection == TConnection::LoggedOn && !m_ftp->Connected())
        setConnection(TConnection::NotConnected);
}

void TFTPSession::setConnection(TConnection connection)
{
    if (m_connection == connection)
        return;
    m_connection = connection;
    fire(OnConnection, connection);
}

void TFTPSession::logOn()
{
    setConnection(TConnection::Connecting);
    try {
        m_ftp->SetAction(ftpLogon);
    } catch (...) {
        // A refused log-on leaves the control connection open; every later
        // command would only hear the refusal again.
        if (m_ftp->Connected()) {
            QuietErrors quiet(*m_ftp);
            if (ending())
                m_ftp->SetConnected(false);
            else
                m_ftp->SetAction(ftpLogoff);
        }
        setConnection(TConnection::NotConnected);
        throw;
    }
    setConnection(TConnection::LoggedOn);
}

void TFTPSession::transfer(TFTPActions action)
{
    m_transferring = true;
    fire(OnStoppable, true);
    struct Done {
        TFTPSession& s;
        ~Done()
        {
            s.m_transferring = false;
            s.fire(s.OnStoppable, false);
        }
    } done{*this};
    m_ftp->SetAction(action);
}

void TFTPSession::Stop()
{
    if (!m_transferring || ending())
        return;
    m_ending = TEnding::Stopped;
    // A failed abort (a broken connection) needs no report: the transfer
    // it meant to stop fails by itself.
    QuietErrors quiet(*m_ftp);
    m_ftp->SetAction(ftpAbort);
}

void TFTPSession::SetShowDotFiles(bool on)
{
    if (on == ShowDotFiles)
        return;
    ShowDotFiles = on;
    if (m_connection == TConnection::LoggedOn && !Busy())
        ListAgain();
}

void TFTPSession::ListAgain()
{
    run([this] {
        m_rows->Clear();
        DirLB.Clear();
        fire(OnActivity, TSessionActivity::Listing);
        list();
    });
}

void TFTPSession::Open(const TFTPSiteRecord& site)
{
    run([&] {
        TFTP& ftp = *m_ftp;
        ftp.SetWinsockLoaded(true);
        const HostAndPort server = SplitServerField(site.FTPServer.Get());
        ftp.SetRemoteHost(server.Host);
        ftp.SetRemotePort(server.Port);
        const std::string local = site.LocalDirectory.Get();
        if (!local.empty() && QFileInfo(ToQ(local)).isDir()) {
            fire(OnLocalDirectory, local);
        } else if (!local.empty()) {
            // The user's own folder is where local work goes on, not the root.
            fire(OnLocalDirectory, FromQ(QDir::homePath()));
            fire(OnMissingLocalDirectory, local);
        }
        ftp.SetTransferMode(tmBinary);
        ftp.SetDataConnectionMode(site.DataConnectionMode());
        ftp.RemoteFile.clear();
        ftp.User = site.UserName.Get();
        ftp.Password = site.Password.Get();
        logOn();

        const std::string remote = site.RemoteDirectory.Get();
        try {
            if (!remote.empty())
                ftp.SetRemotePath(remote);
            fire(OnRemotePath, remote);
        } catch (const std::exception&) {
            if (ending())
                throw;
            // Whatever went wrong with the profile's directory, the session
            // still starts, at the root.
            fire(OnInvalidDirectory, remote);
            fire(OnRemotePath, std::string("/"));
            ftp.SetRemotePath("/");
        }
        DirLB.Clear();
        m_rows->Clear();
        list();
    });
}

void TFTPSession::ChangeDirectory(const std::string& path)
{
    run([&] {
        // A session that lost (or never had) its connection logs on again,
        // so that the path goes to the server rather than into FTP1's memory.
        if (m_connection != TConnection::LoggedOn || !m_ftp->Connected())
            logOn();
        try {
            m_ftp->SetRemotePath(path);
        } catch (const EFTP&) {
            if (ending())
                throw;
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
    });
}

void TFTPSession::list()
{
    // FTP1 sends RemoteFile as LIST's argument: empty for the current
    // directory, "-a" to ask for names starting with ".", which many
    // servers leave out of a plain LIST.
    struct Reset {
        TFTP& ftp;
        ~Reset() { ftp.RemoteFile.clear(); }
    } reset{*m_ftp};
    const bool all = ShowDotFiles && !m_listAllRefused;
    m_ftp->RemoteFile = all ? "-a" : "";
    try {
        transfer(ftpListDirectoryLong);
    } catch (const EFTP& e) {
        // A server that takes no options refuses it for good (5xx): plain
        // LIST from now on.
        if (!all || ending() || e.Code != EngineError::ReplyFailed || m_ftp->LastErrorText.rfind('5', 0) != 0)
            throw;
        m_listAllRefused = true;
        m_rows->Clear();
        DirLB.Clear();
        m_ftp->RemoteFile.clear();
        transfer(ftpListDirectoryLong);
    }
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
    transfer(ftpDownload);
}

void TFTPSession::Download(const std::vector<int>& rows, TAfterDownload after, const std::string& directory)
{
    run([&] {
        m_after = after;
        for (int i : rows) {
            if (ending())
                break;
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
    });
}

void TFTPSession::Upload(const std::vector<std::string>& files, const std::string& directory)
{
    run([&] {
        for (const std::string& file : files) {
            if (ending())
                break;
            const std::string local = JoinLocalPath(directory, file);
            const int64_t size = LocalFileSize(local);
            const std::string remote = FileNamePart(file);
            m_ftp->LocalFile = local;
            m_ftp->RemoteFile = remote;
            Progress.SetSize(size);
            fire(OnCopyStarting, TCopyStart{false, remote, size});
            transfer(ftpUpload);
            fire(OnUploadFinished, file);
            // Appended as it stands: the list is neither sorted nor fetched again.
            m_rows->Append(UploadedRow(remote, size));
            m_rows->Flush();
        }
    });
}

void TFTPSession::RenameRemote(int row, const std::string& newName)
{
    run([&] {
        const std::string text = m_rows->Row(row);
        m_ftp->RemoteFile = ExtractListingName(text);
        m_ftp->AltFile = newName;
        m_ftp->SetAction(ftpRenameFile);
        m_rows->SetRow(row, RenamedRow(text, newName));
    });
}

void TFTPSession::DeleteRemote(int row)
{
    run([&] {
        const std::string name = ExtractListingName(m_rows->Row(row));
        m_ftp->RemoteFile = name;
        m_ftp->SetAction(DirLB.Contains(name) ? ftpRemoveDirectory : ftpDeleteFile);
        m_rows->Remove(row);
    });
}

void TFTPSession::MakeRemoteDirectory(const std::string& name)
{
    run([&] {
        m_ftp->RemoteFile = name;
        m_ftp->SetAction(ftpMakeDirectory);
        ChangeDirectory(m_ftp->RemotePath());
    });
}

void TFTPSession::Close()
{
    if (m_ending == TEnding::Closed)
        return;
    const bool waiting = Busy();
    m_ending = TEnding::Closed;
    m_connection = TConnection::NotConnected;
    if (waiting) {
        // Inside a wait: end it now (a transfer's partial file goes with
        // it); the operation that ran it drops the connection as it returns.
        QuietErrors quiet(*m_ftp);
        m_ftp->SetAction(ftpIdle);
        return;
    }
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
    // The owner is to see a lost connection as such when it reacts.
    if (!m_ftp->Connected() && m_connection == TConnection::LoggedOn)
        m_connection = TConnection::NotConnected;
    fire(OnError, ErrorCode, Description);
    if (m_connection == TConnection::NotConnected)
        fire(OnConnection, TConnection::NotConnected);
}

} // namespace plover

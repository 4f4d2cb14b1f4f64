// TFTPSession: the work of one FTP session without a window. It owns the
// connection (FTP1), the rows of the remote directory and the names of its
// directories, the progress of the running transfer and what is to happen
// to a finished download; it logs on and lists, changes directory, copies
// files both ways, renames, deletes and makes remote directories. Whoever
// shows the session (the session window, a background copy window) sets
// its events and calls its operations. QtCore only.
//
// Operations wait inside FTP1 until the server has answered, as the
// component does, and raise its exceptions (EFTP, ...); the events below
// are called while they wait. An operation the user stopped, or one whose
// owner closed the session meanwhile, ends quietly instead.
#pragma once

#include "net/ftp.h"
#include "session/ftpformlayout.h"
#include "session/listing.h"
#include "session/progress.h"
#include "session/siterecord.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plover {

class TRemoteRowsModel;

// What a download is for, and so what its owner does once the file is
// complete: nothing more, open it, or unpack it.
enum class TAfterDownload : std::uint8_t { Nothing, View, Unzip };

// What the session is busy with, as its window shows it: a listing was
// asked for (the hourglass), a data connection is open (controls
// disabled), the data connection has closed (ready again).
enum class TSessionActivity : std::uint8_t { Listing, Transferring, Idle };

// Whether the session holds a logged-on connection: not opened yet,
// logging on, logged on, or not connected (the log-on failed, the
// connection was lost, or the session closed).
enum class TConnection : std::uint8_t { Unopened, Connecting, LoggedOn, NotConnected };

// Whether a file command needs the session's connection: every remote one
// does; on the local side only copy (an upload) and background copy.
[[nodiscard]] bool CommandNeedsConnection(TFileCommand command, TCommandDirection direction);

// A file transfer a command is about to start.
struct TCopyStart {
    bool Download = true;
    std::string RemoteFile;
    int64_t Size = 0;  // bytes; 0 when unknown
};

// A download that completed under its own name.
struct TFinishedDownload {
    int Row = -1;  // the remote row it came from
    std::string RemoteFile;
    std::string LocalFile;
    TAfterDownload After = TAfterDownload::Nothing;
};

class TFTPSession final : public QObject {
    Q_OBJECT
public:
    explicit TFTPSession(QObject* parent = nullptr);
    ~TFTPSession() override;
    TFTPSession(const TFTPSession&) = delete;
    TFTPSession& operator=(const TFTPSession&) = delete;

    TFTP& FTP() { return *m_ftp; }
    const TFTP& FTP() const { return *m_ftp; }
    void SetTimeOut(int seconds);

    // The remote rows, in the listing's order or as last sorted.
    TRemoteRowsModel& Rows() { return *m_rows; }
    const std::vector<std::string>& RemoteRows() const;
    // The names of the listing's directory and link entries.
    TDirectoryNames DirLB;
    // The running transfer's figures; Download and Upload set the size.
    TTransferProgress Progress;
    // Whether listings ask for names starting with "." and keep them (read
    // per line).
    bool ShowDotFiles = false;

    // What the last download command asked for.
    TAfterDownload AfterDownload() const { return m_after; }
    // An operation runs, or FTP1 waits in an action: the session (and so
    // its owner) must not be freed now.
    bool Busy() const;
    TConnection Connection() const { return m_connection; }
    // A download, upload or listing runs: what Stop stops.
    bool Stoppable() const { return m_transferring; }
    // Changes ShowDotFiles; logged on and idle, the directory is listed
    // again at once, so the change shows.
    void SetShowDotFiles(bool on);

    // Logs on to the profile's server and lists its remote directory: the
    // socket library, host and port; the local directory when it exists
    // (OnLocalDirectory), else the home folder and OnMissingLocalDirectory;
    // binary mode, the profile's data-connection mode,
    // user and password; log-on; the remote directory, or "/" when the
    // server refuses it (OnInvalidDirectory); then the listing. Failures to
    // load, resolve or log on propagate, leaving the session not connected.
    void Open(const TFTPSiteRecord& site);
    // Changes the remote directory and lists it, logging on again first
    // when the session is not connected. A refused path that does not start
    // with "/" is tried again from the root; a refused absolute path with
    // nothing listed yet falls back to "/" (OnInvalidDirectory); any other
    // refusal lists the directory the server stayed in.
    void ChangeDirectory(const std::string& path);
    // Lists the current directory again.
    void ListAgain();
    // Downloads the given rows into directory, one after the other: rows
    // naming a directory are skipped, and for Unzip so is everything but a
    // ".zip"; a name that cannot be a local file name is refused
    // (OnNameRefused). Each completed file is announced (OnDownloadFinished).
    void Download(const std::vector<int>& rows, TAfterDownload after, const std::string& directory);
    // Uploads the files (names in directory) under their own names, each
    // appended to the rows as it stands (OnUploadFinished).
    void Upload(const std::vector<std::string>& files, const std::string& directory);
    // The rows keep their place; a renamed row keeps its date and size.
    void RenameRemote(int row, const std::string& newName);
    // A file by DELE, a directory by RMD; the row goes.
    void DeleteRemote(int row);
    // Makes the directory, then lists the current one again.
    void MakeRemoteDirectory(const std::string& name);
    // Stops the running download, upload or listing: FTP1 aborts it (the
    // server is told, a partial download is removed), the command that ran
    // it ends without an error, and the session stays usable. Nothing runs
    // that can be stopped: nothing happens.
    void Stop();
    // Logs off and unloads the socket library; a log-off the server
    // refuses leaves the connection to be dropped with the session. Called
    // while an operation waits (its window closed meanwhile), it ends that
    // wait at once; the connection is then dropped as the operation
    // returns. Either way the owner hears nothing more from the session.
    void Close();

    // A profile that reaches this session's server, user and current
    // directory in the data-connection mode at work (New Session).
    TFTPSiteRecord ConnectionRecord(const std::string& siteName, const std::string& localDirectory);

    // FTP1's events, handled here; public so that owners and tests can
    // feed a listing line or a transfer event as FTP1 would.
    void FTP1DirList(const std::string& DirEntry);
    void FTP1StartTransfer();
    void FTP1Transfer(int64_t BytesTransferred);
    void FTP1EndTransfer();
    void FTP1Error(int ErrorCode, const std::string& Description);

    // Events, each called only when set.
    std::function<void(const std::string& path)> OnRemotePath;       // the directory shown now
    std::function<void(const std::string& path)> OnInvalidDirectory; // refused; "/" follows
    std::function<void(const std::string& directory)> OnLocalDirectory;
    std::function<void(const std::string& directory)> OnMissingLocalDirectory;
    std::function<void(TConnection connection)> OnConnection;
    // Stoppable() changed.
    std::function<void(bool stoppable)> OnStoppable;
    std::function<void(TSessionActivity activity)> OnActivity;
    std::function<void(const TTransferPanels& panels)> OnProgress;
    std::function<void(const TCopyStart& copy)> OnCopyStarting;
    std::function<void(const TFinishedDownload& download)> OnDownloadFinished;
    std::function<void(const std::string& file)> OnUploadFinished;
    std::function<void(const std::string& name)> OnNameRefused;
    // FTP1's asynchronous trouble (a lost connection); its code and text.
    std::function<void(int code, const std::string& text)> OnError;

private:
    // Why the operations running now are to end early.
    enum class TEnding : std::uint8_t { None, Stopped, Closed };

    // Runs an operation, counting it (nested ones included). The outermost
    // one swallows the failure of an operation that was stopped or closed,
    // and finishes a close that came while it waited.
    void run(const std::function<void()>& body);
    void finishOperation();
    // Closed: the owner is going away and hears nothing more.
    template <class Event, class... Args>
    void fire(const Event& event, Args&&... args)
    {
        if (event && m_ending != TEnding::Closed)
            event(std::forward<Args>(args)...);
    }
    // The one place the connection state changes.
    void setConnection(TConnection connection);
    void logOn();
    void list();
    // A data action of FTP1 (a download, upload or listing), stoppable.
    void transfer(TFTPActions action);
    void downloadRow(const std::string& row, const std::string& localFile);
    [[nodiscard]] bool ending() const { return m_ending != TEnding::None; }

    TFTP* m_ftp;
    TRemoteRowsModel* m_rows;
    TAfterDownload m_after = TAfterDownload::Nothing;
    int m_operations = 0;
    TConnection m_connection = TConnection::Unopened;
    TEnding m_ending = TEnding::None;
    bool m_transferring = false;
    // The server refused "LIST -a": plain LIST for the rest of the session.
    bool m_listAllRefused = false;
};

} // namespace plover

// TFTP: the FTP client component (RFC 959 subset, active mode). The owner
// fills in the host, user, password and file names and writes Action; the
// write performs the whole exchange — commands, replies, data transfer —
// before it returns, pumping the message queue while it waits, and raises
// EFTP on failure. Progress and listings arrive as events.
#pragma once

#include "platform/notifyevent.h"
#include "net/datainterface.h"
#include "net/ftpreplies.h"
#include "net/ipport.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plover {

class HiddenWindow;

enum TFTPActions : std::uint8_t {
    ftpIdle = 0,
    ftpAbort = 1,
    ftpLogon = 2,
    ftpLogoff = 3,
    ftpDownload = 4,
    ftpUpload = 5,
    ftpDeleteFile = 6,
    ftpRenameFile = 7,
    ftpListDirectory = 8,
    ftpListDirectoryLong = 9,
    ftpMakeDirectory = 10,
    ftpRemoveDirectory = 11,
};

enum TFTPTransferModes : std::uint8_t { tmDefault = 0, tmASCII = 1, tmBinary = 2 };

enum TPIDirections : std::uint8_t { pidCommand = 0, pidReply = 1, pidInfo = 2 };

// Who opens the data connections. The values are those a site profile
// stores. Default is passive; whichever mode a session starts with, when
// its first data connection fails the session tries the other one once and
// keeps the one that works.
enum TDataConnectionModes : std::uint8_t { dcDefault = 0, dcPassive = 1, dcActive = 2 };

class EFTP : public ECorvidBase {
public:
    using ECorvidBase::ECorvidBase;
};

using TPITrailEvent = std::function<void(QObject* sender, TPIDirections direction, const std::string& message)>;
using TDirListEvent = std::function<void(QObject* sender, const std::string& dirEntry)>;
using TTransferDataEvent = std::function<void(QObject* sender, std::int64_t bytesTransferred, const std::string& text)>;

class TFTP final : public CIPPortMsg {
public:
    explicit TFTP(QObject* owner = nullptr);
    ~TFTP() override;

    // The action in progress (ftpIdle when none; 12 to 15 while a transfer
    // mode or directory write, or a directory read, runs). Writing performs
    // the action.
    int Action() const { return m_action; }
    void SetAction(int action) { PerformAction(action); }

    // Read: PWD when connected and no action runs; otherwise, or when PWD
    // fails, the stored path. Write: CWD, or CDUP for "..".
    std::string RemotePath();
    void SetRemotePath(const std::string& path);

    TFTPTransferModes TransferMode() const { return m_transferMode; }
    void SetTransferMode(TFTPTransferModes mode);

    // The mode asked for (a profile's choice); any other value reads as
    // Default. Setting it starts the choice afresh.
    TDataConnectionModes DataConnectionMode() const { return m_dataMode; }
    void SetDataConnectionMode(TDataConnectionModes mode);
    // The mode the next data connection uses: dcPassive or dcActive; after
    // the first data connection of a session, the one that worked.
    TDataConnectionModes WorkingDataMode() const { return m_workingMode; }

    std::string User;
    std::string Password;
    std::string LocalFile;
    std::string RemoteFile;
    std::string AltFile;  // the new name of a rename
    // The size the owner expects a download to have (the listing row's
    // size), or -1 when unknown. A binary download whose byte count differs
    // from the size the server announces, or else from this one, fails.
    // Reset to -1 when each action ends.
    std::int64_t ExpectedSize = -1;

    TPITrailEvent OnFirePITrail;
    TDirListEvent OnDirList;
    TTransferDataEvent OnTransfer;
    TNotifyEvent OnStartTransfer;
    TNotifyEvent OnEndTransfer;

    // After a positive final reply, how long a server that has not yet
    // opened the data connection is given to do so.
    int DataConnectTimeoutMs = 10000;
    // How long an abort waits for the server's replies before it gives the
    // connection up.
    int AbortReplyTimeoutMs = 5000;

    void SetWinsockLoaded(bool value) override;
    std::exception_ptr CreateError(int code, const std::string& description) override;
    CDataInterface& DataInterface() { return *m_data; }

protected:
    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    int WaitIdle(bool& didWork) override;
    void FireLineDropped(const std::string& line, bool complete) override;

private:
    void PerformAction(int action);
    [[nodiscard]] int runAction(int action);
    // The one place the action in progress changes.
    void setAction(std::uint8_t action);
    [[nodiscard]] int sendType(TFTPTransferModes mode);
    // The end of a top-level action: the abort's own reply, and closing a
    // control connection whose state is no longer known.
    [[nodiscard]] int finishAction(int code);
    void dropControlConnection(const std::string& why);
    [[nodiscard]] int logon();
    [[nodiscard]] int logoff();
    // Nested inside a running action, ABOR is only sent: the server answers
    // the aborted command first, and the running action reads that answer
    // within AbortReplyTimeoutMs; the reply to ABOR itself is read when
    // that action ends.
    [[nodiscard]] int abort(bool nested);
    void sendUrgentInterrupt();
    [[nodiscard]] bool readAbortReply();
    [[nodiscard]] int printDirectory();
    [[nodiscard]] int upload();
    // The data connection, the data command, then the end of the data
    // connection; on a session's first data connection, once more in the
    // other mode when this one could not make it.
    [[nodiscard]] int dataCommand(TTransferKind kind, const std::string& command, const std::string& argument);
    // One attempt in the working mode; dataFailed tells that the data
    // connection itself could not be made.
    [[nodiscard]] int transferOnce(const std::string& command, const std::string& argument, bool& dataFailed);
    [[nodiscard]] int openPassive(bool& dataFailed);
    [[nodiscard]] int sendPort();
    [[nodiscard]] int waitForDataEnd();
    [[nodiscard]] int checkDownloadSize();
    // One command and its complete reply: 0, 141 (LastErrorText holds the
    // reply line), or another code. Never while another command's reply is
    // awaited. wirePrefix goes out before the name but not into the trace.
    [[nodiscard]] int DoCommand(const std::string& name, const std::string& data = std::string(),
                                const std::string& wirePrefix = std::string());
    // The rest of a reply whose first line the wait ending in code brought.
    [[nodiscard]] int readReply(int code);
    void trail(TPIDirections direction, const std::string& text);
    LRESULT route(const MSG& msg);

    std::unique_ptr<HiddenWindow> m_window;
    std::unique_ptr<CDataInterface> m_data;
    std::uint8_t m_action = ftpIdle;
    TFTPTransferModes m_transferMode = tmDefault;
    std::string m_remotePath;
    // A command's reply is being read (greeting included).
    bool m_commandActive = false;
    // A reply wait ended early: what the server sends next is unknown.
    bool m_outOfStep = false;
    bool m_abortRequested = false;
    std::int64_t m_announcedSize = -1;
    TDataConnectionModes m_dataMode = dcDefault;
    TDataConnectionModes m_workingMode = dcPassive;
    // The first data connection has worked: no more switching modes.
    bool m_dataModeSettled = false;
};

} // namespace plover

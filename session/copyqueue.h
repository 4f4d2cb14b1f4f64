// TCopyQueue: the background copy queue without a window. It owns a
// connection of its own (FTP1), separate from the session it was made
// from, logs on with the session's server, user, password, directory and
// modes, and copies its items one after the other in one direction. Each
// step (the next file, the log-off) runs from the message loop once the
// previous action has returned, never from inside the engine's events.
// QtCore only; the queue window (TFileCopyForm) shows what it reports.
#pragma once

#include "net/ftp.h"
#include "session/progress.h"

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace plover {

class TFTPSession;

enum class TCopyDirection : std::uint8_t { Download, Upload };

// What the queue waits for.
enum class TQueueState : std::uint8_t {
    Made,        // filled, not logged on
    LoggingOn,   // the log-on (or a log-on after a lost connection) runs
    StepPosted,  // the next step waits in the message queue
    Copying,     // an item's transfer runs
    LoggingOff,
    Closed,      // logged off: nothing more happens
};

// Where and how the queue's own connection logs on.
struct TQueueConnection {
    std::string Host;
    std::uint16_t Port = 21;
    std::string User;
    std::string Password;
    std::string RemoteDirectory;  // as the server named it
    TFTPTransferModes TransferMode = tmBinary;
    TDataConnectionModes DataMode = dcPassive;
    int TimeOutSeconds = 30;
};

// The connection of a session as it stands: its server, user, the remote
// directory read from the server, its transfer mode and the data mode at work.
[[nodiscard]] TQueueConnection QueueConnectionOf(TFTPSession& session);

struct TQueueItem {
    // A download item is the remote row as the session listed it; an
    // upload item is the local file's name without any folder part.
    std::string Text;
    std::string RemoteFile;
    std::int64_t Size = 0;  // bytes, when the queue was made
    bool Failed = false;
    std::string Error;      // why it failed
};

// The name a queue item is drawn with: for a download the row's name field,
// for an upload the whole item, each cut after its last ":" or "\".
[[nodiscard]] std::string QueueItemDisplayName(const std::string& text, TCopyDirection direction);
// What the window says of a failed item, and of a queue that ended with
// failures.
[[nodiscard]] std::string FailureText(const TQueueItem& item);
[[nodiscard]] std::string QueueEndText(const std::vector<TQueueItem>& failed);

class TCopyQueue final : public QObject {
    Q_OBJECT
public:
    TCopyQueue(TCopyDirection direction, std::string queueDirectory, QObject* parent = nullptr);
    ~TCopyQueue() override;
    TCopyQueue(const TCopyQueue&) = delete;
    TCopyQueue& operator=(const TCopyQueue&) = delete;

    TFTP& FTP() { return *m_ftp; }
    TCopyDirection Direction() const { return m_direction; }
    const std::string& QueueDirectory() const { return m_queueDirectory; }
    TQueueState State() const { return m_state; }
    // An action of FTP1, or a step, is on the stack: not to be freed now.
    bool Busy() const { return m_steps > 0 || m_ftp->Action() != ftpIdle; }

    // Filling, before Start. A row naming a file the local side cannot take
    // ("../x", "a/b") is kept as failed and never requested; so is an
    // upload file that cannot be read.
    void AddRow(const std::string& row);
    void AddLocalFile(const std::string& name);

    // Items still to copy, in order; the one being copied is not among them.
    const std::deque<TQueueItem>& Pending() const { return m_pending; }
    const std::vector<TQueueItem>& Failed() const { return m_failed; }
    const TQueueProgress& Progress() const { return m_progress; }
    // KB copied so far, the current file's included, and TotalSizeLeft's
    // text for them ("150k / 600 k").
    [[nodiscard]] std::int64_t DoneKB() const;
    [[nodiscard]] std::string TotalCopiedText() const;
    // Removes a pending item (its KB leave the total); false when there is none.
    bool RemovePending(std::size_t index);

    // Logs on (waiting, as the engine does; failures propagate) and posts
    // the first step.
    void Start(const TQueueConnection& connection);
    // Interrupts a running transfer (its partial file goes), drops the
    // rest of the queue and logs off; idempotent.
    void Close();

    // Events, each called only when set.
    std::function<void(const TQueueItem& item)> OnItemStarting;  // left Pending
    std::function<void()> OnTransferStarted;
    std::function<void(const TQueuePanels& panels)> OnProgress;
    std::function<void(const TQueueItem& item)> OnItemCopied;
    std::function<void(const TQueueItem& item)> OnItemFailed;    // now last of Failed
    // The queue has ended and logged off: nothing was left to copy, or the
    // queue was closed. closed tells which.
    std::function<void(bool closed)> OnFinished;

private:
    // Counts the steps on the stack, nested ones included.
    class Step final {
    public:
        explicit Step(TCopyQueue& queue) : m_queue(queue) { ++m_queue.m_steps; }
        ~Step() { --m_queue.m_steps; }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        TCopyQueue& m_queue;
    };

    // The one place the state changes.
    void setState(TQueueState state);
    void post();
    void runStep();
    void copyNext();
    // One attempt at the item; empty on success, else the failure's text.
    [[nodiscard]] std::string transfer(const TQueueItem& item);
    void logOn();
    void logOff();
    void fail(TQueueItem item, const std::string& error);
    // An upload cut off after it began leaves a partial file on the server.
    void removePartialUpload(const TQueueItem& item);

    TCopyDirection m_direction;
    std::string m_queueDirectory;
    TFTP* m_ftp;
    TQueueState m_state = TQueueState::Made;
    TQueueConnection m_connection;
    std::deque<TQueueItem> m_pending;
    std::vector<TQueueItem> m_failed;
    TQueueProgress m_progress;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_currentBytes = 0;  // of the file being copied
    int m_steps = 0;
    bool m_closeRequested = false;
    bool m_transferStarted = false;  // the current item's data connection opened
};

} // namespace plover

#include "session/copyqueue.h"

#include "platform/guard.h"
#include "session/filecommands.h"
#include "session/ftpsession.h"
#include "session/listing.h"

#include <exception>

namespace plover {

namespace {

template <class Event, class... Args>
void fire(const Event& event, Args&&... args)
{
    if (event)
        event(std::forward<Args>(args)...);
}

std::string afterLastSeparator(std::string_view text)
{
    const std::size_t cut = text.find_last_of(":\\");
    return std::string(cut == std::string_view::npos ? text : text.substr(cut + 1));
}

// The text a person reads: the server's reply line or the engine's own
// message, without the code the exception carries in front of it.
std::string failureOf(const std::exception& e, const TFTP& ftp)
{
    if (dynamic_cast<const EFTP*>(&e) && !ftp.LastErrorText.empty())
        return ftp.LastErrorText;
    return e.what();
}

} // namespace

TQueueConnection QueueConnectionOf(TFTPSession& session)
{
    TFTP& ftp = session.FTP();
    TQueueConnection c;
    c.Host = ftp.RemoteHostName();
    c.Port = ftp.RemotePort();
    c.User = ftp.User;
    c.Password = ftp.Password;
    c.RemoteDirectory = ftp.RemotePath();
    c.TransferMode = ftp.TransferMode();
    // The mode that worked for the session, so the queue does not fail over again.
    c.DataMode = ftp.WorkingDataMode();
    c.TimeOutSeconds = ftp.TimeOut();
    return c;
}

std::string QueueItemDisplayName(const std::string& text, TCopyDirection direction)
{
    return afterLastSeparator(direction == TCopyDirection::Download ? ExtractListingName(text) : text);
}

std::string FailureText(const TQueueItem& item)
{
    return item.RemoteFile + ": " + item.Error;
}

std::string QueueEndText(const std::vector<TQueueItem>& failed)
{
    if (failed.empty())
        return {};
    if (failed.size() == 1)
        return "Not copied: " + FailureText(failed.front());
    return "Not copied: " + std::to_string(failed.size()) + " files, each listed in grey with its error.";
}

TCopyQueue::TCopyQueue(TCopyDirection direction, std::string queueDirectory, QObject* parent)
    : QObject(parent), m_direction(direction), m_queueDirectory(std::move(queueDirectory)), m_ftp(new TFTP(this))
{
    m_ftp->setObjectName(QStringLiteral("FTP1"));
    m_ftp->OnStartTransfer = [this](QObject*) {
        m_transferStarted = true;
        m_progress.TransferStarted(MonotonicMilliseconds());
        fire(OnTransferStarted);
    };
    m_ftp->OnTransfer = [this](QObject*, std::int64_t bytes, const std::string&) {
        m_currentBytes = bytes;
        fire(OnProgress, m_progress.Update(bytes, MonotonicMilliseconds()));
    };
    // The end of the data connection is not the end of the item: the final
    // reply, the size check and the rename follow inside the action, so the
    // item is counted once the action has returned.
}

TCopyQueue::~TCopyQueue() = default;

void TCopyQueue::setState(TQueueState state)
{
    m_state = state;
}

void TCopyQueue::AddRow(const std::string& row)
{
    TQueueItem item;
    item.Text = row;
    item.RemoteFile = ExtractListingName(row);
    item.Size = ExtractListingSize(row);
    // The name becomes a local path; one like "../x" would land outside the folder.
    if (!IsSafeRemoteName(item.RemoteFile)) {
        item.Failed = true;
        item.Error = UnsafeNameMessage(item.RemoteFile);
        m_failed.push_back(std::move(item));
        return;
    }
    m_totalBytes += item.Size;
    m_progress.SetTotal(m_totalBytes);
    m_pending.push_back(std::move(item));
}

void TCopyQueue::AddLocalFile(const std::string& name)
{
    TQueueItem item;
    item.Text = name;
    item.RemoteFile = name;
    try {
        item.Size = LocalFileSize(JoinLocalPath(m_queueDirectory, name));
    } catch (const std::exception& e) {
        item.Failed = true;
        item.Error = e.what();
        m_failed.push_back(std::move(item));
        return;
    }
    m_totalBytes += item.Size;
    m_progress.SetTotal(m_totalBytes);
    m_pending.push_back(std::move(item));
}

std::int64_t TCopyQueue::DoneKB() const
{
    return m_progress.CopiedKB() + (m_state == TQueueState::Copying ? m_currentBytes / 1024 : 0);
}

std::string TCopyQueue::TotalCopiedText() const
{
    return std::to_string(DoneKB()) + "k / " + std::to_string(m_progress.TotalKB()) + " k";
}

bool TCopyQueue::RemovePending(std::size_t index)
{
    if (index >= m_pending.size())
        return false;
    m_progress.RemoveItem(m_pending[index].Size);
    m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void TCopyQueue::Start(const TQueueConnection& connection)
{
    Step step(*this);
    m_connection = connection;
    TFTP& ftp = *m_ftp;
    ftp.SetWinsockLoaded(true);
    ftp.SetRemoteHost(connection.Host);
    ftp.SetRemotePort(connection.Port);
    ftp.SetTimeOut(connection.TimeOutSeconds);
    ftp.SetTransferMode(connection.TransferMode);
    ftp.SetDataConnectionMode(connection.DataMode);
    ftp.User = connection.User;
    ftp.Password = connection.Password;
    try {
        logOn();
    } catch (...) {
        setState(TQueueState::Made);
        // Closed while logging on: the abort is the failure, nobody to tell.
        if (m_closeRequested) {
            post();
            return;
        }
        throw;
    }
    post();
}

void TCopyQueue::logOn()
{
    setState(TQueueState::LoggingOn);
    m_ftp->SetAction(ftpLogon);
    // A new connection starts in the server's home directory.
    if (!m_connection.RemoteDirectory.empty())
        m_ftp->SetRemotePath(m_connection.RemoteDirectory);
}

void TCopyQueue::Close()
{
    if (m_closeRequested)
        return;
    m_closeRequested = true;
    switch (m_state) {
    case TQueueState::Made:
        post();
        break;
    case TQueueState::LoggingOn:
    case TQueueState::Copying:
        // Called from inside the running action's wait: the action ends
        // within seconds, its partial download removed, and the step that
        // runs it logs off.
        try {
            m_ftp->SetAction(ftpAbort);
        } catch (const std::exception&) {
            // Could not even send the abort: the action ends on its own.
        }
        break;
    case TQueueState::StepPosted:  // the posted step sees the request
    case TQueueState::LoggingOff:
    case TQueueState::Closed:
        break;
    }
}

void TCopyQueue::post()
{
    setState(TQueueState::StepPosted);
    // From the message loop, after the action that ended has returned and
    // its caller's stack has unwound.
    QMetaObject::invokeMethod(this, [this] { Guard([this] { runStep(); }); }, Qt::QueuedConnection);
}

void TCopyQueue::runStep()
{
    if (m_state != TQueueState::StepPosted)
        return;
    Step step(*this);
    if (m_closeRequested || m_pending.empty())
        logOff();
    else
        copyNext();
}

void TCopyQueue::copyNext()
{
    TQueueItem item = std::move(m_pending.front());
    m_pending.pop_front();
    fire(OnItemStarting, item);
    std::string error;
    bool connectionGone = false;
    // A lost connection gets one new log-on, then the item once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_ftp->Connected()) {
            try {
                logOn();
            } catch (const std::exception& e) {
                error = "the connection was lost and could not be made again (" + failureOf(e, *m_ftp) + ")";
                connectionGone = true;
                break;
            }
        }
        setState(TQueueState::Copying);
        error = transfer(item);
        if (error.empty() || m_closeRequested || m_ftp->Connected())
            break;
    }
    if (error.empty()) {
        m_progress.ItemFinished();
        fire(OnItemCopied, item);
    } else if (m_closeRequested) {
        removePartialUpload(item);  // the item goes with the rest of the closed queue
    } else {
        fail(std::move(item), error);
        // Without a connection the others would only fail one by one.
        if (connectionGone)
            while (!m_pending.empty()) {
                TQueueItem next = std::move(m_pending.front());
                m_pending.pop_front();
                fail(std::move(next), error);
            }
    }
    post();
}

std::string TCopyQueue::transfer(const TQueueItem& item)
{
    TFTP& ftp = *m_ftp;
    m_transferStarted = false;
    m_currentBytes = 0;
    try {
        ftp.RemoteFile = item.RemoteFile;
        ftp.LocalFile = JoinLocalPath(m_queueDirectory, item.RemoteFile);
        if (m_direction == TCopyDirection::Download) {
            m_progress.StartItem(item.Size);
            // A binary download that ends at another size than listed fails
            // and leaves no file.
            ftp.ExpectedSize = ExpectedListingSize(item.Text);
            ftp.SetAction(ftpDownload);
        } else {
            // The file as it is now, which may differ from when it was queued.
            m_progress.StartItem(LocalFileSize(ftp.LocalFile));
            ftp.SetAction(ftpUpload);
        }
    } catch (const std::exception& e) {
        return failureOf(e, ftp);
    }
    return {};
}

void TCopyQueue::fail(TQueueItem item, const std::string& error)
{
    // Its KB will not come; the total and the time left count without them.
    m_progress.RemoveItem(item.Size);
    item.Failed = true;
    item.Error = error;
    m_failed.push_back(std::move(item));
    fire(OnItemFailed, m_failed.back());
}

void TCopyQueue::removePartialUpload(const TQueueItem& item)
{
    // STOR has replaced the server's file with the part sent so far; a
    // file that looks whole but is not is worse than none.
    if (m_direction != TCopyDirection::Upload || !m_transferStarted || !m_ftp->Connected())
        return;
    try {
        m_ftp->RemoteFile = item.RemoteFile;
        m_ftp->SetAction(ftpDeleteFile);
    } catch (const std::exception&) {
        // Refused or cut off: nothing more to do before the log-off.
    }
}

void TCopyQueue::logOff()
{
    setState(TQueueState::LoggingOff);
    try {
        m_ftp->SetAction(ftpLogoff);
        m_ftp->SetWinsockLoaded(false);
    } catch (const std::exception&) {
        // A connection that cannot log off cleanly is dropped with the queue.
    }
    setState(TQueueState::Closed);
    fire(OnFinished, m_closeRequested);
}

} // namespace plover

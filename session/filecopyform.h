// TFileCopyForm: the background copy window. It shows one TCopyQueue: the
// file being copied, the files left and the files done, the figures for
// the whole queue, and what could not be copied. Each use of the session
// window's background copy command opens one; it beeps and closes once
// every file has been copied, and stays open to say what failed otherwise.
#pragma once

#include "session/copyqueue.h"

#include <QStyledItemDelegate>
#include <QWidget>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

namespace plover {

class TFTPSession;

// FilesToCopyLBDrawItem: the item's file-name part at the row's left + 2,
// clipped to the row; grey text for a disabled list or item (a failed
// item is disabled and shows its error after the name).
class TQueueItemDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    TQueueItemDelegate(TCopyDirection direction, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int RowHeight = 13;
    // Where a failed item keeps its error text.
    static constexpr int ErrorRole = Qt::UserRole + 1;

private:
    TCopyDirection m_direction;
};

class TFileCopyForm final : public QWidget {
    Q_OBJECT
public:
    TFileCopyForm(TCopyDirection direction, const std::string& queueDirectory, QWidget* parent = nullptr);
    ~TFileCopyForm() override;
    TFileCopyForm(const TFileCopyForm&) = delete;
    TFileCopyForm& operator=(const TFileCopyForm&) = delete;

    // The background copy command. A download queue takes the given rows
    // of the session that name no directory; an upload queue the given
    // files of localDirectory. The window logs on with the session's
    // connection data and starts copying; nullptr when nothing was queued.
    // A refused log-on propagates, and the window stays open.
    static TFileCopyForm* DownloadLater(TFTPSession& session, const std::vector<int>& rows,
                                        const std::string& localDirectory);
    static TFileCopyForm* UploadLater(TFTPSession& session, const std::vector<std::string>& files,
                                      const std::string& localDirectory);

    TCopyQueue& Queue() { return *m_queue; }
    // Shows the window with the queue as filled, logs on, starts.
    void Start(const TQueueConnection& connection);

    // What the window shows of the queue's events.
    void FTP1StartTransfer();
    void FTP1Transfer(const TQueuePanels& panels);
    void FTP1EndTransfer(const TQueueItem& item);
    void DeleteClick();
    void BitBtn1Click();
    void FormClose();

    // The outer size the window opens with, frame included.
    static constexpr int DesignWidth = 465;
    static constexpr int DesignHeight = 251;
    static constexpr int FrameWidth = 8;
    static constexpr int FrameHeight = 26;

    // Controls; each one's objectName is its member's name.
    QLabel* TypeLabel;
    QLabel* FileName;
    QLabel* Label2;
    QLabel* CurrentFileStatusLabel;
    QLabel* asdf;
    QListWidget* FilesToCopyLB;
    QLabel* Label1;
    QListWidget* FinishedLB;
    QGroupBox* GroupBox1;
    QLabel* Label9;
    QLabel* TotalSizeLeft;
    QLabel* Label3;
    QLabel* CopySpeedLabel;
    QLabel* Label6;
    QLabel* TimeElapsedlabel;
    QLabel* Label8;
    QLabel* TimeLeftLabel;
    QLabel* FailureLabel;  // the last failure, and at the end what was not copied
    QPushButton* BitBtn1;
    QPushButton* Delete;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    // The queue's own connection.
    TFTP* FTP1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void wireQueue();
    void addFailedItem(const TQueueItem& item);
    void showTotals();
    void itemStarting(const TQueueItem& item);
    void itemFailed(const TQueueItem& item);
    void finished(bool closed);
    void deleteWhenDone();

    TCopyQueue* m_queue;
    bool m_closed = false;
};

} // namespace plover

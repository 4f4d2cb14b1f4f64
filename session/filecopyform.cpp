#include "session/filecopyform.h"

#include "platform/guard.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "session/filecommands.h"
#include "session/ftpsession.h"
#include "session/named.h"
#include "session/remoterowsmodel.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace plover {

TQueueItemDelegate::TQueueItemDelegate(TCopyDirection direction, QObject* parent)
    : QStyledItemDelegate(parent), m_direction(direction)
{
}

void TQueueItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* list = opt.widget;
    QStyle* style = list ? list->style() : nullptr;
    opt.text.clear();
    if (style)
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, list);

    QString text = ToQ(QueueItemDisplayName(FromQ(index.data(Qt::DisplayRole).toString()), m_direction));
    const QString error = index.data(ErrorRole).toString();
    if (!error.isEmpty())
        text += QStringLiteral("  (") + error + QStringLiteral(")");
    QColor colour = opt.palette.color(QPalette::Active, QPalette::Text);
    if (!(opt.state & QStyle::State_Enabled))
        colour = opt.palette.color(QPalette::Disabled, QPalette::Text);
    else if (opt.state & QStyle::State_Selected)
        colour = opt.palette.color(QPalette::Active, QPalette::HighlightedText);

    const QRect row = opt.rect;
    const int width = list ? list->width() : row.width();
    painter->save();
    painter->setClipRect(QRect(row.left(), row.top(), width, row.height()));
    painter->setPen(colour);
    painter->setFont(opt.font);
    painter->drawText(QRect(row.left() + 2, row.top(), width - 2, row.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      text);
    painter->restore();
}

QSize TQueueItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), RowHeight};
}

TFileCopyForm::TFileCopyForm(TCopyDirection direction, const std::string& queueDirectory, QWidget* parent)
    : QWidget(parent, Qt::Window), m_queue(named(new TCopyQueue(direction, queueDirectory, this), "Queue"))
{
    setObjectName(QStringLiteral("FileCopyForm"));
    setWindowTitle(QStringLiteral("Background File Copy"));
    // A queue window going away never ends the program; the session
    // windows and the tray decide that.
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    FTP1 = &m_queue->FTP();
    buildControls();
    wireQueue();
}

TFileCopyForm::~TFileCopyForm()
{
    // The queue first, while every control its last events reach is there.
    delete m_queue;
}

void TFileCopyForm::buildControls()
{
    resize(DesignWidth - FrameWidth, DesignHeight - FrameHeight);
    auto label = [this](QWidget* parent, const char* name, const char* caption, QRect r, bool right = false) {
        auto* l = named(new QLabel(QString::fromUtf8(caption), parent), name);
        l->setGeometry(r);
        if (right)
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    TypeLabel = label(this, "TypeLabel", "Currently Copying:", {8, 6, 100, 15}, true);
    FileName = label(this, "FileName", "", {112, 6, 164, 15});
    FileName->setAccessibleName(QStringLiteral("File being copied"));
    Label2 = label(this, "Label2", "Status:", {8, 22, 100, 15}, true);
    CurrentFileStatusLabel = label(this, "CurrentFileStatusLabel", "", {112, 22, 164, 15});
    CurrentFileStatusLabel->setAccessibleName(QStringLiteral("Copied of the current file"));

    asdf = label(this, "asdf", "Files Left To Copy:", {8, 40, 130, 14});
    FilesToCopyLB = named(new QListWidget(this), "FilesToCopyLB");
    FilesToCopyLB->setGeometry(8, 54, 128, 86);
    FilesToCopyLB->setItemDelegate(new TQueueItemDelegate(m_queue->Direction(), FilesToCopyLB));
    FilesToCopyLB->setUniformItemSizes(true);
    FilesToCopyLB->setAccessibleName(QStringLiteral("Files left to copy"));
    asdf->setBuddy(FilesToCopyLB);
    Label1 = label(this, "Label1", "Files Copied Successfully:", {142, 40, 136, 14});
    FinishedLB = named(new QListWidget(this), "FinishedLB");
    FinishedLB->setGeometry(142, 54, 130, 86);
    FinishedLB->setAccessibleName(QStringLiteral("Files copied"));
    Label1->setBuddy(FinishedLB);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Session Info:"), this), "GroupBox1");
    GroupBox1->setGeometry(280, 2, 169, 138);
    // Caption over value: a 5 GiB queue's "5242880k / 5242880 k" needs the width.
    struct Pair {
        QLabel** Caption;
        const char* CaptionName;
        const char* Text;
        QLabel** Value;
        const char* ValueName;
        const char* Role;
    };
    const Pair pairs[] = {
        {&Label9, "Label9", "Total Copied:", &TotalSizeLeft, "TotalSizeLeft", "Total copied"},
        {&Label3, "Label3", "Copy Speed:", &CopySpeedLabel, "CopySpeedLabel", "Copy speed"},
        {&Label6, "Label6", "Time Elapsed:", &TimeElapsedlabel, "TimeElapsedlabel", "Time elapsed"},
        {&Label8, "Label8", "Time Left:", &TimeLeftLabel, "TimeLeftLabel", "Time left"},
    };
    int top = 16;
    for (const Pair& p : pairs) {
        *p.Caption = label(GroupBox1, p.CaptionName, p.Text, {8, top, 153, 14});
        *p.Value = label(GroupBox1, p.ValueName, "", {20, top + 14, 141, 14});
        (*p.Value)->setAccessibleName(QString::fromLatin1(p.Role));
        top += 30;
    }

    Delete = named(new QPushButton(QStringLiteral("Delete"), this), "Delete");
    Delete->setGeometry(8, 146, 75, 24);
    FailureLabel = label(this, "FailureLabel", "", {90, 144, 186, 46});
    FailureLabel->setWordWrap(true);
    FailureLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FailureLabel->setAccessibleName(QStringLiteral("Files not copied"));
    BitBtn1 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this),
                    "BitBtn1");
    BitBtn1->setGeometry(280, 146, 169, 24);
    BitBtn1->setShortcut(QKeySequence(Qt::Key_Escape));

    auto bar = [this](const char* name, int top, const char* role) {
        auto* b = named(new QProgressBar(this), name);
        b->setGeometry(8, top, 441, 13);
        b->setRange(0, ProgressBarRange);
        b->setTextVisible(false);
        b->setAccessibleName(QString::fromLatin1(role));
        return b;
    };
    ProgressBar1 = bar("ProgressBar1", 194, "Current file progress");
    ProgressBar2 = bar("ProgressBar2", 210, "Queue progress");

    connect(Delete, &QPushButton::clicked, this, Guarded([this](auto&&...) { DeleteClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this](auto&&...) { BitBtn1Click(); }));
}

void TFileCopyForm::wireQueue()
{
    TCopyQueue& q = *m_queue;
    // The queue's events come from inside its waits, where nothing may escape.
    q.OnItemStarting = [this](const TQueueItem& item) { Guard([&] { itemStarting(item); }); };
    q.OnTransferStarted = [this] { Guard([this] { FTP1StartTransfer(); }); };
    q.OnProgress = [this](const TQueuePanels& panels) { Guard([&] { FTP1Transfer(panels); }); };
    q.OnItemCopied = [this](const TQueueItem& item) { Guard([&] { FTP1EndTransfer(item); }); };
    q.OnItemFailed = [this](const TQueueItem& item) { Guard([&] { itemFailed(item); }); };
    q.OnFinished = [this](bool closed) { Guard([&] { finished(closed); }); };
}

TFileCopyForm* TFileCopyForm::DownloadLater(TFTPSession& session, const std::vector<int>& rows,
                                            const std::string& localDirectory)
{
    auto* form = new TFileCopyForm(TCopyDirection::Download, localDirectory);
    for (int i : rows) {
        const std::string row = session.Rows().Row(i);
        if (!session.DirLB.Contains(ExtractListingName(row)))
            form->Queue().AddRow(row);
    }
    if (form->Queue().Pending().empty() && form->Queue().Failed().empty()) {
        delete form;
        return nullptr;
    }
    form->Start(QueueConnectionOf(session));
    return form;
}

TFileCopyForm* TFileCopyForm::UploadLater(TFTPSession& session, const std::vector<std::string>& files,
                                          const std::string& localDirectory)
{
    if (files.empty())
        return nullptr;
    auto* form = new TFileCopyForm(TCopyDirection::Upload, localDirectory);
    for (const std::string& file : files)
        form->Queue().AddLocalFile(FileNamePart(file));
    form->Start(QueueConnectionOf(session));
    return form;
}

void TFileCopyForm::Start(const TQueueConnection& connection)
{
    for (const TQueueItem& item : m_queue->Pending())
        FilesToCopyLB->addItem(ToQ(item.Text));
    for (const TQueueItem& item : m_queue->Failed())
        addFailedItem(item);
    if (!m_queue->Failed().empty())
        FailureLabel->setText(ToQ("Not copied: " + FailureText(m_queue->Failed().back())));
    TypeLabel->setText(m_queue->Direction() == TCopyDirection::Download ? QStringLiteral("Downloading:")
                                                                          : QStringLiteral("Uploading:"));
    showTotals();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    show();
    try {
        m_queue->Start(connection);
    } catch (const std::exception& e) {
        FailureLabel->setText(ToQ(std::string("Could not log on: ") + e.what()));
        throw;
    }
}

void TFileCopyForm::addFailedItem(const TQueueItem& item)
{
    auto* entry = new QListWidgetItem(ToQ(item.Text));
    entry->setData(TQueueItemDelegate::ErrorRole, ToQ(item.Error));
    // Disabled: drawn grey, and Delete cannot take it for a pending one.
    entry->setFlags(entry->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    FilesToCopyLB->addItem(entry);
}

void TFileCopyForm::showTotals()
{
    TotalSizeLeft->setText(ToQ(m_queue->TotalCopiedText()));
    ProgressBar2->setValue(ProgressBarPosition(m_queue->DoneKB(), m_queue->Progress().TotalKB()));
}

void TFileCopyForm::itemStarting(const TQueueItem& item)
{
    // The queue lists only what still waits: the item leaves it now.
    delete FilesToCopyLB->takeItem(0);
    FileName->setText(ToQ(item.RemoteFile));
    CurrentFileStatusLabel->setText(ToQ("0k / " + std::to_string(item.Size / 1024) + "k"));
    ProgressBar1->setValue(0);
}

void TFileCopyForm::FTP1StartTransfer()
{
    setCursor(Qt::WaitCursor);
}

void TFileCopyForm::FTP1Transfer(const TQueuePanels& p)
{
    CurrentFileStatusLabel->setText(ToQ(p.CurrentFileStatus));
    ProgressBar1->setValue(p.CurrentBarPosition);
    ProgressBar2->setValue(p.QueueBarPosition);
    TotalSizeLeft->setText(ToQ(p.TotalCopied));
    TimeElapsedlabel->setText(ToQ(p.Elapsed));
    if (p.Speed)
        CopySpeedLabel->setText(ToQ(*p.Speed));
    if (p.Left)
        TimeLeftLabel->setText(ToQ(*p.Left));
}

void TFileCopyForm::FTP1EndTransfer(const TQueueItem& item)
{
    FinishedLB->addItem(ToQ(item.RemoteFile));
    ProgressBar1->setValue(ProgressBarRange);
    showTotals();
}

void TFileCopyForm::itemFailed(const TQueueItem& item)
{
    addFailedItem(item);
    FailureLabel->setText(ToQ("Not copied: " + FailureText(item)));
    ProgressBar1->setValue(0);
    showTotals();
}

void TFileCopyForm::finished(bool closed)
{
    unsetCursor();
    FileName->clear();
    if (closed) {
        deleteWhenDone();
        return;
    }
    if (m_queue->Failed().empty()) {
        Beep();
        close();
        return;
    }
    // The window stays open until the user has read what failed.
    FailureLabel->setText(ToQ(QueueEndText(m_queue->Failed())));
}

void TFileCopyForm::DeleteClick()
{
    // The list always has a current row once filled; only one the user
    // has selected is taken.
    const int row = FilesToCopyLB->currentRow();
    if (row < 0 || !FilesToCopyLB->item(row)->isSelected() || !m_queue->RemovePending(static_cast<std::size_t>(row)))
        return;
    delete FilesToCopyLB->takeItem(row);
    showTotals();
}

void TFileCopyForm::BitBtn1Click()
{
    close();
}

void TFileCopyForm::FormClose()
{
    m_queue->Close();
}

void TFileCopyForm::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        m_closed = true;
        Guard([this] { FormClose(); });
    }
    event->accept();
    deleteWhenDone();
}

void TFileCopyForm::deleteWhenDone()
{
    // Freed once closed and logged off; the queue's last step may still be
    // on the stack, which deleteLater waits for.
    if (m_closed && m_queue->State() == TQueueState::Closed)
        deleteLater();
}

} // namespace plover

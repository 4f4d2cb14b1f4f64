#include "session/ftpform.h"

#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/drivecombobox.h"
#include "platform/guard.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "session/filecommands.h"
#include "session/filecopyform.h"
#include "session/localfiles.h"
#include "session/named.h"
#include "session/remotefiles.h"
#include "session/remoterowsmodel.h"
#include "session/statuspanels.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace plover {

namespace {

void place(QWidget* w, const TWindowBounds& r)
{
    w->setGeometry(r.Left, r.Top, r.Width, r.Height);
}

// The file commands' controls: the button in the command column, and the
// items of the FTP menu and of the popup menu, which click the button.
struct TCommandControls {
    TFileCommand Command;
    QPushButton* TFTPForm::*Button;
    const char* ButtonName;
    QAction* TFTPForm::*MenuItem;
    const char* MenuItemName;
    QAction* TFTPForm::*PopupItem;
    const char* PopupItemName;
    int Top; // in the command column
    void (TFTPForm::*Click)();
    bool SeparatorAfter; // in both menus
};

const TCommandControls Commands[FileCommandCount] = {
    {TFileCommand::CopyLater, &TFTPForm::CopyLaterButton, "CopyLaterButton", &TFTPForm::CopyLaterMenu, "CopyLaterMenu",
     &TFTPForm::CopyLaterPopup, "CopyLaterPopup", 56, &TFTPForm::CopyLaterButtonClick, false},
    {TFileCommand::Copy, &TFTPForm::Download, "Download", &TFTPForm::Downloadmenu, "Downloadmenu",
     &TFTPForm::DownloadPopUp, "DownloadPopUp", 80, &TFTPForm::DownloadClick, true},
    {TFileCommand::View, &TFTPForm::OpenButton, "OpenButton", &TFTPForm::OpenMenu, "OpenMenu", &TFTPForm::OpenPopUp,
     "OpenPopUp", 116, &TFTPForm::OpenButtonClick, false},
    {TFileCommand::Unzip, &TFTPForm::UnzipButton, "UnzipButton", &TFTPForm::UnZipMenu, "UnZipMenu",
     &TFTPForm::UnZipPopUp, "UnZipPopUp", 140, &TFTPForm::UnzipButtonClick, true},
    {TFileCommand::Rename, &TFTPForm::RenameButton, "RenameButton", &TFTPForm::RenameMenu, "RenameMenu",
     &TFTPForm::RenamePopUp, "RenamePopUp", 172, &TFTPForm::RenameButtonClick, false},
    {TFileCommand::Delete, &TFTPForm::DeleteButton, "DeleteButton", &TFTPForm::DeleteMenu, "DeleteMenu",
     &TFTPForm::DeletePopUp, "DeletePopUp", 196, &TFTPForm::DeleteButtonClick, false},
    {TFileCommand::MakeDirectory, &TFTPForm::MakeDirectoryButton, "MakeDirectoryButton", &TFTPForm::MakeDirectoryMenu,
     "MakeDirectoryMenu", &TFTPForm::MakeDirectoryPopUp, "MakeDirectoryPopUp", 220, &TFTPForm::MakeDirectoryButtonClick,
     false},
};

// Watches a widget's mouse presses (the directory tree's viewport).
class PressFilter final : public QObject {
public:
    PressFilter(QObject* parent, std::function<void()> onPress) : QObject(parent), m_onPress(std::move(onPress)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            Guard(m_onPress);
        return false;
    }

private:
    std::function<void()> m_onPress;
};

} // namespace

TFTPForm::BusyScope::BusyScope(TFTPForm& form) : m_form(form)
{
    ++m_form.m_busy;
}

TFTPForm::BusyScope::~BusyScope()
{
    --m_form.m_busy;
}

TFTPForm::TFTPForm(ISiteManager& siteManager, QWidget* parent)
    : QMainWindow(parent), m_siteManager(siteManager), m_session(named(new TFTPSession(this), "Session"))
{
    setObjectName(QStringLiteral("FTPForm"));
    // Small enough for every caption to fit its 75-pixel button.
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    FTP1 = &m_session->FTP();
    buildControls();
    buildMenus();
    wireEvents();
    wireSession();
    SetBounds(DefaultBounds());
}

TFTPForm::~TFTPForm()
{
    // The session first, while every control its last events reach is
    // still there.
    delete m_session;
}

TWindowBounds TFTPForm::DefaultBounds()
{
    return {100, 80, DefaultFormWidth, DefaultFormHeight};
}

TWindowBounds TFTPForm::Bounds() const
{
    return {pos().x(), pos().y(), width() + FrameWidth, height() + FrameHeight};
}

void TFTPForm::SetBounds(const TWindowBounds& b)
{
    move(b.Left, b.Top);
    resize(b.Width - FrameWidth, b.Height - FrameHeight);
}

void TFTPForm::buildControls()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_workArea = new QWidget(central);
    column->addWidget(m_workArea, 1);

    // Remote pane.
    PanelRemote = named(new QFrame(m_workArea), "PanelRemote");
    PanelRemote->setFrameShape(QFrame::StyledPanel);
    eRemotePath = named(new QLineEdit(PanelRemote), "eRemotePath");
    eRemotePath->setAccessibleName(QStringLiteral("Remote path"));
    ChangeToTextDirectory = named(new QToolButton(PanelRemote), "ChangeToTextDirectory");
    ChangeToTextDirectory->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ChangeToTextDirectory->setToolTip(QStringLiteral("Change to this directory"));
    ChangeToTextDirectory->setAccessibleName(QStringLiteral("Change to this directory"));

    auto* headerModel = new QStandardItemModel(0, 3, this);
    headerModel->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Date"), QStringLiteral("Size")});
    FilesHd = named(new QHeaderView(Qt::Horizontal, PanelRemote), "FilesHd");
    FilesHd->setModel(headerModel);
    FilesHd->setSectionsClickable(true);
    FilesHd->setStretchLastSection(false);
    FilesHd->setSectionResizeMode(QHeaderView::Interactive);
    FilesHd->resizeSection(0, 90);
    FilesHd->resizeSection(1, 40);
    FilesHd->resizeSection(2, 60);
    QFont bold = font();
    bold.setBold(true);
    FilesHd->setFont(bold);

    lFiles = named(new TRemoteFilesView(PanelRemote), "lFiles");
    lFiles->setModel(&m_session->Rows());
    lFiles->setItemDelegate(new TRemoteRowDelegate(FilesHd, lFiles));
    lFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lFiles->setUniformItemSizes(true);
    lFiles->setAccessibleName(QStringLiteral("Remote files"));

    // Command column.
    ScrollBox1 = named(new QScrollArea(m_workArea), "ScrollBox1");
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_commandColumn = new QWidget;
    // The longest caption ("<- Bkg. Copy") must fit a 75-pixel button.
    QFont commandFont = font();
    commandFont.setPixelSize(10);
    m_commandColumn->setFont(commandFont);
    auto button = [this](const char* name, const char* caption, int top, bool enabled) {
        auto* b = named(new QPushButton(QString::fromUtf8(caption), m_commandColumn), name);
        b->setGeometry(4, top, 75, 22);
        b->setEnabled(enabled);
        return b;
    };
    SpawnButton = button("SpawnButton", "New Session", 0, true);
    Exit = button("Exit", "Exit", 24, true);
    // The commands start disabled, in the local direction.
    for (const TCommandControls& c : Commands)
        this->*c.Button = button(c.ButtonName, CommandCaption(c.Command, m_direction, false), c.Top, false);
    Ascii = named(new QRadioButton(QStringLiteral("Ascii"), m_commandColumn), "Ascii");
    Ascii->setGeometry(4, 256, 75, 17);
    Binary = named(new QRadioButton(QStringLiteral("Binary"), m_commandColumn), "Binary");
    Binary->setGeometry(4, 272, 75, 17);
    Binary->setChecked(true);
    m_commandColumn->setFixedSize(83, 272 + 17 + 4);
    ScrollBox1->setWidget(m_commandColumn);

    // Local pane.
    PanelLocal = named(new QFrame(m_workArea), "PanelLocal");
    PanelLocal->setFrameShape(QFrame::StyledPanel);
    DriveComboBox1 = named(new TDriveComboBox(PanelLocal), "DriveComboBox1");
    DriveComboBox1->setAccessibleName(QStringLiteral("Local drive"));
    DirectoryListBox1 = named(new TDirectoryListBox(PanelLocal), "DirectoryListBox1");
    DirectoryListBox1->setAccessibleName(QStringLiteral("Local directories"));
    FileListBox1 = named(new TFileListBox(PanelLocal), "FileListBox1");
    FileListBox1->setAccessibleName(QStringLiteral("Local files"));
    FilterComboBox1 = named(new QComboBox(PanelLocal), "FilterComboBox1");
    FilterComboBox1->setAccessibleName(QStringLiteral("File type"));
    for (const auto& filter : Filters)
        FilterComboBox1->addItem(QString::fromUtf8(filter[0]), QString::fromUtf8(filter[1]));
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    DriveComboBox1->ShowDriveOf(DirectoryListBox1->Directory());

    // Status bar with five panels, and the progress bar below it. The bar
    // has no accessible name of its own, so screen readers read its panels.
    AStatusBar1 = named(new QStatusBar(central), "AStatusBar1");
    AStatusBar1->setSizeGripEnabled(false);
    m_panels = new TStatusPanels(AStatusBar1);
    AStatusBar1->addWidget(m_panels, 1);
    column->addWidget(AStatusBar1);
    ProgressBar1 = named(new QProgressBar(central), "ProgressBar1");
    ProgressBar1->setRange(0, ProgressBarRange);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setMaximumHeight(16);
    ProgressBar1->setAccessibleName(QStringLiteral("Transfer progress"));
    ProgressBar1->hide();
    column->addWidget(ProgressBar1);
    setCentralWidget(central);
}

void TFTPForm::buildMenus()
{
    auto item = [this](QMenu* menu, const char* name, const char* caption, bool enabled = true) {
        auto* a = named(new QAction(QString::fromUtf8(caption), this), name);
        a->setEnabled(enabled);
        menu->addAction(a);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    New1 = item(file, "New1", "&New Session (With Current Directories)");
    file->addSeparator();
    MainSitesWindow1 = item(file, "MainSitesWindow1", "Main Sites Window");
    file->addSeparator();
    SendEmail1 = item(file, "SendEmail1", "Send Email");
    file->addSeparator();
    Exit1 = item(file, "Exit1", "E&xit Session");

    QMenu* ftp = menuBar()->addMenu(QStringLiteral("F&TP"));
    FilePopUpMenu = named(new QMenu(this), "FilePopUpMenu");
    // Until the first press in a list sets the direction, the items carry
    // their buttons' captions.
    for (const TCommandControls& c : Commands) {
        const char* caption = CommandCaption(c.Command, m_direction, false);
        this->*c.MenuItem = item(ftp, c.MenuItemName, caption, false);
        this->*c.PopupItem = item(FilePopUpMenu, c.PopupItemName, caption, false);
        if (c.SeparatorAfter) {
            ftp->addSeparator();
            FilePopUpMenu->addSeparator();
        }
    }
    ftp->addSeparator();
    AsciiMenu = item(ftp, "AsciiMenu", "Ascii");
    AsciiMenu->setCheckable(true);
    BinaryMenu = item(ftp, "BinaryMenu", "Binary");
    BinaryMenu->setCheckable(true);
    BinaryMenu->setChecked(true);
    ftp->addSeparator();
    StopMenu = item(ftp, "StopMenu", "Stop", false);
    StopMenu->setShortcut(QKeySequence(Qt::Key_Escape));
    // Choosing the checked mode again leaves it checked.
    auto* modes = new QActionGroup(this);
    modes->addAction(AsciiMenu);
    modes->addAction(BinaryMenu);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    ShowAllfilesMenu = item(settings, "ShowAllfilesMenu", "Show Files Starting with \".\"");
    ShowAllfilesMenu->setCheckable(true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = item(help, "Contents1", "Help...");

    RefreshAction = named(new QAction(QStringLiteral("Refresh"), this), "RefreshAction");
    RefreshAction->setShortcut(QKeySequence(Qt::Key_F5));
    RefreshAction->setShortcutContext(Qt::WindowShortcut);
    addAction(RefreshAction);
}

void TFTPForm::wireEvents()
{
    auto onClick = [this](QPushButton* b, void (TFTPForm::*handler)()) {
        connect(b, &QPushButton::clicked, this, Guarded([this, handler](auto&&...) { (this->*handler)(); }));
    };
    onClick(SpawnButton, &TFTPForm::SpawnButtonClick);
    onClick(Exit, &TFTPForm::ExitClick);
    connect(ChangeToTextDirectory, &QToolButton::clicked, this, Guarded([this](auto&&...) { ChangeToTextDirectoryClick(); }));
    // eRemotePathKeyPress: Enter changes to the typed directory.
    connect(eRemotePath, &QLineEdit::returnPressed, this, [this] { ChangeToTextDirectory->click(); });

    auto onTrigger = [this](QAction* a, std::function<void()> handler) {
        connect(a, &QAction::triggered, this, Guarded([handler](auto&&...) { handler(); }));
    };
    // Each command item clicks its button, so both do the same.
    for (const TCommandControls& c : Commands) {
        QPushButton* b = this->*c.Button;
        onClick(b, c.Click);
        onTrigger(this->*c.MenuItem, [b] { b->click(); });
        onTrigger(this->*c.PopupItem, [b] { b->click(); });
    }
    onTrigger(New1, [this] { New1Click(); });
    onTrigger(MainSitesWindow1, [this] { MainSitesWindow1Click(); });
    onTrigger(SendEmail1, [this] { SendEmail1Click(); });
    onTrigger(Exit1, [this] { Exit1Click(); });
    onTrigger(AsciiMenu, [this] { AsciiMenuClick(); });
    onTrigger(BinaryMenu, [this] { BinaryMenuClick(); });
    onTrigger(Contents1, [this] { Contents1Click(); });
    onTrigger(StopMenu, [this] { StopMenuClick(); });
    onTrigger(RefreshAction, [this] { refresh(); });
    // ShowAllfilesMenu toggles its own check mark; the session's parser
    // follows it (wireSession).
    // The checked state, not the click: the keyboard and screen readers
    // choose a radio button without clicking it.
    connect(Ascii, &QRadioButton::toggled, this, Guarded([this](bool on) {
                if (on)
                    AsciiClick();
            }));
    connect(Binary, &QRadioButton::toggled, this, Guarded([this](bool on) {
                if (on)
                    BinaryClick();
            }));

    connect(lFiles, &TRemoteFilesView::MousePressed, this,
            Guarded([this](Qt::MouseButton b, QPoint p) { lFilesMouseDown(b, p); }));
    connect(lFiles, &QListView::doubleClicked, this, Guarded([this](auto&&...) { lFilesDblClick(); }));
    connect(lFiles, &TRemoteFilesView::OpenRequested, this, Guarded([this] { openCurrentRemoteDirectory(); }));
    connect(lFiles, &TRemoteFilesView::UpRequested, this, Guarded([this] { goUp(); }));
    connect(FileListBox1, &TFileListBox::MousePressed, this,
            Guarded([this](Qt::MouseButton b, QPoint p) { FileListBox1MouseDown(b, p); }));
    DirectoryListBox1->viewport()->installEventFilter(new PressFilter(this, [this] { DirectoryListBox1MouseDown(); }));
    connect(FilesHd, &QHeaderView::sectionClicked, this, Guarded([this](int s) { FilesHdSectionClick(s); }));
    // FilesHdSectionResize: the columns follow the sections.
    connect(FilesHd, &QHeaderView::sectionResized, lFiles->viewport(), [this] { lFiles->viewport()->update(); });
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, Guarded([this](auto&&...) { FilterComboBox1Change(); }));
    connect(DriveComboBox1, &TDriveComboBox::DriveChanged, this,
            Guarded([this](const QString& root) { DirectoryListBox1->SetDirectory(root); }));
    connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this, Guarded([this](const QString& dir) {
                FileListBox1->SetDirectory(dir);
                DriveComboBox1->ShowDriveOf(dir);
            }));
}

void TFTPForm::wireSession()
{
    TFTPSession& s = *m_session;
    s.OnRemotePath = [this](const std::string& path) { showRemotePath(path); };
    s.Rows().SetDirectoryTest([&s](std::string_view name) { return s.DirLB.Contains(name); });
    s.OnInvalidDirectory = [](const std::string& path) {
        Dialogs::ShowMessage(ToQ(path + " is not a valid directory."));
    };
    s.OnLocalDirectory = [this](const std::string& dir) { DirectoryListBox1->SetDirectory(ToQ(dir)); };
    s.OnMissingLocalDirectory = [](const std::string& dir) {
        Dialogs::ShowMessage(ToQ("The local directory " + dir + " does not exist; the home folder is shown instead."));
    };
    s.OnConnection = [this](TConnection c) { Guard([&] { showConnection(c); }); };
    s.OnStoppable = [this](bool on) { StopMenu->setEnabled(on); };
    s.OnNameRefused = [](const std::string& name) {
        Dialogs::MessageDlg(ToQ(UnsafeNameMessage(name)), mtWarning, mbOK);
    };
    s.OnCopyStarting = [this](const TCopyStart& copy) { showCopyStarting(copy); };
    s.OnDownloadFinished = [this](const TFinishedDownload& download) { downloadFinished(download); };
    s.OnUploadFinished = [this](const std::string& file) { deselectLocalFile(ToQ(file)); };
    // FTP1 raises these inside its waits, where nothing may escape.
    s.OnActivity = [this](TSessionActivity activity) { Guard([&] { showActivity(activity); }); };
    s.OnProgress = [this](const TTransferPanels& panels) { Guard([&] { showProgress(panels); }); };
    s.OnError = [this](int, const std::string&) { Guard([this] { showReady(); }); };
    s.ShowDotFiles = ShowAllfilesMenu->isChecked();
    connect(ShowAllfilesMenu, &QAction::toggled, this,
            Guarded([this](bool on) { runCommand([&] { m_session->SetShowDotFiles(on); }); }));
}

QString TFTPForm::PanelText(int panel) const
{
    return m_panels->Text(panel);
}

void TFTPForm::SetPanelText(int panel, const QString& text)
{
    m_panels->SetText(panel, text);
}

const std::vector<std::string>& TFTPForm::RemoteRows() const
{
    return m_session->RemoteRows();
}

TRemoteRowsModel& TFTPForm::RemoteModel()
{
    return m_session->Rows();
}

std::vector<int> TFTPForm::SelectedRemoteRows() const
{
    std::vector<int> out;
    for (const QModelIndex& i : lFiles->selectionModel()->selectedIndexes())
        out.push_back(i.row());
    std::sort(out.begin(), out.end());
    return out;
}

void TFTPForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFTPForm::FormResize()
{
    applyLayout(FormResizeLayout(width() + FrameWidth, height() + FrameHeight));
}

void TFTPForm::applyLayout(const TFTPFormLayout& l)
{
    place(PanelRemote, l.PanelRemote);
    place(ScrollBox1, l.ScrollBox1);
    place(PanelLocal, l.PanelLocal);
    place(eRemotePath, l.eRemotePath);
    place(ChangeToTextDirectory, l.ChangeToTextDirectory);
    place(FilesHd, l.FilesHd);
    place(lFiles, l.lFiles);
    fitHeaderSections(l.lFiles.Width);
    place(DriveComboBox1, l.DriveComboBox1);
    place(DirectoryListBox1, l.DirectoryListBox1);
    place(FileListBox1, l.FileListBox1);
    place(FilterComboBox1, l.FilterComboBox1);
}

void TFTPForm::fitHeaderSections(int listWidth)
{
    // The date and size columns as wide as their texts (the designed 40 and
    // 60 pixels at least); the name column takes the rest of the list
    // inside its frame and scroll bar, so no column hides behind either.
    const QFontMetrics fm(lFiles->font());
    const int padding = 2 * TRemoteRowDelegate::Padding + 2;
    int date = 0;
    for (const char* month : {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"})
        date = std::max(date, fm.horizontalAdvance(QString::fromLatin1(month) + QStringLiteral(" 88")));
    date = std::max(40, date + padding);
    const int size = std::max(60, fm.horizontalAdvance(QStringLiteral("8888888k")) + padding);
    const int room = listWidth - 2 * lFiles->frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lFiles);
    FilesHd->resizeSection(0, std::max(60, room - date - size));
    FilesHd->resizeSection(1, date);
    FilesHd->resizeSection(2, size);
}

void TFTPForm::ChangeButtonNames(bool Remote)
{
    // The one place the direction changes; the commands read it from here.
    m_direction = Remote ? TCommandDirection::Remote : TCommandDirection::Local;
    for (const TCommandControls& c : Commands) {
        (this->*c.Button)->setText(QString::fromUtf8(CommandCaption(c.Command, m_direction, false)));
        const QString item = QString::fromUtf8(CommandCaption(c.Command, m_direction, true));
        (this->*c.MenuItem)->setText(item);
        (this->*c.PopupItem)->setText(item);
    }
    ShowButtonsCorrectly();
}

void TFTPForm::ShowButtonsCorrectly()
{
    TSelectionFacts facts;
    if (remoteDirection()) {
        std::vector<std::string> names;
        for (int row : SelectedRemoteRows())
            names.push_back(ExtractListingName(RemoteModel().Row(row)));
        facts = RemoteSelectionFacts(lFiles->currentIndex().isValid(), names,
                                     [this](const std::string& n) { return m_session->DirLB.Contains(n); });
    } else {
        facts = LocalSelectionFacts(!FileListBox1->SelectedFiles().isEmpty());
    }
    const TCommandEnabling e = CommandEnabling(facts);
    for (const TCommandControls& c : Commands) {
        if (const std::optional<bool> on = CommandEnabled(c.Command, e)) {
            (this->*c.Button)->setEnabled(*on);
            (this->*c.MenuItem)->setEnabled(*on);
            (this->*c.PopupItem)->setEnabled(*on);
        }
    }
    disableUnconnectedCommands();
}

void TFTPForm::AllActive(bool Enable)
{
    for (const TCommandControls& c : Commands)
        (this->*c.Button)->setEnabled(Enable);
    for (QWidget* w : std::initializer_list<QWidget*>{ChangeToTextDirectory, eRemotePath, Ascii, Binary, lFiles,
                                                      DirectoryListBox1, FileListBox1, DriveComboBox1})
        w->setEnabled(Enable);
    // The make-directory items follow their button; no other rule enables them.
    MakeDirectoryMenu->setEnabled(Enable);
    MakeDirectoryPopUp->setEnabled(Enable);
    disableUnconnectedCommands();
}

void TFTPForm::disableUnconnectedCommands()
{
    // Without a connection these would only repeat the log-on's failure;
    // changing to a typed path logs on again and brings them back.
    if (m_session->Connection() != TConnection::NotConnected)
        return;
    for (const TCommandControls& c : Commands) {
        if (!CommandNeedsConnection(c.Command, m_direction))
            continue;
        (this->*c.Button)->setEnabled(false);
        (this->*c.MenuItem)->setEnabled(false);
        (this->*c.PopupItem)->setEnabled(false);
    }
}

void TFTPForm::ChangeDirectory(const std::string& Path)
{
    BusyScope busy(*this);
    m_session->ChangeDirectory(Path);
}

void TFTPForm::ChangeToTextDirectoryClick()
{
    AllActive(false);
    try {
        ChangeDirectory(CollapseSlashes(FromQ(eRemotePath->text())));
    } catch (...) {
        // A failed change must not leave the window disabled.
        AllActive(true);
        unsetCursor();
        throw;
    }
}

void TFTPForm::lFilesDblClick()
{
    const QModelIndex current = lFiles->currentIndex();
    if (!current.isValid())
        return;
    const std::string name = ExtractListingName(RemoteModel().Row(current.row()));
    if (!m_session->DirLB.Contains(name)) {
        Download->click();
        return;
    }
    ChangeDirectory(remoteDirectoryOf(name));
}

void TFTPForm::showPopup(QWidget* list, QPoint pos)
{
    FilePopUpMenu->popup(list->mapToGlobal(pos) + QPoint(20, 20));
}

void TFTPForm::lFilesMouseDown(Qt::MouseButton button, QPoint pos)
{
    ChangeButtonNames(true);
    const QModelIndex index = lFiles->indexAt(pos);
    if (button != Qt::RightButton || !index.isValid())
        return;
    QItemSelectionModel* selection = lFiles->selectionModel();
    if (!selection->isSelected(index))
        selection->clearSelection();
    selection->select(index, QItemSelectionModel::Select);
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    ChangeButtonNames(true);
    showPopup(lFiles->viewport(), pos);
}

void TFTPForm::FileListBox1MouseDown(Qt::MouseButton button, QPoint pos)
{
    ChangeButtonNames(false);
    QListWidgetItem* item = FileListBox1->itemAt(pos);
    if (button != Qt::RightButton || !item)
        return;
    if (!item->isSelected())
        FileListBox1->clearSelection();
    item->setSelected(true);
    FileListBox1->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    ChangeButtonNames(false);
    showPopup(FileListBox1->viewport(), pos);
}

void TFTPForm::DirectoryListBox1MouseDown()
{
    ChangeButtonNames(false);
}

void TFTPForm::setTransferMode(TFTPTransferModes mode)
{
    AsciiMenu->setChecked(mode == tmASCII);
    BinaryMenu->setChecked(mode == tmBinary);
    FTP1->SetTransferMode(mode);
}

void TFTPForm::AsciiClick()
{
    setTransferMode(tmASCII);
}

void TFTPForm::BinaryClick()
{
    setTransferMode(tmBinary);
}

// Checking the radio button sets the mode (wireEvents); one already
// checked has it set.
void TFTPForm::AsciiMenuClick()
{
    Ascii->setChecked(true);
}

void TFTPForm::BinaryMenuClick()
{
    Binary->setChecked(true);
}

void TFTPForm::ShowAllfilesMenuClick()
{
    ShowAllfilesMenu->toggle();
}

void TFTPForm::SpawnButtonClick()
{
    TFTPSiteRecord site = m_session->ConnectionRecord(SiteName, localDirectory());
    const TWindowBounds b = Bounds();
    site.SessionLeft = b.Left + 20;
    site.SessionTop = b.Top + 20;
    site.SessionWidth = b.Width;
    site.SessionHeight = b.Height;
    site.ShowAllFiles = ShowAllfilesMenu->isChecked() ? 1 : 0;
    m_siteManager.DoConnection(site);
}

void TFTPForm::New1Click()
{
    SpawnButton->click();
}

void TFTPForm::MainSitesWindow1Click()
{
    m_siteManager.ShowSiteManager();
}

void TFTPForm::SendEmail1Click()
{
    m_siteManager.ShowSendMail();
}

void TFTPForm::Contents1Click()
{
    m_siteManager.ShowHelpTopic("Table_Of_Contents");
}

void TFTPForm::ExitClick()
{
    close();
}

void TFTPForm::Exit1Click()
{
    close();
}

void TFTPForm::FormClose()
{
    m_siteManager.StoreSessionState(SiteName, Bounds(), ShowAllfilesMenu->isChecked());
    m_session->Close();
}

void TFTPForm::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        m_closed = true;
        Guard([this] { FormClose(); });
    }
    event->accept();
    deleteWhenIdle();
}

void TFTPForm::deleteWhenIdle()
{
    // A window closed while one of its commands or its session's actions
    // waits is freed only after that wait has returned: the wait runs on
    // this window's objects.
    if (m_busy == 0 && !m_session->Busy())
        deleteLater();
    else
        QTimer::singleShot(100, this, [this] { deleteWhenIdle(); });
}

void TFTPForm::FilesHdSectionClick(int section)
{
    std::vector<std::string> rows = RemoteRows();
    const std::string text = FromQ(FilesHd->model()->headerData(section, Qt::Horizontal).toString());
    if (SortBySection(rows, text))
        RemoteModel().SetRows(std::move(rows));
}

void TFTPForm::FilterComboBox1Change()
{
    QStringList masks;
    for (const std::string& m : FilterMasks(FromQ(FilterComboBox1->currentData().toString())))
        masks << ToQ(m);
    FileListBox1->SetMasks(masks);
}

// Background copy: a queue window with a connection of its own copies the
// selection, so this window stays free for browsing.
void TFTPForm::CopyLaterButtonClick()
{
    BusyScope busy(*this);
    if (remoteDirection()) {
        RemoteModel().Flush();
        TFileCopyForm::DownloadLater(*m_session, SelectedRemoteRows(), localDirectory());
    } else {
        TFileCopyForm::UploadLater(*m_session, selectedLocalFiles(), localDirectory());
    }
}

// FTP1's events go to the session, which tells the window what to show.
void TFTPForm::FTP1Error(int ErrorCode, const std::string& Description)
{
    m_session->FTP1Error(ErrorCode, Description);
}

void TFTPForm::FTP1DirList(const std::string& DirEntry)
{
    m_session->FTP1DirList(DirEntry);
}

void TFTPForm::FTP1StartTransfer()
{
    m_session->FTP1StartTransfer();
}

void TFTPForm::FTP1Transfer(int64_t BytesTransferred)
{
    m_session->FTP1Transfer(BytesTransferred);
}

void TFTPForm::FTP1EndTransfer()
{
    m_session->FTP1EndTransfer();
}

void TFTPForm::showReady()
{
    m_copyPending = false;
    SetPanelText(0, m_session->Connection() == TConnection::NotConnected ? QStringLiteral("Not connected")
                                                                          : QStringLiteral("Ready"));
    AllActive(true);
    ProgressBar1->hide();
}

void TFTPForm::showActivity(TSessionActivity activity)
{
    switch (activity) {
    case TSessionActivity::Listing:
        // A command that stopped before its transfer leaves nothing pending.
        m_copyPending = false;
        setCursor(Qt::WaitCursor);
        break;
    case TSessionActivity::Transferring:
        // A file transfer keeps the name its command showed.
        if (!m_copyPending)
            SetPanelText(0, QStringLiteral("Listing directory..."));
        setCursor(Qt::WaitCursor);
        AllActive(false);
        break;
    case TSessionActivity::Idle:
        // A listing shows no progress, so it ends without the beep.
        if (!PanelText(1).isEmpty()) {
            for (int i = 1; i <= 4; ++i)
                SetPanelText(i, QString());
            Beep();
        }
        showReady();
        unsetCursor();
        ProgressBar1->setValue(0);
        offerParentRow();
        break;
    }
}

void TFTPForm::showProgress(const TTransferPanels& p)
{
    SetPanelText(1, ToQ(p.Amount));
    ProgressBar1->setValue(p.BarPosition);
    SetPanelText(3, ToQ(p.Elapsed));
    if (p.Speed)
        SetPanelText(2, ToQ(*p.Speed));
    if (p.Left)
        SetPanelText(4, ToQ(*p.Left));
}

void TFTPForm::showCopyStarting(const TCopyStart& copy)
{
    m_copyPending = true;
    SetPanelText(0, ToQ((copy.Download ? "Downloading " : "Uploading ") + copy.RemoteFile));
    // Room for the amount at its longest from the start, so the panels do
    // not shift while the figures grow.
    m_panels->SetWidest(1, ToQ(AmountText(copy.Size, copy.Size)));
    ProgressBar1->setValue(0);
    ProgressBar1->show();
}

} // namespace plover

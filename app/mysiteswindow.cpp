#include "app/mysiteswindow.h"

#include "app/siteeditor.h"
#include "app/sitesfile.h"
#include "platform/choosedirectoryform.h"
#include "platform/dialogs.h"
#include "platform/dirs.h"
#include "platform/guard.h"
#include "platform/helpviewer.h"
#include "platform/text.h"
#include "session/ftpform.h"
#include "session/named.h"
#include "session/viewfolder.h"
#include "shell/trayicon.h"

#include <QApplication>
#include <QScreen>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSessionManager>
#include <QTimer>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace plover {

namespace {

// A form row: the caption as the edit's buddy, and optionally a button after the edit.
QLineEdit* labelledEdit(QFormLayout* form, const char* name, const QString& caption, QPushButton* button = nullptr)
{
    auto* edit = named(new QLineEdit, name);
    auto* label = new QLabel(caption);
    label->setBuddy(edit);
    if (!button) {
        form->addRow(label, edit);
        return edit;
    }
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(button);
    form->addRow(label, row);
    return edit;
}

} // namespace

TMySitesWindow::TMySitesWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MySitesWindow"));
    setWindowTitle(QStringLiteral("Plover - The Best FTP Client on the Net!"));
    OnTerminate = [] { QCoreApplication::exit(0); };
    buildControls();
    buildTray();
    move(DefaultLeft, DefaultTop);
    resize(DefaultWidth, DefaultHeight);

    // The desktop session is ending: the close that follows must save and
    // end the program instead of hiding. Should the session manager quit
    // the application without a close, the exit still runs before the loop ends.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { QueryEndSession(); },
                Qt::DirectConnection);
        connect(app, &QGuiApplication::saveStateRequest, this, [this](QSessionManager&) { QueryEndSession(); },
                Qt::DirectConnection);
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (m_sessionEnding && !m_exitDone)
                Guard([this] { Exit1Click(); });
        });
    }
}

TMySitesWindow::~TMySitesWindow() = default;

void TMySitesWindow::buildControls()
{
    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);

    auto* header = new QHBoxLayout;
    Label1 = named(new QLabel(QStringLiteral("Plover")), "Label1");
    QFont big = Label1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.8);
    Label1->setFont(big);
    Label5 = named(new QLabel(QStringLiteral("The Best FTP Client on the Net!")), "Label5");
    header->addWidget(Label1);
    header->addWidget(Label5, 1);
    outer->addLayout(header);

    // The list with its arrows, and the profile commands in a column beside it.
    auto* listRow = new QHBoxLayout;
    FTPSitesLB = named(new QListWidget, "FTPSitesLB");
    FTPSitesLB->setAccessibleName(QStringLiteral("Site profiles"));
    FTPSitesLB->setSelectionMode(QAbstractItemView::SingleSelection);
    // Profiles are reordered by dragging inside the list; the drop is
    // decided here, never by the view itself (it would copy or remove items).
    FTPSitesLB->setDragEnabled(true);
    FTPSitesLB->setAcceptDrops(true);
    FTPSitesLB->setDragDropMode(QAbstractItemView::DragDrop);
    FTPSitesLB->setDefaultDropAction(Qt::CopyAction);
    FTPSitesLB->setAutoScroll(false);
    listRow->addWidget(FTPSitesLB, 1);
    auto* arrows = new QVBoxLayout;
    Up = named(new QToolButton, "Up");
    Up->setArrowType(Qt::UpArrow);
    Up->setAccessibleName(QStringLiteral("Move profile up"));
    Down = named(new QToolButton, "Down");
    Down->setArrowType(Qt::DownArrow);
    Down->setAccessibleName(QStringLiteral("Move profile down"));
    arrows->addStretch();
    arrows->addWidget(Up);
    arrows->addWidget(Down);
    arrows->addStretch();
    listRow->addLayout(arrows);

    auto* buttons = new QVBoxLayout;
    ConnectButton = named(new QPushButton(QStringLiteral("Connect")), "ConnectButton");
    ChangeButton = named(new QPushButton(QStringLiteral("Change")), "ChangeButton");
    AddButton = named(new QPushButton(QStringLiteral("Add")), "AddButton");
    DeleteFTPProfile = named(new QPushButton(QStringLiteral("Delete")), "DeleteFTPProfile");
    CreateIconButton = named(new QPushButton(QStringLiteral("Create Desktop Icon")), "CreateIconButton");
    for (QPushButton* b : {ConnectButton, ChangeButton, AddButton, DeleteFTPProfile, CreateIconButton}) {
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    // A little room around the longest caption, so no caption meets its border.
    CreateIconButton->setMinimumWidth(CreateIconButton->sizeHint().width() + 12);
    Up->setEnabled(false);
    Down->setEnabled(false);
    listRow->addLayout(buttons);
    outer->addLayout(listRow, 1);

    auto* form = new QFormLayout;
    FTPSiteNameEdit = labelledEdit(form, "FTPSiteNameEdit", QStringLiteral("FTP Site Name:"));
    FTPServerEdit = labelledEdit(form, "FTPServerEdit", QStringLiteral("FTP Server:"));
    UserNameEdit = labelledEdit(form, "UserNameEdit", QStringLiteral("Username:"));
    BitBtn6 = named(new QPushButton(QStringLiteral("Anonymous Log-in")), "BitBtn6");
    PasswordEdit = labelledEdit(form, "PasswordEdit", QStringLiteral("Password:"), BitBtn6);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    BitBtn6->setMinimumWidth(BitBtn6->sizeHint().width() + 12);
    RemoteDirectoryEdit = labelledEdit(form, "RemoteDirectoryEdit", QStringLiteral("Remote Directory:"));
    BrowseButton = named(new QPushButton(QStringLiteral("Browse...")), "BrowseButton");
    LocalDirectoryEdit = labelledEdit(form, "LocalDirectoryEdit", QStringLiteral("Local Directory:"), BrowseButton);
    // Each item carries its TDataConnectionModes value, the byte the profile stores.
    DataModeCB = named(new QComboBox, "DataModeCB");
    DataModeCB->addItem(QStringLiteral("Default"), int(dcDefault));
    DataModeCB->addItem(QStringLiteral("Passive"), int(dcPassive));
    DataModeCB->addItem(QStringLiteral("Active"), int(dcActive));
    DataModeCB->setAccessibleName(QStringLiteral("Data connection"));
    auto* dataModeLabel = named(new QLabel(QStringLiteral("&Data connection:")), "DataModeLabel");
    dataModeLabel->setBuddy(DataModeCB);
    form->addRow(dataModeLabel, DataModeCB);
    outer->addLayout(form);
    setCentralWidget(central);

    StatusBar1 = named(new QStatusBar, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    // No accessible name: screen readers read the hint it shows instead.
    StatusBar1->setAccessibleDescription(QStringLiteral("Field hint"));
    setStatusBar(StatusBar1);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    ConnectMenuItem = file->addAction(QStringLiteral("&Connect"));
    ConnectMenuItem->setObjectName(QStringLiteral("ConnectMenuItem"));
    ConnectMenuItem->setEnabled(false);
    file->addSeparator();
    SendEmail2 = file->addAction(QStringLiteral("Send Email"));
    SendEmail2->setObjectName(QStringLiteral("SendEmail2"));
    file->addSeparator();
    Exit2 = file->addAction(QStringLiteral("E&xit"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    Cut1 = edit->addAction(QStringLiteral("Cu&t"));
    Cut1->setObjectName(QStringLiteral("Cut1"));
    Cut1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    Copy1 = edit->addAction(QStringLiteral("&Copy"));
    Copy1->setObjectName(QStringLiteral("Copy1"));
    Copy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste1 = edit->addAction(QStringLiteral("&Paste"));
    Paste1->setObjectName(QStringLiteral("Paste1"));
    Paste1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = help->addAction(QStringLiteral("&Help"));
    Contents1->setObjectName(QStringLiteral("Contents1"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { scrollWhileDragging(); });

    connect(FTPSitesLB, &QListWidget::itemSelectionChanged, this, Guarded([this](auto&&...) { FTPSitesLBClick(); }));
    connect(FTPSitesLB, &QListWidget::itemClicked, this, Guarded([this](auto&&...) { FTPSitesLBClick(); }));
    connect(FTPSitesLB, &QListWidget::itemDoubleClicked, this, Guarded([this](auto&&...) { FTPSitesLBDblClick(); }));
    FTPSitesLB->installEventFilter(this);
    FTPSitesLB->viewport()->installEventFilter(this);

    auto onClick = [this](QAbstractButton* button, void (TMySitesWindow::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    };
    onClick(Up, &TMySitesWindow::UpClick);
    onClick(Down, &TMySitesWindow::DownClick);
    onClick(ConnectButton, &TMySitesWindow::ConnectButtonClick);
    onClick(ChangeButton, &TMySitesWindow::ChangeButtonClick);
    onClick(AddButton, &TMySitesWindow::AddButtonClick);
    onClick(DeleteFTPProfile, &TMySitesWindow::DeleteFTPProfileClick);
    onClick(BitBtn6, &TMySitesWindow::BitBtn6Click);
    onClick(BrowseButton, &TMySitesWindow::BrowseButtonClick);
    // Create Desktop Icon is enabled by the rules here; its action belongs
    // to the shortcut writer.

    auto onEdit = [this](QLineEdit* edit, void (TMySitesWindow::*handler)()) {
        connect(edit, &QLineEdit::textChanged, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
        edit->installEventFilter(this);
    };
    onEdit(FTPSiteNameEdit, &TMySitesWindow::FTPSiteNameEditChange);
    onEdit(FTPServerEdit, &TMySitesWindow::FTPServerEditChange);
    onEdit(UserNameEdit, &TMySitesWindow::FTPServerEditChange);
    onEdit(PasswordEdit, &TMySitesWindow::FTPServerEditChange);
    onEdit(RemoteDirectoryEdit, &TMySitesWindow::RemoteDirectoryEditChange);
    onEdit(LocalDirectoryEdit, &TMySitesWindow::LocalDirectoryEditChange);
    connect(DataModeCB, &QComboBox::currentIndexChanged, this, [this] { Guard([this] { DataModeCBChange(); }); });
    DataModeCB->installEventFilter(this);

    auto onAction = [this](QAction* action, void (TMySitesWindow::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    };
    onAction(ConnectMenuItem, &TMySitesWindow::ConnectMenuItemClick);
    onAction(SendEmail2, &TMySitesWindow::SendEmail2Click);
    // The File menu's exit is the same orderly exit as the tray's.
    onAction(Exit2, &TMySitesWindow::Exit1Click);
    onAction(Cut1, &TMySitesWindow::Cut1Click);
    onAction(Copy1, &TMySitesWindow::Copy1Click);
    onAction(Paste1, &TMySitesWindow::Paste1Click);
    onAction(Contents1, &TMySitesWindow::Contents1Click);
    SendEmail2->setEnabled(false);
}

void TMySitesWindow::buildTray()
{
    const QIcon icon(QStringLiteral(":/icons/plover.xpm"));
    setWindowIcon(icon);

    TrayMenu = new QMenu(this);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    Plover1 = TrayMenu->addAction(QStringLiteral("Plover..."));
    Plover1->setObjectName(QStringLiteral("Plover1"));
    TrayMenu->addSeparator();
    SendEmail1 = TrayMenu->addAction(QStringLiteral("Send Email"));
    SendEmail1->setObjectName(QStringLiteral("SendEmail1"));
    SendEmail1->setEnabled(false);
    TrayMenu->addSeparator();
    TrayMenu->addAction(QStringLiteral("Sites"))->setObjectName(QStringLiteral("Sites1"));
    TrayMenu->addSeparator();
    QAction* exit = TrayMenu->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, [this] { Guard([this] { Exit1Click(); }); });
    connect(Plover1, &QAction::triggered, this, [this] { Guard([this] { Plover1Click(); }); });
    connect(SendEmail1, &QAction::triggered, this, [this] { Guard([this] { SendEmail1Click(); }); });
    connect(TrayMenu, &QMenu::aboutToShow, this, [this] { Guard([this] { TrayMenuPopup(); }); });

    OvTrayIcon951 = new TOvTrayIcon95(this);
    OvTrayIcon951->setObjectName(QStringLiteral("OvTrayIcon951"));
    OvTrayIcon951->SetIcon(icon);
    OvTrayIcon951->SetDisabledIcon(QIcon(QStringLiteral(":/icons/plover_disabled.xpm")));
    OvTrayIcon951->SetHint("Plover");
    OvTrayIcon951->AutoPopup = true;
    OvTrayIcon951->SetPopupMenu(TrayMenu);
    OvTrayIcon951->OnClick = [this](QObject*) { OvTrayIcon951Click(); };
    OvTrayIcon951->OnDblClick = [this](QObject*) { OvTrayIcon951DblClick(); };
}

std::string TMySitesWindow::SitesFilePath() const
{
    return DataDir() + "/sites.dat";
}

void TMySitesWindow::FormCreate()
{
    ProgramDir = plover::ProgramDir();
    HelpFile = (ProgramDir == "/" ? std::string() : ProgramDir) + "/PLOVER.HLP";
    TempDir = TempDirFromEnvironment();

    IniFile = std::make_unique<TIniFile>(SettingsFilePath());
    TWindowBounds current{pos().x(), pos().y(), width(), height()};
    TWindowBounds b = ReadMainFormBounds(*IniFile, current);
    // Applied as read, without a range check, so that a window the user
    // left on a second screen comes back there.
    move(b.Left, b.Top);
    resize(b.Width, b.Height);
    const int index = ReadMainFormIndex(*IniFile);
    Email = ReadEmailSettings(*IniFile);
    FtpTimeOut = ReadFtpTimeOut(*IniFile);

    m_sites.Clear();
    try {
        LoadSites(SitesFilePath(), m_sites);
    } catch (...) {
        // The profiles read before the failure stay; the selection is not applied.
        RefreshList();
        throw;
    }
    RefreshList();
    if (index >= 0 && index < m_sites.Count())
        SelectIndex(index);
}

void TMySitesWindow::RefreshList()
{
    QSignalBlocker block(FTPSitesLB);
    FTPSitesLB->clear();
    for (int i = 0; i < m_sites.Count(); ++i)
        FTPSitesLB->addItem(ToQ(m_sites.Name(i)));
}

int TMySitesWindow::SelectedIndex() const
{
    return FTPSitesLB->currentRow();
}

void TMySitesWindow::SelectIndex(int index)
{
    FTPSitesLB->setCurrentRow(index);
    FTPSitesLBClick();
}

void TMySitesWindow::FTPSitesLBClick()
{
    int i = SelectedIndex();
    if (i < 0 || i >= m_sites.Count())
        return;
    fillFields(m_sites.Object(i).Record());
    enableSelectionControls();
}

void TMySitesWindow::fillFields(const TFTPSiteRecord& r)
{
    FTPSiteNameEdit->setText(ToQ(r.FTPSiteName.Get()));
    FTPServerEdit->setText(ToQ(r.FTPServer.Get()));
    RemoteDirectoryEdit->setText(ToQ(r.RemoteDirectory.Get()));
    LocalDirectoryEdit->setText(ToQ(r.LocalDirectory.Get()));
    UserNameEdit->setText(ToQ(r.UserName.Get()));
    PasswordEdit->setText(ToQ(r.Password.Get()));
    setDataModeChoice(r.DataConnectionMode());
}

TDataConnectionModes TMySitesWindow::dataModeChoice() const
{
    return static_cast<TDataConnectionModes>(DataModeCB->currentData().toInt());
}

void TMySitesWindow::setDataModeChoice(TDataConnectionModes mode)
{
    DataModeCB->setCurrentIndex(DataModeCB->findData(int(mode)));
}

void TMySitesWindow::enableSelectionControls()
{
    for (QWidget* w : std::initializer_list<QWidget*>{ConnectButton, DeleteFTPProfile, CreateIconButton, Up, Down})
        w->setEnabled(true);
    ConnectMenuItem->setEnabled(true);
}

void TMySitesWindow::Exit1Click()
{
    ExitOnClose = true;
    SaveSites(SitesFilePath(), m_sites);
    if (!IniFile)
        IniFile = std::make_unique<TIniFile>(SettingsFilePath());
    if (windowState() == Qt::WindowNoState)
        WriteMainFormBounds(*IniFile, {pos().x(), pos().y(), width(), height()});
    WriteMainFormIndex(*IniFile, SelectedIndex());
    WriteEmailSettings(*IniFile, Email);
    WriteFtpTimeOut(*IniFile, FtpTimeOut);
    IniFile.reset();
    OvTrayIcon951->Deactivate();
    m_exitDone = true;
    if (OnTerminate)
        OnTerminate();
}

bool TMySitesWindow::FormCloseQuery()
{
    if (ExitOnClose) {
        Exit1Click();
        return true;
    }
    hide();
    return false;
}

void TMySitesWindow::closeEvent(QCloseEvent* event)
{
    bool canClose = false;
    Guard([&] { canClose = FormCloseQuery(); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TMySitesWindow::QueryEndSession()
{
    m_sessionEnding = true;
    ExitOnClose = true;
}

void TMySitesWindow::DoConnection(TFTPSiteRecord Site)
{
    // A new window for every call; it frees itself once closed and idle.
    auto* form = new TFTPForm(*this);
    m_lastSession = form;
    TFTPForm::BusyScope busy(*form);
    form->setWindowTitle(ToQ(CutUtf8(Site.FTPSiteName.Get() + " (" + Site.FTPServer.Get() + ")", 255)));
    form->SetPanelText(0, QStringLiteral("Connecting..."));

    const QRect screen = (form->screen() ? form->screen() : QGuiApplication::primaryScreen())->geometry();
    form->SetBounds(SessionWindowBounds(Site, TFTPForm::DefaultBounds(), screen.width(), screen.height()));
    form->ShowAllfilesMenu->setChecked(Site.ShowAllFiles != 0);
    form->show();
    form->SiteName = Site.FTPSiteName.Get();
    form->AStatusBar1->clearMessage();

    // Log-on and listing. The window follows the session: its local tree
    // moves to the profile's directory, its path field shows the remote
    // one, and a remote one the server refuses is reported there.
    TFTPSession& session = form->Session();
    session.SetTimeOut(FtpTimeOut);
    session.Open(Site);
}

std::string TMySitesWindow::ViewDirectory() const
{
    if (!m_viewFolder)
        m_viewFolder = std::make_unique<TViewFolder>(TempDir);
    return m_viewFolder->Path();
}

TFTPForm* TMySitesWindow::LastSession() const
{
    return m_lastSession.data();
}

void TMySitesWindow::StoreSessionState(const std::string& siteName, const TWindowBounds& bounds, bool showAllFiles)
{
    const int i = m_sites.IndexOf(siteName);
    if (i < 0)
        return;
    TFTPSiteObject& site = m_sites.Object(i);
    site.SessionLeft = bounds.Left;
    site.SessionTop = bounds.Top;
    site.SessionWidth = bounds.Width;
    site.SessionHeight = bounds.Height;
    site.ShowAllFiles = showAllFiles ? 1 : 0;
}

void TMySitesWindow::ShowHelpTopic(const std::string& topic)
{
    ShowHelp(HelpFile, topic);
}

void TMySitesWindow::TrayMenuPopup()
{
    // Everything after "Plover...", "-", "Send Email", "-" is rebuilt.
    while (TrayMenu->actions().size() > 4) {
        QAction* old = TrayMenu->actions().at(4);
        TrayMenu->removeAction(old);
        // Later: the item may be the one whose click is running now.
        if (old->parent() == TrayMenu)
            old->deleteLater();
    }
    for (int i = 0; i < m_sites.Count(); ++i) {
        // "&" would mark a shortcut letter; doubled, it shows as itself.
        QString caption = ToQ(m_sites.Name(i));
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = TrayMenu->addAction(caption);
        connect(item, &QAction::triggered, this, [this, item] { Guard([this, item] { DesktopMenuClick(item); }); });
    }
    if (m_sites.Count() > 0)
        TrayMenu->addSeparator();
    QAction* exit = TrayMenu->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, [this] { Guard([this] { Exit1Click(); }); });
}

void TMySitesWindow::DesktopMenuClick(QAction* item)
{
    QString caption = item->text();
    caption.replace(QStringLiteral("&&"), QStringLiteral("&"));
    const int i = m_sites.IndexOf(FromQ(caption));
    if (i >= 0) {
        DoConnection(m_sites.Object(i).Record());
        return;
    }
    Dialogs::ShowMessage(QStringLiteral("Error opening web site"));
    showSiteManager();
}

void TMySitesWindow::showSiteManager()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TMySitesWindow::Plover1Click() { showSiteManager(); }
void TMySitesWindow::OvTrayIcon951Click() { showSiteManager(); }
void TMySitesWindow::OvTrayIcon951DblClick() { showSiteManager(); }

void TMySitesWindow::SetShowEmailForm(std::function<void()> show)
{
    m_showEmailForm = std::move(show);
    SendEmail1->setEnabled(bool(m_showEmailForm));
    SendEmail2->setEnabled(bool(m_showEmailForm));
}

void TMySitesWindow::SendEmail1Click()
{
    if (m_showEmailForm)
        m_showEmailForm();
}

void TMySitesWindow::SendEmail2Click()
{
    SendEmail1Click();
}

// ---- Edit and Help menus ----

void TMySitesWindow::Cut1Click()
{
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        edit->cut();
}

void TMySitesWindow::Copy1Click()
{
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        edit->copy();
}

void TMySitesWindow::Paste1Click()
{
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        edit->paste();
}

void TMySitesWindow::Contents1Click()
{
    ShowHelp(HelpFile, "Table_of_Contents");
}

bool TMySitesWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FTPSitesLB && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            char c = 13;
            Guard([&] { FTPSitesLBKeyPress(c); });
            return true;
        }
        return false;
    }
    if (watched == FTPSitesLB->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            const QPoint p = drag->position().toPoint();
            bool accept = false;
            Guard([&] { accept = FTPSitesLBDragOver(drag->source(), p.x(), p.y()); });
            if (accept) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QPoint p = drop->position().toPoint();
            Guard([&] { FTPSitesLBDragDrop(drop->source(), p.x(), p.y()); });
            // Copy, so that the view does not remove the dragged row itself.
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            FTPSitesLBEndDrag();
            return true;
        }
        case QEvent::DragLeave:
            FTPSitesLBEndDrag();
            return true;
        default:
            return false;
        }
    }
    if (watched == DataModeCB && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        if (event->type() == QEvent::FocusIn)
            DataModeCBEnter();
        else
            FTPSiteNameEditExit();
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const QLineEdit* edits[] = {FTPSiteNameEdit, FTPServerEdit, UserNameEdit, PasswordEdit, RemoteDirectoryEdit,
                                    LocalDirectoryEdit};
        for (int f = 0; f < 6; ++f) {
            if (watched != edits[f])
                continue;
            if (event->type() == QEvent::FocusOut) {
                FTPSiteNameEditExit();
                break;
            }
            switch (f) {
            case 0: FTPSiteNameEditEnter(); break;
            case 1: FTPServerEditEnter(); break;
            case 2: UserNameEditEnter(); break;
            case 3: PasswordEditEnter(); break;
            case 4: RemoteDirectoryEditEnter(); break;
            default: LocalDirectoryEditEnter(); break;
            }
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace plover

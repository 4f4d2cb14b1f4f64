#include "app/mysiteswindow.h"

#include "app/sitesfile.h"
#include "platform/dirs.h"
#include "platform/guard.h"
#include "platform/text.h"

#include <QApplication>
#include <QCloseEvent>
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

template <class T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit* labelledEdit(QFormLayout* form, const char* name, const QString& caption)
{
    auto* edit = named(new QLineEdit, name);
    auto* label = new QLabel(caption);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

} // namespace

TMySitesWindow::TMySitesWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MySitesWindow"));
    setWindowTitle(QStringLiteral("Plover - The Best FTP Client on the Net!"));
    OnTerminate = [] { QCoreApplication::exit(0); };
    buildControls();
    move(DesignLeft, DesignTop);
    resize(DesignWidth, DesignHeight);
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

    auto* listRow = new QHBoxLayout;
    FTPSitesLB = named(new QListWidget, "FTPSitesLB");
    FTPSitesLB->setAccessibleName(QStringLiteral("Site profiles"));
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
    outer->addLayout(listRow, 1);

    auto* buttons = new QHBoxLayout;
    ConnectButton = named(new QPushButton(QStringLiteral("Connect")), "ConnectButton");
    ChangeButton = named(new QPushButton(QStringLiteral("Change")), "ChangeButton");
    AddButton = named(new QPushButton(QStringLiteral("Add")), "AddButton");
    DeleteFTPProfile = named(new QPushButton(QStringLiteral("Delete")), "DeleteFTPProfile");
    CreateIconButton = named(new QPushButton(QStringLiteral("Create Desktop Icon")), "CreateIconButton");
    for (QPushButton* b : {ConnectButton, ChangeButton, AddButton, DeleteFTPProfile, CreateIconButton}) {
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    Up->setEnabled(false);
    Down->setEnabled(false);
    outer->addLayout(buttons);

    auto* form = new QFormLayout;
    FTPSiteNameEdit = labelledEdit(form, "FTPSiteNameEdit", QStringLiteral("FTP Site Name:"));
    FTPServerEdit = labelledEdit(form, "FTPServerEdit", QStringLiteral("FTP Server:"));
    UserNameEdit = labelledEdit(form, "UserNameEdit", QStringLiteral("Username:"));
    PasswordEdit = labelledEdit(form, "PasswordEdit", QStringLiteral("Password:"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    BitBtn6 = named(new QPushButton(QStringLiteral("Anonymous Log-in")), "BitBtn6");
    form->addRow(QString(), BitBtn6);
    RemoteDirectoryEdit = labelledEdit(form, "RemoteDirectoryEdit", QStringLiteral("Remote Directory:"));
    LocalDirectoryEdit = labelledEdit(form, "LocalDirectoryEdit", QStringLiteral("Local Directory:"));
    BrowseButton = named(new QPushButton(QStringLiteral("Browse...")), "BrowseButton");
    form->addRow(QString(), BrowseButton);
    outer->addLayout(form);
    setCentralWidget(central);

    StatusBar1 = named(new QStatusBar, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setAccessibleName(QStringLiteral("Field hint"));
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

    connect(FTPSitesLB, &QListWidget::itemSelectionChanged, this, Guarded([this] { FTPSitesLBClick(); }));
}

std::string TMySitesWindow::SitesFilePath() const
{
    return DataDir() + "/sites.dat";
}

void TMySitesWindow::FormCreate()
{
    ProgramDir = plover::ProgramDir();
    TempDir = TempDirFromEnvironment();

    IniFile = std::make_unique<TIniFile>(SettingsFilePath());
    TWindowBounds current{pos().x(), pos().y(), width(), height()};
    TWindowBounds b = ReadMainFormBounds(*IniFile, current);
    // No range check is made, as designed: the remembered bounds are applied as read.
    move(b.Left, b.Top);
    resize(b.Width, b.Height);
    const int index = ReadMainFormIndex(*IniFile);
    Email = ReadEmailSettings(*IniFile);

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
    IniFile.reset();
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

} // namespace plover

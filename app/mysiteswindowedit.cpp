// The site manager's editing of the profile list: selection, the change
// rules and field hints, Add, Change, Delete, reordering by buttons and by
// drag and drop, Anonymous, Browse and Connect.
#include "app/mysiteswindow.h"
#include "app/sitesfile.h"

#include "app/siteeditor.h"
#include "platform/choosedirectoryform.h"
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/guard.h"
#include "platform/text.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace plover {

bool TMySitesWindow::selected() const
{
    return SelectedIndex() >= 0;
}

TSiteFields TMySitesWindow::Fields() const
{
    return {FromQ(FTPSiteNameEdit->text()), FromQ(FTPServerEdit->text()), FromQ(RemoteDirectoryEdit->text()),
            FromQ(LocalDirectoryEdit->text()), FromQ(UserNameEdit->text()), FromQ(PasswordEdit->text()),
            dataModeChoice()};
}

void TMySitesWindow::setListEditingEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{DeleteFTPProfile, AddButton, ConnectButton, CreateIconButton, Up, Down})
        w->setEnabled(enabled);
    ConnectMenuItem->setEnabled(enabled);
}

void TMySitesWindow::selectMoved(int index)
{
    QSignalBlocker block(FTPSitesLB);
    FTPSitesLB->setCurrentRow(index);
}

// ---- the list ----

void TMySitesWindow::FTPSitesLBDblClick()
{
    const int i = SelectedIndex();
    if (i >= 0 && i < m_sites.Count())
        DoConnection(m_sites.Object(i).Record());
}

void TMySitesWindow::FTPSitesLBKeyPress(char& Key)
{
    if (Key != 13)
        return;
    Key = 0;
    // Whatever the button's state: an empty server still gets its attempt.
    ConnectButtonClick();
}

int TMySitesWindow::listItemHeight() const
{
    const int h = FTPSitesLB->sizeHintForRow(0);
    return h > 0 ? h : FTPSitesLB->fontMetrics().height();
}

bool TMySitesWindow::FTPSitesLBDragOver(QObject* Source, int X, int Y)
{
    const bool accept = Source == FTPSitesLB && FTPSitesLB->viewport()->rect().contains(X, Y);
    if (!accept)
        return false;
    const int direction = DragScrollDirectionAt(Y, FTPSitesLB->viewport()->height(), listItemHeight());
    if (direction < 0) {
        Timer1->stop();
    } else {
        DragScrollDirection = static_cast<uint8_t>(direction);
        if (!Timer1->isActive())
            Timer1->start();
    }
    return true;
}

void TMySitesWindow::scrollWhileDragging()
{
    QScrollBar* bar = FTPSitesLB->verticalScrollBar();
    bar->setValue(bar->value() + (DragScrollDirection == 0 ? bar->singleStep() : -bar->singleStep()));
}

void TMySitesWindow::FTPSitesLBDragDrop(QObject* Source, int X, int Y)
{
    if (Source != FTPSitesLB)
        return;
    const int from = SelectedIndex();
    if (from < 0)
        return;
    const QModelIndex under = FTPSitesLB->indexAt(QPoint(X, Y));
    const int target = DropTargetIndex(under.isValid() ? under.row() : -1, m_sites.Count());
    m_sites.Move(from, target);
    RefreshList();
    selectMoved(target);
    saveSiteList();
}

void TMySitesWindow::FTPSitesLBEndDrag()
{
    Timer1->stop();
}

void TMySitesWindow::UpClick()
{
    const int i = SelectedIndex();
    if (i <= 0)
        return;
    m_sites.Move(i, i - 1);
    RefreshList();
    selectMoved(i - 1);
    saveSiteList();
}

void TMySitesWindow::DownClick()
{
    const int i = SelectedIndex();
    if (i < 0 || i >= m_sites.Count() - 1)
        return;
    m_sites.Move(i, i + 1);
    RefreshList();
    selectMoved(i + 1);
    saveSiteList();
}

// ---- profile editing ----

// Every change a user makes to the list reaches the file at once, so a
// crash or a killed session loses none of it; the sessions' window bounds
// still join it at exit.
void TMySitesWindow::saveSiteList()
{
    SaveSites(SitesFilePath(), m_sites);
}

void TMySitesWindow::AddButtonClick()
{
    const TFTPSiteRecord site = RecordFromFields(Fields());
    const std::string name = site.FTPSiteName.Get();
    if (m_sites.IndexOf(name) < 0) {
        m_sites.Add(site);
        RefreshList();
        saveSiteList();
    }
    // The new entry, or the namesake that was already there; the fields show
    // what the selection holds, so a later Change edits the profile seen.
    SelectIndex(m_sites.IndexOf(name));
    ChangeButton->setEnabled(false);
    AddButton->setEnabled(false);
    DeleteFTPProfile->setEnabled(true);
}

void TMySitesWindow::ChangeButtonClick()
{
    const int i = SelectedIndex();
    if (i < 0 || i >= m_sites.Count())
        return;
    const TFTPSiteRecord edited = RecordFromFields(Fields());
    TFTPSiteRecord& site = m_sites.Object(i);
    site.FTPSiteName = edited.FTPSiteName;
    site.FTPServer = edited.FTPServer;
    site.RemoteDirectory = edited.RemoteDirectory;
    site.LocalDirectory = edited.LocalDirectory;
    site.UserName = edited.UserName;
    site.Password = edited.Password;
    site.SetDataConnectionMode(edited.DataConnectionMode());
    // No uniqueness check: a rename to an existing name leaves two entries,
    // and the selection moves to the first of them.
    m_sites.SetName(i, edited.FTPSiteName.Get());
    RefreshList();
    saveSiteList();
    SelectIndex(m_sites.IndexOf(edited.FTPSiteName.Get()));
    AddButton->setEnabled(false);
    ChangeButton->setEnabled(false);
}

void TMySitesWindow::DeleteFTPProfileClick()
{
    int i = SelectedIndex();
    if (i < 0 || i >= m_sites.Count())
        return;
    m_sites.Delete(i);
    RefreshList();
    saveSiteList();
    if (i >= m_sites.Count())
        i = m_sites.Count() - 1;
    if (m_sites.Count() == 0) {
        for (QLineEdit* edit : {FTPSiteNameEdit, FTPServerEdit, RemoteDirectoryEdit, LocalDirectoryEdit, UserNameEdit,
                                PasswordEdit})
            edit->clear();
        setDataModeChoice(dcDefault);
        setListEditingEnabled(false);
        ChangeButton->setEnabled(false);
        return;
    }
    selectMoved(i);
    fillFields(m_sites.Object(i).Record());
    setListEditingEnabled(true);
    ChangeButton->setEnabled(false);
}

void TMySitesWindow::FTPSiteNameEditChange()
{
    const std::string name = FromQ(FTPSiteNameEdit->text());
    AddButton->setEnabled(AddAllowed(m_sites, name));
    ChangeButton->setEnabled(ChangeAllowedForName(name, selected()));
}

void TMySitesWindow::FTPServerEditChange()
{
    const bool connect = ConnectAllowed(FromQ(FTPServerEdit->text()));
    ConnectButton->setEnabled(connect);
    ConnectMenuItem->setEnabled(connect);
    if (selected())
        ChangeButton->setEnabled(true);
}

void TMySitesWindow::RemoteDirectoryEditChange()
{
    if (selected())
        ChangeButton->setEnabled(true);
}

void TMySitesWindow::LocalDirectoryEditChange()
{
    if (selected())
        ChangeButton->setEnabled(true);
}

void TMySitesWindow::DataModeCBChange()
{
    if (selected())
        ChangeButton->setEnabled(true);
}

void TMySitesWindow::showFieldHint(int field)
{
    StatusBar1->showMessage(QString::fromUtf8(FieldHints[field]));
}

void TMySitesWindow::FTPSiteNameEditEnter() { showFieldHint(0); }
void TMySitesWindow::FTPServerEditEnter() { showFieldHint(1); }
void TMySitesWindow::UserNameEditEnter() { showFieldHint(2); }
void TMySitesWindow::PasswordEditEnter() { showFieldHint(3); }
void TMySitesWindow::RemoteDirectoryEditEnter() { showFieldHint(4); }
void TMySitesWindow::LocalDirectoryEditEnter() { showFieldHint(5); }
void TMySitesWindow::DataModeCBEnter() { showFieldHint(6); }

void TMySitesWindow::FTPSiteNameEditExit()
{
    StatusBar1->clearMessage();
}

void TMySitesWindow::BitBtn6Click()
{
    UserNameEdit->setText(QStringLiteral("anonymous"));
    PasswordEdit->setText(ToQ(AnonymousPassword));
}

TChooseDirectoryForm& TMySitesWindow::ChooseDirectoryForm()
{
    if (!m_chooseDirectoryForm)
        m_chooseDirectoryForm = new TChooseDirectoryForm(this);
    return *m_chooseDirectoryForm;
}

void TMySitesWindow::BrowseButtonClick()
{
    TChooseDirectoryForm& form = ChooseDirectoryForm();
    // Start where the field points when it names a directory; otherwise
    // where the dialog was left.
    const QString typed = LocalDirectoryEdit->text();
    if (!typed.isEmpty() && QFileInfo(typed).isDir())
        form.SetDirectory(typed);
    if (Dialogs::ShowModal(form) == mrOk)
        LocalDirectoryEdit->setText(form.Directory());
}

// ---- connecting ----

void TMySitesWindow::ConnectButtonClick()
{
    const int i = SelectedIndex();
    const TFTPSiteRecord* chosen = i >= 0 && i < m_sites.Count() ? &m_sites.Object(i).Record() : nullptr;
    DoConnection(ConnectRecord(chosen, Fields()));
}

void TMySitesWindow::ConnectMenuItemClick()
{
    ConnectButtonClick();
}

// ---- the tray and its menu ----

} // namespace plover

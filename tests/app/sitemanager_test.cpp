#include "app/mysiteswindow.h"
#include "app/siteeditor.h"
#include "app/sitesfile.h"
#include "app/startup.h"
#include "platform/choosedirectoryform.h"
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/dirs.h"
#include "platform/helpviewer.h"
#include "shell/trayicon.h"
#include "tests/support/temphome.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace plover;

namespace {

// The site manager with DoConnection observed instead of opening a session.
class ObservedSitesWindow final : public TMySitesWindow {
public:
    void DoConnection(TFTPSiteRecord Site) override { Connections.push_back(Site); }
    std::vector<TFTPSiteRecord> Connections;
};

class SiteManagerTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Dialogs::ClearHistory();
        Dialogs::SetResponder([this](const DialogRequest& r) { return answer ? answer(r) : int(mrOk); });
    }
    void TearDown() override
    {
        w.reset();
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    // A window loaded with the named profiles (server "server-<name>").
    void open(std::initializer_list<const char*> names, int index = 0)
    {
        std::vector<TFTPSiteRecord> records;
        for (const char* n : names)
            records.push_back(MakeSiteRecord(n, std::string("server-") + n, "/r", "/l", "user-" + std::string(n), "pw"));
        open(records, index);
    }
    void open(const std::vector<TFTPSiteRecord>& records, int index)
    {
        TSiteList list;
        for (const TFTPSiteRecord& r : records)
            list.Add(r);
        SaveSites(DataDir() + "/sites.dat", list);
        test::WriteFileBytes(SettingsFilePath(), "[MainForm]\nIndex=" + std::to_string(index) + "\n");
        w = std::make_unique<ObservedSitesWindow>();
        w->OnTerminate = [this] { ++terminated; };
        w->FormCreate();
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < w->FTPSitesLB->count(); ++i)
            out.push_back(w->FTPSitesLB->item(i)->text().toStdString());
        return out;
    }

    std::vector<std::string> trayCaptions() const
    {
        std::vector<std::string> out;
        for (QAction* a : w->TrayMenu->actions())
            out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return out;
    }

    // Enabled state of Add, Change, Connect, Delete, Create Desktop Icon, Up, Down, Connect menu.
    std::string enabled() const
    {
        std::string s;
        for (QWidget* b : std::initializer_list<QWidget*>{w->AddButton, w->ChangeButton, w->ConnectButton,
                                                          w->DeleteFTPProfile, w->CreateIconButton, w->Up, w->Down})
            s += b->isEnabled() ? '1' : '0';
        s += w->ConnectMenuItem->isEnabled() ? '1' : '0';
        return s;
    }

    std::function<int(const DialogRequest&)> answer;
    std::unique_ptr<ObservedSitesWindow> w;
    int terminated = 0;
};

TEST_F(SiteManagerTest, EnablingAfterSelectingTypingAndClearing)
{
    open({"Alpha", "Beta"}, -1);
    EXPECT_EQ(enabled(), "00000000");
    EXPECT_TRUE(w->BitBtn6->isEnabled());
    EXPECT_TRUE(w->BrowseButton->isEnabled());

    // Typing a new name and a server with nothing selected.
    w->FTPSiteNameEdit->setText("Gamma");
    EXPECT_EQ(enabled(), "10000000");
    w->FTPServerEdit->setText("ftp.example.org");
    EXPECT_EQ(enabled(), "10100001");
    w->FTPServerEdit->clear();
    EXPECT_EQ(enabled(), "10000000");
    w->FTPSiteNameEdit->setText("beta");  // a namesake in another case
    EXPECT_EQ(enabled(), "00000000");

    // Selecting fills the fields; the texts changed, so Change is on.
    w->FTPSitesLB->setCurrentRow(0);
    EXPECT_EQ(w->FTPSiteNameEdit->text(), "Alpha");
    EXPECT_EQ(w->FTPServerEdit->text(), "server-Alpha");
    EXPECT_EQ(w->UserNameEdit->text(), "user-Alpha");
    EXPECT_EQ(w->RemoteDirectoryEdit->text(), "/r");
    EXPECT_EQ(enabled(), "01111111");

    // Clearing the name with a selection: neither Add nor Change.
    w->FTPSiteNameEdit->clear();
    EXPECT_EQ(enabled(), "00111111");
    w->FTPSiteNameEdit->setText("Delta");
    EXPECT_EQ(enabled(), "11111111");
    // Clearing the server turns Connect and its menu entry off, Change stays on.
    w->FTPServerEdit->clear();
    EXPECT_EQ(enabled(), "11011110");
}

TEST_F(SiteManagerTest, ChangeTurnsOnFromAnyFieldOnlyWithASelection)
{
    open({"Alpha"}, 0);
    w->ChangeButton->setEnabled(false);
    w->LocalDirectoryEdit->setText("/elsewhere");
    EXPECT_TRUE(w->ChangeButton->isEnabled());
    w->ChangeButton->setEnabled(false);
    w->PasswordEdit->setText("new");
    EXPECT_TRUE(w->ChangeButton->isEnabled());

    w->FTPSitesLB->setCurrentRow(-1);
    w->ChangeButton->setEnabled(false);
    w->RemoteDirectoryEdit->setText("/x");
    w->UserNameEdit->setText("x");
    EXPECT_FALSE(w->ChangeButton->isEnabled());
}

TEST_F(SiteManagerTest, AddAppendsOrSelectsTheNamesake)
{
    open({"Alpha", "Beta", "Gamma"}, 0);
    w->FTPSiteNameEdit->setText("Delta");
    w->FTPServerEdit->setText("delta.example.org");
    w->AddButton->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Delta"}));
    EXPECT_EQ(w->SelectedIndex(), 3);
    EXPECT_EQ(w->Sites().Object(3).FTPServer.Get(), "delta.example.org");
    EXPECT_EQ(w->Sites().Object(3).SessionWidth, -1);
    EXPECT_EQ(enabled(), "00111111");

    // An existing name in any case adds nothing and selects the existing one.
    w->FTPSiteNameEdit->setText("bEtA");
    w->FTPServerEdit->setText("other.example.org");
    w->AddButtonClick();
    EXPECT_EQ(w->Sites().Count(), 4);
    EXPECT_EQ(w->SelectedIndex(), 1);
    EXPECT_EQ(w->Sites().Object(1).FTPServer.Get(), "server-Beta");
    EXPECT_FALSE(w->AddButton->isEnabled());
    EXPECT_FALSE(w->ChangeButton->isEnabled());

    // A name over 255 bytes is stored cut.
    w->FTPSiteNameEdit->setText(QString(300, QLatin1Char('z')));
    w->AddButtonClick();
    EXPECT_EQ(w->Sites().Name(4), std::string(255, 'z'));
    EXPECT_EQ(w->SelectedIndex(), 4);
}

TEST_F(SiteManagerTest, ChangeToAnEarlierNameLeavesTwoAndSelectsTheEarlier)
{
    open({"Alpha", "Beta", "Gamma"}, 2);
    w->Sites().Object(2).SessionWidth = 640;
    w->FTPSiteNameEdit->setText("ALPHA");
    w->FTPServerEdit->setText("new.example.org");
    ASSERT_TRUE(w->ChangeButton->isEnabled());
    w->ChangeButton->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "ALPHA"}));
    EXPECT_EQ(w->SelectedIndex(), 0);
    // The renamed entry kept its place, its object and its bounds.
    EXPECT_EQ(w->Sites().Object(2).FTPServer.Get(), "new.example.org");
    EXPECT_EQ(w->Sites().Object(2).SessionWidth, 640);
    EXPECT_EQ(w->Sites().Object(0).FTPServer.Get(), "server-Alpha");
    EXPECT_FALSE(w->AddButton->isEnabled());
    EXPECT_FALSE(w->ChangeButton->isEnabled());

    // Nothing selected: Change does nothing.
    w->FTPSitesLB->setCurrentRow(-1);
    w->FTPSiteNameEdit->setText("Zeta");
    w->ChangeButtonClick();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "ALPHA"}));
}

TEST_F(SiteManagerTest, DeleteTheLastAndTheOnlyEntry)
{
    open({"Alpha", "Beta", "Gamma"}, 2);
    w->DeleteFTPProfile->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(w->SelectedIndex(), 1);
    EXPECT_EQ(w->FTPSiteNameEdit->text(), "Beta");
    EXPECT_EQ(w->PasswordEdit->text(), "pw");
    EXPECT_EQ(enabled(), "10111111");  // Add on though the name is listed: it would only select it

    // A middle entry: its successor moves up into the selection.
    w->FTPSitesLB->setCurrentRow(0);
    w->DeleteFTPProfileClick();
    EXPECT_EQ(names(), std::vector<std::string>{"Beta"});
    EXPECT_EQ(w->SelectedIndex(), 0);

    w->DeleteFTPProfileClick();
    EXPECT_TRUE(names().empty());
    for (QLineEdit* e : {w->FTPSiteNameEdit, w->FTPServerEdit, w->UserNameEdit, w->PasswordEdit,
                         w->RemoteDirectoryEdit, w->LocalDirectoryEdit})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(enabled(), "00000000");
    w->DeleteFTPProfileClick();  // nothing selected: nothing happens
    EXPECT_EQ(w->Sites().Count(), 0);
}

TEST_F(SiteManagerTest, UpAndDownMoveButNotPastTheEnds)
{
    open({"Alpha", "Beta", "Gamma"}, 0);
    w->FTPSiteNameEdit->setText("unsaved");
    w->Up->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(w->SelectedIndex(), 0);
    w->Down->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Beta", "Alpha", "Gamma"}));
    EXPECT_EQ(w->SelectedIndex(), 1);
    EXPECT_EQ(w->FTPSiteNameEdit->text(), "unsaved");  // a move does not refill the fields
    w->Down->click();
    EXPECT_EQ(w->SelectedIndex(), 2);
    w->Down->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Beta", "Gamma", "Alpha"}));
    EXPECT_EQ(w->SelectedIndex(), 2);
    w->Up->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Beta", "Alpha", "Gamma"}));
    // The objects moved with their names.
    EXPECT_EQ(w->Sites().Object(1).FTPServer.Get(), "server-Alpha");
}

TEST_F(SiteManagerTest, DropMovesTheSelectedEntry)
{
    open({"Alpha", "Beta", "Gamma"}, 0);
    w->resize(428, 465);
    w->show();
    QListWidget* lb = w->FTPSitesLB;
    const QRect last = lb->visualItemRect(lb->item(2));
    const int belowLast = last.bottom() + 5;
    ASSERT_LT(belowLast, lb->viewport()->height());

    // Dropped on itself: nothing changes.
    EXPECT_TRUE(w->FTPSitesLBDragOver(lb, 5, lb->visualItemRect(lb->item(0)).center().y()));
    w->FTPSitesLBDragDrop(lb, 5, lb->visualItemRect(lb->item(0)).center().y());
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(w->SelectedIndex(), 0);

    // Below the last line: to the end.
    EXPECT_TRUE(w->FTPSitesLBDragOver(lb, 5, belowLast));
    w->FTPSitesLBDragDrop(lb, 5, belowLast);
    EXPECT_EQ(names(), (std::vector<std::string>{"Beta", "Gamma", "Alpha"}));
    EXPECT_EQ(w->SelectedIndex(), 2);

    // Onto the first line.
    w->FTPSitesLBDragDrop(lb, 5, lb->visualItemRect(lb->item(0)).center().y());
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(w->Sites().Object(0).FTPServer.Get(), "server-Alpha");

    // Only the list itself may be dropped, and only inside it.
    EXPECT_FALSE(w->FTPSitesLBDragOver(w->FTPServerEdit, 5, 5));
    EXPECT_FALSE(w->FTPSitesLBDragOver(lb, 5, lb->viewport()->height() + 3));
    w->FTPSitesLBDragDrop(w->FTPServerEdit, 5, belowLast);
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
}

TEST_F(SiteManagerTest, DraggingNearAnEdgeRunsTheScrollTimer)
{
    open({"Alpha"}, 0);
    w->show();
    QListWidget* lb = w->FTPSitesLB;
    const int h = lb->viewport()->height();
    ASSERT_GT(h, 60);
    w->FTPSitesLBDragOver(lb, 5, h - 2);
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->DragScrollDirection, 0);
    w->FTPSitesLBDragOver(lb, 5, h / 2);
    EXPECT_FALSE(w->Timer1->isActive());
    w->FTPSitesLBDragOver(lb, 5, 1);
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->DragScrollDirection, 1);
    w->FTPSitesLBEndDrag();
    EXPECT_FALSE(w->Timer1->isActive());
}

TEST_F(SiteManagerTest, TrayMenuIsRebuiltAtEveryPopup)
{
    open({"Alpha", "B&B"}, 0);
    EXPECT_EQ(trayCaptions(), (std::vector<std::string>{"Plover...", "-", "Send Email", "-", "Sites", "-", "Exit"}));
    for (int i = 0; i < 3; ++i) {
        w->TrayMenu->popup(QPoint(0, 0));  // runs TrayMenuPopup as it opens
        w->TrayMenu->close();
    }
    EXPECT_EQ(trayCaptions(),
              (std::vector<std::string>{"Plover...", "-", "Send Email", "-", "Alpha", "B&&B", "-", "Exit"}));

    w->FTPSitesLB->setCurrentRow(0);
    w->DeleteFTPProfileClick();
    w->DeleteFTPProfileClick();
    w->TrayMenuPopup();
    EXPECT_EQ(trayCaptions(), (std::vector<std::string>{"Plover...", "-", "Send Email", "-", "Exit"}));
}

TEST_F(SiteManagerTest, TraySiteItemsConnectOrReportTheMissingProfile)
{
    open({"Alpha", "B&B"}, 0);
    w->FTPServerEdit->setText("unsaved.example.org");
    w->TrayMenuPopup();
    QList<QAction*> items = w->TrayMenu->actions();
    items.at(5)->trigger();  // "B&B"
    ASSERT_EQ(w->Connections.size(), 1u);
    EXPECT_EQ(w->Connections[0].FTPSiteName.Get(), "B&B");
    EXPECT_EQ(w->Connections[0].FTPServer.Get(), "server-B&B");

    // The profile went away after the menu was built.
    w->FTPSitesLB->setCurrentRow(0);
    w->DeleteFTPProfileClick();
    EXPECT_FALSE(w->isVisible());
    items.at(4)->trigger();  // "Alpha"
    EXPECT_EQ(w->Connections.size(), 1u);
    ASSERT_EQ(Dialogs::History().size(), 1u);
    EXPECT_EQ(Dialogs::History()[0].text, "Error opening web site");
    EXPECT_TRUE(w->isVisible());
}

TEST_F(SiteManagerTest, ConnectUsesTheFieldsAsTyped)
{
    open({"Alpha"}, 0);
    w->Sites().Object(0).SessionLeft = 33;
    w->FTPServerEdit->setText("typed.example.org");
    w->UserNameEdit->clear();
    w->PasswordEdit->clear();
    w->ConnectButton->click();
    ASSERT_EQ(w->Connections.size(), 1u);
    const TFTPSiteRecord& r = w->Connections[0];
    EXPECT_EQ(r.FTPServer.Get(), "typed.example.org");
    EXPECT_EQ(r.UserName.Get(), "anonymous");
    EXPECT_EQ(r.Password.Get(), ConnectPlaceholderPassword);
    EXPECT_EQ(r.SessionLeft, 33);
    // Neither the fields nor the stored profile changed.
    EXPECT_TRUE(w->UserNameEdit->text().isEmpty());
    EXPECT_EQ(w->Sites().Object(0).FTPServer.Get(), "server-Alpha");

    w->ConnectMenuItem->trigger();
    EXPECT_EQ(w->Connections.size(), 2u);

    // The double-click opens the stored profile, not the edits.
    w->FTPSitesLBDblClick();
    ASSERT_EQ(w->Connections.size(), 3u);
    EXPECT_EQ(w->Connections[2].FTPServer.Get(), "server-Alpha");
    EXPECT_EQ(w->Connections[2].UserName.Get(), "user-Alpha");
}

TEST_F(SiteManagerTest, EnterInTheListConnectsEvenWithoutAServer)
{
    open({}, -1);
    w->FTPSiteNameEdit->setText("Nameless");
    ASSERT_FALSE(w->ConnectButton->isEnabled());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(w->FTPSitesLB, &enter);
    EXPECT_TRUE(enter.isAccepted());
    ASSERT_EQ(w->Connections.size(), 1u);
    EXPECT_EQ(w->Connections[0].FTPServer.Get(), "");
    EXPECT_EQ(w->Connections[0].FTPSiteName.Get(), "Nameless");
    EXPECT_EQ(w->Connections[0].SessionWidth, -1);

    char other = 'a';
    w->FTPSitesLBKeyPress(other);
    EXPECT_EQ(other, 'a');
    EXPECT_EQ(w->Connections.size(), 1u);
}

// ---- the data-connection choice ----

TEST_F(SiteManagerTest, DataConnectionChoiceIsALabelledRowOfTheForm)
{
    open({"Alpha"}, 0);
    auto* cb = w->findChild<QComboBox*>("DataModeCB");
    ASSERT_NE(cb, nullptr);
    ASSERT_EQ(cb->count(), 3);
    EXPECT_EQ(cb->itemText(0), "Default");
    EXPECT_EQ(cb->itemText(1), "Passive");
    EXPECT_EQ(cb->itemText(2), "Active");
    EXPECT_FALSE(cb->accessibleName().isEmpty());
    QLabel* label = nullptr;
    for (QLabel* l : w->findChildren<QLabel*>())
        if (l->buddy() == cb)
            label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "&Data connection:");

    // Its accelerator is the only one on that letter in the window and its menu bar.
    std::map<int, std::vector<QString>> mnemonics;
    auto note = [&](const QString& text) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (!key.isEmpty())
            mnemonics[key[0].toCombined()].push_back(text);
    };
    for (QLabel* l : w->findChildren<QLabel*>())
        note(l->text());
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        note(b->text());
    for (QAction* a : w->menuBar()->actions())
        note(a->text());
    const auto d = mnemonics.find(QKeySequence::mnemonic(label->text())[0].toCombined());
    ASSERT_NE(d, mnemonics.end());
    EXPECT_EQ(d->second.size(), 1u);
    for (const auto& [key, texts] : mnemonics)
        EXPECT_EQ(texts.size(), 1u) << texts.front().toStdString();

    // A row of the form: caption and field in the columns of the others,
    // below the last field and inside the window.
    QLabel* localLabel = nullptr;
    for (QLabel* l : w->findChildren<QLabel*>())
        if (l->buddy() == w->LocalDirectoryEdit)
            localLabel = l;
    ASSERT_NE(localLabel, nullptr);
    w->show();
    EXPECT_EQ(label->x(), localLabel->x());
    EXPECT_EQ(cb->x(), w->LocalDirectoryEdit->x());
    EXPECT_GT(cb->y(), w->BrowseButton->geometry().bottom());
    EXPECT_LE(std::abs(label->geometry().center().y() - cb->geometry().center().y()), 2);
    EXPECT_LE(cb->geometry().right(), w->BrowseButton->geometry().right());
    EXPECT_LE(cb->geometry().bottom(), cb->parentWidget()->height());
    EXPECT_GE(label->width(), label->sizeHint().width());  // the caption is not cut
}

TEST_F(SiteManagerTest, DataConnectionChoiceIsFilledAndStoredWithTheFields)
{
    std::vector<TFTPSiteRecord> records;
    for (const char* n : {"Alpha", "Beta"})
        records.push_back(MakeSiteRecord(n, std::string("server-") + n, "/r", "/l", "user", "pw"));
    records[1].SetDataConnectionMode(dcActive);
    open(records, 1);
    QComboBox* cb = w->DataModeCB;
    EXPECT_EQ(cb->currentText(), "Active");
    w->FTPSitesLB->setCurrentRow(0);
    EXPECT_EQ(cb->currentText(), "Default");

    // Changing the choice turns Change on, with a selection only.
    w->ChangeButton->setEnabled(false);
    cb->setCurrentIndex(1);
    EXPECT_TRUE(w->ChangeButton->isEnabled());
    // Not stored until Change: selecting away and back shows the stored mode.
    w->FTPSitesLB->setCurrentRow(1);
    w->FTPSitesLB->setCurrentRow(0);
    EXPECT_EQ(cb->currentText(), "Default");
    EXPECT_EQ(w->Sites().Object(0).DataConnectionMode(), dcDefault);
    cb->setCurrentText("Passive");
    w->ChangeButton->click();
    EXPECT_EQ(w->Sites().Object(0).DataConnectionMode(), dcPassive);
    EXPECT_EQ(w->Sites().Object(1).DataConnectionMode(), dcActive);

    // Connect takes the choice as shown; the double-click the stored profile.
    w->FTPSitesLB->setCurrentRow(1);
    cb->setCurrentText("Default");
    w->ConnectButton->click();
    w->FTPSitesLBDblClick();
    ASSERT_EQ(w->Connections.size(), 2u);
    EXPECT_EQ(w->Connections[0].DataConnectionMode(), dcDefault);
    EXPECT_EQ(w->Connections[1].DataConnectionMode(), dcActive);

    // Add stores it with the new profile.
    w->FTPSiteNameEdit->setText("Gamma");
    cb->setCurrentText("Active");
    w->AddButton->click();
    ASSERT_EQ(w->Sites().Count(), 3);
    EXPECT_EQ(w->Sites().Object(2).DataConnectionMode(), dcActive);

    // Deleting every profile clears the choice with the fields.
    w->FTPSitesLB->setCurrentRow(0);
    for (int i = 0; i < 3; ++i)
        w->DeleteFTPProfileClick();
    ASSERT_EQ(w->Sites().Count(), 0);
    EXPECT_EQ(cb->currentText(), "Default");
    cb->setCurrentText("Passive");
    EXPECT_FALSE(w->ChangeButton->isEnabled());

    // Its hint follows the focus like the fields'.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(cb, &in);
    EXPECT_EQ(w->StatusBar1->currentMessage().toStdString(), TMySitesWindow::FieldHints[6]);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(cb, &out);
    EXPECT_EQ(w->StatusBar1->currentMessage(), QString());
}

TEST_F(SiteManagerTest, DataConnectionChoiceSurvivesExitAndRestart)
{
    open({"Alpha", "Beta"}, 0);
    w->FTPSitesLB->setCurrentRow(1);
    w->DataModeCB->setCurrentText("Active");
    w->ChangeButton->click();
    w->Exit1Click();
    ASSERT_EQ(terminated, 1);
    const std::string bytes = test::ReadFileBytes(DataDir() + "/sites.dat");
    ASSERT_EQ(bytes.size(), 2 * 1556u);
    EXPECT_EQ(bytes[1553], dcDefault);
    EXPECT_EQ(bytes[1556 + 1553], dcActive);

    w = std::make_unique<ObservedSitesWindow>();
    w->OnTerminate = [] {};
    w->FormCreate();
    ASSERT_EQ(w->SelectedIndex(), 1);
    EXPECT_EQ(w->DataModeCB->currentText(), "Active");
    w->FTPSitesLB->setCurrentRow(0);
    EXPECT_EQ(w->DataModeCB->currentText(), "Default");
}

TEST_F(SiteManagerTest, AnonymousFillsUserAndPlaceholder)
{
    open({}, -1);
    w->BitBtn6->click();
    EXPECT_EQ(w->UserNameEdit->text(), "anonymous");
    EXPECT_EQ(w->PasswordEdit->text().size(), 16);
    EXPECT_EQ(w->PasswordEdit->text().toStdString(), AnonymousPassword);
}

TEST_F(SiteManagerTest, BrowsePutsTheChosenDirectoryIntoTheField)
{
    open({}, -1);
    const std::string chosen = Root + "/chosen";
    std::filesystem::create_directories(chosen + "/inner");
    answer = [&](const DialogRequest& r) {
        EXPECT_EQ(r.kind, DialogRequest::Modal);
        EXPECT_EQ(r.text, "Choose Local Directory");
        auto* form = qobject_cast<TChooseDirectoryForm*>(r.dialog);
        EXPECT_NE(form, nullptr);
        if (form)
            form->DirectoryListBox1->SetDirectory(QString::fromStdString(chosen + "/inner"));
        return int(mrOk);
    };
    w->BrowseButton->click();
    EXPECT_EQ(w->LocalDirectoryEdit->text().toStdString(), chosen + "/inner");

    // Cancelled: the field stays; the dialog started at the field's directory.
    answer = [&](const DialogRequest& r) {
        auto* form = qobject_cast<TChooseDirectoryForm*>(r.dialog);
        EXPECT_EQ(form->Directory().toStdString(), chosen + "/inner");
        form->DirectoryListBox1->SetDirectory(QString::fromStdString(chosen));
        return int(mrCancel);
    };
    w->BrowseButtonClick();
    EXPECT_EQ(w->LocalDirectoryEdit->text().toStdString(), chosen + "/inner");
}

TEST_F(SiteManagerTest, FieldHintsFollowTheFocus)
{
    open({}, -1);
    const std::pair<QLineEdit*, const char*> fields[] = {
        {w->FTPSiteNameEdit, "Enter whatever you want to call this ftp site"},
        {w->FTPServerEdit, "Enter the host name of the ftp server in the form ftp.example.org"},
        {w->UserNameEdit, "Enter your ftp user name. (Or click on Anonymous)"},
        {w->PasswordEdit, "Enter your ftp password. (Or click on Anonymous)"},
        {w->RemoteDirectoryEdit, "Optional: Enter the default remote directory"},
        {w->LocalDirectoryEdit, "Optional: Enter the default local directory"},
    };
    for (const auto& [edit, hint] : fields) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &in);
        EXPECT_EQ(w->StatusBar1->currentMessage().toStdString(), hint);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &out);
        EXPECT_EQ(w->StatusBar1->currentMessage(), QString());
    }
}

TEST_F(SiteManagerTest, CopyAndPasteActOnTheFocusedEdit)
{
    open({}, -1);
    w->show();
    QApplication::setActiveWindow(w.get());
    w->FTPServerEdit->setText("copied.example.org");
    w->FTPServerEdit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w->FTPServerEdit);
    w->FTPServerEdit->selectAll();
    w->Copy1Click();
    EXPECT_EQ(QApplication::clipboard()->text(), "copied.example.org");
    w->Cut1Click();
    EXPECT_TRUE(w->FTPServerEdit->text().isEmpty());
    w->Paste1Click();
    w->Paste1Click();
    EXPECT_EQ(w->FTPServerEdit->text(), "copied.example.orgcopied.example.org");

    // Not an edit: nothing happens.
    w->FTPSitesLB->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w->FTPSitesLB);
    QApplication::clipboard()->setText("kept");
    w->Cut1Click();
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

TEST_F(SiteManagerTest, HelpOpensTheSiteManagerTopic)
{
    open({}, -1);
    EXPECT_EQ(w->HelpFile, ProgramDir() + "/PLOVER.HLP");
    w->HelpFile = PLOVER_HELP_FILE;
    w->Contents1->trigger();
    auto* viewer = qobject_cast<THelpViewer*>(
        [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "HelpViewer")
                    return top;
            return static_cast<QWidget*>(nullptr);
        }());
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->Browser->source().fragment(), "Table_of_Contents");
    EXPECT_TRUE(viewer->Browser->toPlainText().contains("The site manager"));
    EXPECT_TRUE(Dialogs::History().empty());
    viewer->close();

    w->HelpFile = Root + "/missing.hlp";
    w->Contents1Click();
    ASSERT_EQ(Dialogs::History().size(), 1u);
    EXPECT_TRUE(Dialogs::History()[0].text.startsWith("Cannot find the help file"));
}

TEST(HelpFile, HoldsBothTopics)
{
    const std::string html = test::ReadFileBytes(PLOVER_HELP_FILE);
    EXPECT_NE(html.find("<a name=\"Table_of_Contents\">"), std::string::npos);
    EXPECT_NE(html.find("<a name=\"Table_Of_Contents\">"), std::string::npos);
}

// ---- closing and start-up ----

TEST_F(SiteManagerTest, PrimaryWithATrayLivesBehindTheIcon)
{
    open({"Alpha"}, 0);
    StartSiteManager(*w, false, true, {});
    EXPECT_FALSE(w->ExitOnClose);
    EXPECT_TRUE(w->OvTrayIcon951->Active());
    EXPECT_EQ(w->OvTrayIcon951->Hint(), "Plover");
    EXPECT_TRUE(w->OvTrayIcon951->AutoPopup);
    EXPECT_EQ(w->OvTrayIcon951->PopupMenu(), w->TrayMenu);
    EXPECT_TRUE(w->isVisible());

    // Closing hides; the icon stays; nothing is written.
    EXPECT_FALSE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->OvTrayIcon951->Active());
    EXPECT_EQ(terminated, 0);

    // A click on the icon shows the window again.
    w->OvTrayIcon951Click();
    EXPECT_TRUE(w->isVisible());
    w->hide();
    w->Plover1->trigger();
    EXPECT_TRUE(w->isVisible());

    // The end of the desktop session turns the next close into the exit.
    w->QueryEndSession();
    EXPECT_TRUE(w->close());
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(w->OvTrayIcon951->Active());
    EXPECT_TRUE(test::FileExists(SettingsFilePath()));
}

TEST_F(SiteManagerTest, SecondaryInstanceOrNoTrayExitsOnClose)
{
    for (bool another : {true, false}) {
        open({"Alpha"}, 0);
        StartSiteManager(*w, another, another, {});  // secondary with a tray, primary without
        EXPECT_TRUE(w->ExitOnClose) << another;
        EXPECT_FALSE(w->OvTrayIcon951->Active()) << another;
        EXPECT_TRUE(w->isVisible()) << another;
        terminated = 0;
        EXPECT_TRUE(w->close()) << another;
        EXPECT_EQ(terminated, 1) << another;
    }
}

TEST_F(SiteManagerTest, CommandLineSiteConnects)
{
    open({"My Site", "Other"}, 1);
    StartSiteManager(*w, false, true, {"my_SITE", "ignored"});
    ASSERT_EQ(w->Connections.size(), 1u);
    EXPECT_EQ(w->Connections[0].FTPSiteName.Get(), "My Site");
    // The session window is the way in; the site manager stays behind the icon.
    EXPECT_FALSE(w->isVisible());

    // An unknown name: only the icon in the primary instance...
    open({"My Site"}, 0);
    StartSiteManager(*w, false, true, {"nobody"});
    EXPECT_TRUE(w->Connections.empty());
    EXPECT_FALSE(w->isVisible());
    // ... but the window without a notification area.
    open({"My Site"}, 0);
    StartSiteManager(*w, false, false, {"nobody"});
    EXPECT_TRUE(w->isVisible());
    // Without one, a named site opens and the site manager is shown too:
    // its close is the only way out.
    open({"My Site"}, 0);
    StartSiteManager(*w, false, false, {"My_Site"});
    ASSERT_EQ(w->Connections.size(), 1u);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->ExitOnClose);
}

TEST_F(SiteManagerTest, AHandedOverCommandLineOpensItsSiteOrTheSiteManager)
{
    open({"My Site", "Other"}, 0);
    StartSiteManager(*w, false, true, {"Other"});
    ASSERT_EQ(w->Connections.size(), 1u);
    EXPECT_FALSE(w->isVisible());
    TakeHandOver(*w, {"my_site"});
    ASSERT_EQ(w->Connections.size(), 2u);
    EXPECT_EQ(w->Connections[1].FTPSiteName.Get(), "My Site");
    EXPECT_FALSE(w->isVisible());
    TakeHandOver(*w, {});
    EXPECT_TRUE(w->isVisible());
    w->hide();
    TakeHandOver(*w, {"nobody"});
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Connections.size(), 2u);
}

// Every change to the list reaches sites.dat at once, not only at exit.
TEST_F(SiteManagerTest, TheSiteListIsWrittenAfterEveryChange)
{
    open({"Alpha", "Beta"}, 0);
    const std::string file = DataDir() + "/sites.dat";
    auto names = [&] {
        TSiteList list;
        LoadSites(file, list);
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i)
            out.push_back(list.Name(i));
        return out;
    };
    w->FTPSiteNameEdit->setText("Gamma");
    w->FTPServerEdit->setText("gamma.example.org");
    w->AddButton->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    w->Up->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Gamma", "Beta"}));
    w->Down->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    w->FTPSiteNameEdit->setText("Gamma 2");
    w->ChangeButton->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma 2"}));
    w->DeleteFTPProfile->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(terminated, 0);  // no exit was needed for any of it
}

} // namespace

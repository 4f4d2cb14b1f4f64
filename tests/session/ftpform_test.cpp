// The session window under offscreen Qt: its rules as plain functions, and
// the window itself against a real pyftpdlib server on 127.0.0.1.
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "session/ftpform.h"
#include "session/ftpformlayout.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"
#include "tests/session/sessionwindowtest.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QElapsedTimer>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace plover;

namespace {

TEST(FTPFormLayoutTest, DefaultSizeGivesTheKnownNumbers)
{
    const TFTPFormLayout l = FormResizeLayout(547, 478);
    EXPECT_EQ(l.PanelRemote.Width, 226);
    EXPECT_EQ(l.PanelLocal.Width, 178);
    EXPECT_EQ(l.ScrollBox1.Height, 386);
    EXPECT_EQ(l.DirectoryListBox1.Height, 106);
    // The rest of the chain follows from those.
    EXPECT_EQ(l.FilesHd.Width, 208);
    EXPECT_EQ(l.eRemotePath.Width, 173);
    EXPECT_EQ(l.ChangeToTextDirectory.Left, 191);
    EXPECT_EQ(l.ScrollBox1.Width, 84);
    EXPECT_EQ(l.ScrollBox1.Left, 242);
    EXPECT_EQ(l.PanelLocal.Left, 334);
    EXPECT_EQ(l.lFiles.Top, 57);
    EXPECT_EQ(l.lFiles.Height, 316);
    EXPECT_EQ(l.FileListBox1.Top, 157);
    EXPECT_EQ(l.FileListBox1.Height, 316 + 17 - 106 - 21 - 21);
    EXPECT_EQ(l.FilterComboBox1.Top, 157 + 185 + 10);
}

TEST(FTPFormLayoutTest, ShortWindowWidensTheCommandColumnForItsScrollBar)
{
    EXPECT_EQ(FormResizeLayout(547, 380).ScrollBox1.Width, 100);  // 289 > 288
    EXPECT_EQ(FormResizeLayout(547, 381).ScrollBox1.Width, 84);   // 289 = 289
    // Odd differences round toward zero.
    EXPECT_EQ(FormResizeLayout(548, 479).PanelRemote.Width, 226);
    EXPECT_EQ(FormResizeLayout(549, 479).PanelLocal.Width, 179);
}

TEST(FTPFormRulesTest, EnablingFollowsTheSelection)
{
    auto isDir = [](const std::string& n) { return n == "pub" || n == ".."; };
    // Only "..": nothing at all.
    auto e = CommandEnabling(RemoteSelectionFacts(true, {".."}, isDir));
    EXPECT_FALSE(e.Copy);
    EXPECT_FALSE(e.RenameDelete);
    // A directory row: rename and delete only.
    e = CommandEnabling(RemoteSelectionFacts(true, {"pub"}, isDir));
    EXPECT_FALSE(e.Copy);
    EXPECT_TRUE(e.RenameDelete);
    // A directory and a file: everything.
    e = CommandEnabling(RemoteSelectionFacts(true, {"pub", "a.txt"}, isDir));
    EXPECT_TRUE(e.Copy);
    EXPECT_TRUE(e.RenameDelete);
    // A selection without a current item enables nothing.
    e = CommandEnabling(RemoteSelectionFacts(false, {"a.txt"}, isDir));
    EXPECT_FALSE(e.Copy || e.RenameDelete);
    // Local: a selected file enables all, none enables nothing.
    EXPECT_TRUE(CommandEnabling(LocalSelectionFacts(true)).Copy);
    EXPECT_FALSE(CommandEnabling(LocalSelectionFacts(false)).RenameDelete);
}

TEST(FTPFormRulesTest, FilterMasksSplitOnSemicolons)
{
    EXPECT_EQ(FilterMasks("*.*"), std::vector<std::string>{"*"});
    EXPECT_EQ(FilterMasks("*.htm; *.html"), (std::vector<std::string>{"*.htm", "*.html"}));
    EXPECT_EQ(FilterMasks("*.gif; *.jpg;*.jpeg"), (std::vector<std::string>{"*.gif", "*.jpg", "*.jpeg"}));
}

class FTPFormTest : public test::SessionWindowTest {
protected:
    // A served tree: directories, names with spaces, a dot file.
    void startServer()
    {
        ServeRoot = Root + "/serve";
        namespace fs = std::filesystem;
        fs::create_directories(ServeRoot + "/docs/inner");
        fs::create_directories(ServeRoot + "/my dir");
        test::WriteFileBytes(ServeRoot + "/a.txt", "alpha\n");
        test::WriteFileBytes(ServeRoot + "/b file.txt", std::string(3000, 'b'));
        test::WriteFileBytes(ServeRoot + "/.profile", "x");
        test::WriteFileBytes(ServeRoot + "/empty", "");
        test::WriteFileBytes(ServeRoot + "/docs/guide.txt", "guide\n");
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
    }

    void logOn()
    {
        test::RecordCommands(*form->FTP1, Sent);
        form->Session().Open(test::TestSite(server->Port()));
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const std::string& row : form->RemoteRows())
            out.push_back(ExtractListingName(row));
        std::sort(out.begin(), out.end());
        return out;
    }
    int rowOf(const std::string& name) const
    {
        const auto& rows = form->RemoteRows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (ExtractListingName(rows[i]) == name)
                return static_cast<int>(i);
        return -1;
    }
    void press(QWidget* viewport, QPoint at, Qt::MouseButton button)
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), viewport->mapToGlobal(QPointF(at)), button, button,
                      Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
        QMouseEvent r(QEvent::MouseButtonRelease, QPointF(at), viewport->mapToGlobal(QPointF(at)), button,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &r);
    }
    QPoint rowPoint(int row) const { return form->lFiles->visualRect(form->RemoteModel().index(row)).center(); }
    void selectRows(std::initializer_list<int> rows)
    {
        form->lFiles->clearSelection();
        for (int r : rows)
            form->lFiles->selectionModel()->select(form->RemoteModel().index(r), QItemSelectionModel::Select);
        form->lFiles->selectionModel()->setCurrentIndex(form->RemoteModel().index(*rows.begin()),
                                                        QItemSelectionModel::NoUpdate);
    }
    // A listing given line by line, without a server.
    void feed(const std::vector<std::string>& lines)
    {
        form->RemoteModel().Clear();
        form->Session().DirLB.Clear();
        for (const std::string& l : lines)
            form->FTP1DirList(l);
        form->RemoteModel().Flush();
    }

};

TEST_F(FTPFormTest, ControlsCarryTheirCaptionsAndNames)
{
    EXPECT_EQ(form->findChild<QPushButton*>("SpawnButton")->text(), "New Session");
    EXPECT_EQ(form->findChild<QPushButton*>("Download")->text(), "<- Copy");
    EXPECT_EQ(form->findChild<QPushButton*>("MakeDirectoryButton")->text(), "Mk. Dir ->");
    EXPECT_FALSE(form->Download->isEnabled());
    EXPECT_TRUE(form->Binary->isChecked());
    EXPECT_TRUE(form->BinaryMenu->isChecked());
    EXPECT_EQ(form->New1->text(), "&New Session (With Current Directories)");
    EXPECT_EQ(form->Exit1->text(), "E&xit Session");
    EXPECT_EQ(form->ShowAllfilesMenu->text(), "Show Files Starting with \".\"");
    EXPECT_EQ(form->Contents1->text(), "Help...");
    EXPECT_EQ(form->lFiles->accessibleName(), "Remote files");
    EXPECT_EQ(form->FileListBox1->accessibleName(), "Local files");
    ASSERT_EQ(form->FilterComboBox1->count(), 5);
    EXPECT_EQ(form->FilterComboBox1->itemText(3), "GIF or JPG Files (*.jpg, *.gif, *.jpeg)");
    EXPECT_EQ(form->FilterComboBox1->itemData(3).toString(), "*.gif; *.jpg;*.jpeg");
    // Every caption fits its 75-pixel button.
    for (QPushButton* b : form->findChildren<QPushButton*>())
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 6, b->width()) << b->text().toStdString();
    // The default size lays the window out as the rules say.
    form->SetBounds(TFTPForm::DefaultBounds());
    QApplication::processEvents();
    EXPECT_EQ(form->PanelRemote->width(), 226);
    EXPECT_EQ(form->PanelLocal->width(), 178);
    EXPECT_EQ(form->ScrollBox1->height(), 386);
    EXPECT_EQ(form->DirectoryListBox1->height(), 106);
}

TEST_F(FTPFormTest, ListsTheRemoteDirectoryWithDirectoriesAndSpacedNames)
{
    startServer();
    logOn();
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b file.txt", "docs", "empty", "my dir"}));
    EXPECT_TRUE(form->Session().DirLB.Contains("docs"));
    EXPECT_TRUE(form->Session().DirLB.Contains("my dir"));
    EXPECT_FALSE(form->Session().DirLB.Contains("a.txt"));
    EXPECT_EQ(ExtractListingSize(form->RemoteRows()[rowOf("b file.txt")]), 3000);
    EXPECT_EQ(ListingSizeText(form->RemoteRows()[rowOf("empty")]), "");
    EXPECT_EQ(form->RemoteModel().rowCount(), 5);  // all shown in the view
    EXPECT_EQ(form->eRemotePath->text(), "/");
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_TRUE(form->lFiles->isEnabled());
    EXPECT_TRUE(sent("LIST"));

    // Checking the menu item lists the directory again, dot files included.
    form->ShowAllfilesMenu->trigger();
    EXPECT_GE(rowOf(".profile"), 0);
}

TEST_F(FTPFormTest, DoubleClickEntersADirectoryAndDotDotLeavesIt)
{
    startServer();
    logOn();
    form->lFiles->setCurrentIndex(form->RemoteModel().index(rowOf("my dir")));
    form->lFilesDblClick();
    settle();
    EXPECT_EQ(form->eRemotePath->text(), "/my dir");
    EXPECT_TRUE(sent("CWD /my dir")) << "one slash after the root";
    // The empty directory still has a way up.
    EXPECT_EQ(names(), std::vector<std::string>{".."});

    form->ChangeDirectory("/docs");
    settle();
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "guide.txt", "inner"}));
    ASSERT_EQ(ExtractListingName(form->RemoteRows()[0]), "..") << "at the top";
    form->lFiles->setCurrentIndex(form->RemoteModel().index(0));
    form->lFilesDblClick();
    settle();
    EXPECT_TRUE(sent("CDUP"));
    EXPECT_EQ(form->eRemotePath->text(), "/");
    EXPECT_GE(rowOf("docs"), 0);
    EXPECT_EQ(rowOf(".."), -1) << "nothing above the root";

    // A file row is no directory change: it clicks Download.
    const auto before = Sent.size();
    form->lFiles->setCurrentIndex(form->RemoteModel().index(rowOf("a.txt")));
    form->lFilesDblClick();
    EXPECT_EQ(Sent.size(), before);
    EXPECT_TRUE(Messages.empty());
    for (const std::string& command : Sent)
        EXPECT_EQ(command.find("//"), std::string::npos) << command;
}

TEST_F(FTPFormTest, RefusedRelativePathRetriesFromTheRoot)
{
    startServer();
    logOn();
    form->ChangeDirectory("/docs");
    form->eRemotePath->setText("inner2");
    form->ChangeToTextDirectoryClick();
    // "inner2" and "/inner2" both refused; the list was not empty, so no
    // message, and the user stays in /docs with its listing fetched again.
    EXPECT_TRUE(sent("CWD inner2"));
    EXPECT_TRUE(sent("CWD /inner2"));
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
    settle();
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "guide.txt", "inner"}));

    // Typed "docs" from the root: refused as relative inside /docs, then
    // taken as "/docs". Enter in the path field does the same as the button.
    form->eRemotePath->setText("docs");
    QMetaObject::invokeMethod(form->eRemotePath, "returnPressed");
    EXPECT_TRUE(sent("CWD docs"));
    EXPECT_TRUE(sent("CWD /docs"));
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
    EXPECT_TRUE(form->Download->isEnabled());  // controls back after the listing
}

TEST_F(FTPFormTest, RefusedPathWithAnEmptyListIsReportedAndFallsBackToTheRoot)
{
    startServer();
    logOn();
    form->RemoteModel().Clear();
    form->ChangeDirectory("/nowhere");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "/nowhere is not a valid directory.");
    EXPECT_EQ(form->eRemotePath->text(), "/");
    EXPECT_GE(rowOf("docs"), 0);
}

TEST_F(FTPFormTest, MousePressesSetDirectionAndEnabledCommands)
{
    feed({"total 3", "drwxr-xr-x 2 u g 512 Mar 3 1996 .", "drwxr-xr-x 2 u g 512 Mar 3 1996 ..",
          "drwxr-xr-x 2 u g 512 Mar 3 1996 pub", "-rw-r--r-- 1 u g 10 Jan 15 12:34 a.txt",
          "-rw-r--r-- 1 u g 20 Jan 15 12:34 b.txt", "-rw-r--r-- 1 u g 30 Jan 15 12:34 c.txt",
          "-rw-r--r-- 1 u g 40 Jan 15 12:34 d.txt"});
    ASSERT_EQ(form->RemoteRows().size(), 7u);
    QApplication::processEvents();
    QWidget* remote = form->lFiles->viewport();

    // Only "..": remote captions, nothing enabled.
    press(remote, rowPoint(1), Qt::LeftButton);
    EXPECT_EQ(form->SelectedRemoteRows(), std::vector<int>{1});
    EXPECT_EQ(form->Download->text(), "Copy ->");
    EXPECT_EQ(form->OpenButton->text(), "<- View");
    EXPECT_EQ(form->MakeDirectoryMenu->text(), "<- Make Directory");
    EXPECT_EQ(form->MakeDirectoryButton->text(), "<- Mk. Dir");
    for (QPushButton* b : {form->Download, form->CopyLaterButton, form->OpenButton, form->UnzipButton,
                           form->RenameButton, form->DeleteButton})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(form->FilePopUpMenu->isVisible());

    // A directory row: rename and delete, no copy.
    press(remote, rowPoint(2), Qt::LeftButton);
    EXPECT_FALSE(form->Download->isEnabled());
    EXPECT_FALSE(form->OpenMenu->isEnabled());
    EXPECT_TRUE(form->RenameButton->isEnabled());
    EXPECT_TRUE(form->DeletePopUp->isEnabled());

    // Three selected, right click on an unselected fourth: only it remains.
    selectRows({3, 4, 5});
    press(remote, rowPoint(6), Qt::RightButton);
    EXPECT_EQ(form->SelectedRemoteRows(), std::vector<int>{6});
    EXPECT_TRUE(form->FilePopUpMenu->isVisible());
    EXPECT_EQ(form->DownloadPopUp->text(), "Copy ->");
    EXPECT_TRUE(form->DownloadPopUp->isEnabled());
    EXPECT_TRUE(form->Download->isEnabled());
    form->FilePopUpMenu->hide();

    // Right click on a selected row keeps the selection.
    selectRows({3, 4});
    press(remote, rowPoint(4), Qt::RightButton);
    EXPECT_EQ(form->SelectedRemoteRows(), (std::vector<int>{3, 4}));
    form->FilePopUpMenu->hide();

    // A press in the local file list turns the captions; with no local file
    // selected nothing is enabled. The keyboard in the remote list changes nothing.
    press(form->FileListBox1->viewport(), QPoint(5, 300), Qt::RightButton);
    EXPECT_FALSE(form->FilePopUpMenu->isVisible()) << "no popup below the last item";
    EXPECT_EQ(form->Download->text(), "<- Copy");
    EXPECT_EQ(form->DeleteMenu->text(), "Delete ->");
    EXPECT_FALSE(form->Download->isEnabled());
    selectRows({2});
    form->lFiles->setFocus();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(form->lFiles, &down);
    EXPECT_EQ(form->lFiles->currentIndex().row(), 3);
    EXPECT_EQ(form->Download->text(), "<- Copy");
    EXPECT_FALSE(form->RenameButton->isEnabled());

    // A press in the directory tree turns them local too, and does nothing else.
    press(remote, rowPoint(4), Qt::LeftButton);
    EXPECT_EQ(form->Download->text(), "Copy ->");
    press(form->DirectoryListBox1->viewport(), QPoint(5, 5), Qt::LeftButton);
    EXPECT_EQ(form->Download->text(), "<- Copy");
    EXPECT_FALSE(form->FilePopUpMenu->isVisible());

    // Right click on empty space below the remote rows: captions only.
    press(remote, QPoint(5, remote->height() - 3), Qt::RightButton);
    EXPECT_EQ(form->Download->text(), "Copy ->");
    EXPECT_FALSE(form->FilePopUpMenu->isVisible());
}

TEST_F(FTPFormTest, LocalPaneFollowsTheDirectoryAndTheFilter)
{
    const std::string local = Root + "/local";
    std::filesystem::create_directories(local + "/sub");
    for (const char* n : {"a.txt", "b.HTML", "c.htm", "d.jpeg", "e.zip"})
        test::WriteFileBytes(local + "/" + n, "x");
    ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(local)));
    auto files = [this] {
        std::vector<std::string> out;
        for (int i = 0; i < form->FileListBox1->count(); ++i)
            out.push_back(form->FileListBox1->item(i)->text().toStdString());
        return out;
    };
    EXPECT_EQ(files(), (std::vector<std::string>{"a.txt", "b.HTML", "c.htm", "d.jpeg", "e.zip"}));
    form->FilterComboBox1->setCurrentIndex(2);
    EXPECT_EQ(files(), (std::vector<std::string>{"b.HTML", "c.htm"}));
    form->FilterComboBox1->setCurrentIndex(3);
    EXPECT_EQ(files(), std::vector<std::string>{"d.jpeg"});
    form->FilterComboBox1->setCurrentIndex(0);

    // Multiple selection, and a press with a file selected enables the commands.
    form->FileListBox1->item(0)->setSelected(true);
    form->FileListBox1->item(4)->setSelected(true);
    EXPECT_EQ(form->FileListBox1->SelectedFiles(), (QStringList{"a.txt", "e.zip"}));
    QApplication::processEvents();
    const QRect r = form->FileListBox1->visualItemRect(form->FileListBox1->item(4));
    press(form->FileListBox1->viewport(), r.center(), Qt::RightButton);
    EXPECT_TRUE(form->FilePopUpMenu->isVisible());
    EXPECT_EQ(form->FileListBox1->SelectedFiles(), (QStringList{"a.txt", "e.zip"}));
    EXPECT_TRUE(form->Download->isEnabled());
    EXPECT_EQ(form->UnZipPopUp->text(), "Unzip ->");
    form->FilePopUpMenu->hide();
}

TEST_F(FTPFormTest, HeaderClickSortsKeepingDotEntriesOnTop)
{
    feed({"-rw-r--r-- 1 u g 300 Jan 05 12:00 x", "drwxr-xr-x 2 u g 512 Mar 01 1996 ..",
          "-rw-r--r-- 1 u g 5368709120 Jan 20 12:00 big", "-rw-r--r-- 1 u g 20 Feb 02 2001 y",
          "drwxr-xr-x 2 u g 512 Mar 01 1996 ."});
    form->FilesHdSectionClick(2);
    std::vector<std::string> order;
    for (const std::string& row : form->RemoteRows())
        order.push_back(ExtractListingName(row));
    EXPECT_EQ(order, (std::vector<std::string>{".", "..", "y", "x", "big"}));
    EXPECT_EQ(ListingSizeText(form->RemoteRows()[4]), "5368709120");
    form->FilesHdSectionClick(1);
    EXPECT_EQ(ExtractListingName(form->RemoteRows()[2]), "y");  // Feb 02 is the latest
    form->FilesHdSectionClick(0);
    EXPECT_EQ(ExtractListingName(form->RemoteRows()[2]), "big");
    EXPECT_EQ(form->RemoteModel().rowCount(), 5);
}

TEST_F(FTPFormTest, TransferModeButtonsAndMenuItemsAgree)
{
    startServer();
    logOn();
    form->Ascii->click();
    EXPECT_TRUE(form->AsciiMenu->isChecked());
    EXPECT_FALSE(form->BinaryMenu->isChecked());
    EXPECT_EQ(form->FTP1->TransferMode(), tmASCII);
    EXPECT_EQ(Sent.back(), "TYPE A");
    form->BinaryMenu->trigger();
    EXPECT_TRUE(form->Binary->isChecked());
    EXPECT_FALSE(form->Ascii->isChecked());
    EXPECT_TRUE(form->BinaryMenu->isChecked());
    EXPECT_FALSE(form->AsciiMenu->isChecked());
    EXPECT_EQ(Sent.back(), "TYPE I");
}

TEST_F(FTPFormTest, NewSessionPassesHostWithPortDirectoriesAndMovedBounds)
{
    startServer();
    logOn();
    form->ChangeDirectory("/docs");
    form->SetBounds({40, 50, 600, 500});
    form->ShowAllfilesMenu->setChecked(true);
    ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(Root)));
    form->New1->trigger();
    ASSERT_EQ(sites.Connections.size(), 1u);
    const TFTPSiteRecord& s = sites.Connections[0];
    EXPECT_EQ(s.FTPSiteName.Get(), "Test Site");
    EXPECT_EQ(s.FTPServer.Get(), "127.0.0.1:" + std::to_string(server->Port()));
    EXPECT_EQ(s.RemoteDirectory.Get(), "/docs");
    EXPECT_EQ(s.LocalDirectory.Get(), Root);
    EXPECT_EQ(s.UserName.Get(), "user");
    EXPECT_EQ(s.Password.Get(), "password");
    EXPECT_EQ(s.SessionLeft, 60);
    EXPECT_EQ(s.SessionTop, 70);
    EXPECT_EQ(s.SessionWidth, 600);
    EXPECT_EQ(s.SessionHeight, 500);
    EXPECT_EQ(s.ShowAllFiles, 1);
}

TEST_F(FTPFormTest, NewSessionStartsWithTheDataModeAtWork)
{
    startServer();
    logOn();
    ASSERT_FALSE(form->RemoteRows().empty());  // a data connection was made
    // The profile asked for nothing: the new session is told the mode that
    // is in use, not "Default", so it does not search again.
    ASSERT_EQ(form->FTP1->DataConnectionMode(), dcDefault);
    form->New1->trigger();
    ASSERT_EQ(sites.Connections.size(), 1u);
    EXPECT_EQ(sites.Connections[0].DataConnectionMode(), form->FTP1->WorkingDataMode());
    EXPECT_EQ(sites.Connections[0].DataConnectionMode(), dcPassive);

    form->FTP1->SetDataConnectionMode(dcActive);
    form->ChangeDirectory("/docs");
    settle();
    ASSERT_EQ(names(), (std::vector<std::string>{"..", "guide.txt", "inner"}));
    form->SpawnButton->click();
    ASSERT_EQ(sites.Connections.size(), 2u);
    EXPECT_EQ(sites.Connections[1].DataConnectionMode(), dcActive);
}

TEST_F(FTPFormTest, ClosingStoresBoundsLogsOffAndFreesTheWindow)
{
    startServer();
    logOn();
    form->SetBounds({30, 40, 640, 520});
    form->ShowAllfilesMenu->setChecked(true);
    form->Exit->click();
    EXPECT_EQ(sites.Stores, 1);
    EXPECT_EQ(sites.StoredName, "Test Site");
    EXPECT_EQ(sites.StoredBounds.Left, 30);
    EXPECT_EQ(sites.StoredBounds.Top, 40);
    EXPECT_EQ(sites.StoredBounds.Width, 640);
    EXPECT_EQ(sites.StoredBounds.Height, 520);
    EXPECT_TRUE(sites.StoredShowAll);
    EXPECT_EQ(Sent.back(), "QUIT");
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 200 && form && t.elapsed() < 5000; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(form.isNull());
}

TEST_F(FTPFormTest, TransferEventsDriveThePanels)
{
    form->Session().Progress.SetSize(1000 * 1024);
    form->FTP1StartTransfer();
    // No command announced a file: this is a listing's data connection.
    EXPECT_EQ(form->PanelText(0), "Listing directory...");
    EXPECT_FALSE(form->Download->isEnabled());
    EXPECT_FALSE(form->lFiles->isEnabled());
    EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
    form->FTP1Transfer(512000);
    EXPECT_EQ(form->PanelText(1), "500k / 1000k");
    EXPECT_EQ(form->PanelText(3), "Time Elapsed: 0:00");
    EXPECT_EQ(form->ProgressBar1->value(), ProgressBarRange / 2);
    form->FTP1EndTransfer();
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_EQ(form->PanelText(1), "");
    EXPECT_EQ(form->PanelText(3), "");
    EXPECT_TRUE(form->Download->isEnabled());
    EXPECT_TRUE(form->MakeDirectoryButton->isEnabled());
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(form->ProgressBar1->isVisible());
    EXPECT_EQ(form->ProgressBar1->value(), 0);

    // The error event: "Ready" and controls back, panels left as they were.
    form->AllActive(false);
    form->SetPanelText(1, "1k / 2k");
    form->FTP1Error(10054, "Connection reset by peer");
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_EQ(form->PanelText(1), "1k / 2k");
    EXPECT_TRUE(form->eRemotePath->isEnabled());
}

TEST_F(FTPFormTest, MenuItemsReachTheSiteManager)
{
    form->MainSitesWindow1->trigger();
    EXPECT_EQ(sites.Shown, 1);
    form->Contents1->trigger();
    EXPECT_EQ(sites.HelpTopic, "Table_Of_Contents");
}

} // namespace

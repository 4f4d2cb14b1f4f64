// The session window as a person finds their way in it and reads it: the
// remote path, the way up, the keys, marked directories, texts that fit
// their columns and panels, what screen readers are told, and the folder
// View downloads into. Offscreen Qt, against pyftpdlib on 127.0.0.1.
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/exception.h"
#include "session/ftpform.h"
#include "session/listing.h"
#include "session/localfiles.h"
#include "session/progress.h"
#include "session/remotefiles.h"
#include "session/remoterowsmodel.h"
#include "session/viewfolder.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"
#include "tests/session/sessionwindowtest.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

constexpr int64_t GiB = int64_t(1) << 30;

class FTPFormNavigationTest : public test::SessionWindowTest {
protected:
    void startServer()
    {
        ServeRoot = Root + "/serve";
        fs::create_directories(ServeRoot + "/docs/inner");
        test::WriteFileBytes(ServeRoot + "/a.txt", "alpha\n");
        test::WriteFileBytes(ServeRoot + "/docs/guide.txt", "guide\n");
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    void logOn(const std::string& remoteDirectory = "/")
    {
        test::RecordCommands(*form->FTP1, Sent);
        form->Session().Open(test::TestSite(server->Port(), remoteDirectory));
        settle();
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const std::string& row : form->RemoteRows())
            out.push_back(ExtractListingName(row));
        return out;
    }
    int rowOf(const std::string& name) const
    {
        const std::vector<std::string> n = names();
        const auto it = std::find(n.begin(), n.end(), name);
        return it == n.end() ? -1 : static_cast<int>(it - n.begin());
    }
    void key(QWidget* w, int k)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        settle();
    }
    void setCurrent(int row)
    {
        form->lFiles->setCurrentIndex(form->RemoteModel().index(row));
    }
    QLabel* panel(int i) const { return form->findChild<QLabel*>(QStringLiteral("Panel%1").arg(i)); }

};

TEST_F(FTPFormNavigationTest, PathFieldShowsWhereTheServerIsFromTheStart)
{
    startServer();
    // A profile without a remote directory starts where the server logs on.
    logOn("");
    EXPECT_EQ(form->eRemotePath->text(), "/");
    EXPECT_EQ(rowOf(".."), -1) << "nothing above the root";
    form->ChangeDirectory("/docs");
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
}

TEST_F(FTPFormNavigationTest, ARelativeProfileDirectoryShowsAsTheServerNamesIt)
{
    startServer();
    logOn("docs");
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "guide.txt", "inner"}));
    // The way up is a directory row like a server's own: the commands that
    // need a file stay off for it.
    EXPECT_TRUE(form->Session().DirLB.Contains(".."));
    EXPECT_TRUE(form->RemoteModel().IsDirectory(0));
}

TEST_F(FTPFormNavigationTest, KeysOpenGoUpAndRefresh)
{
    startServer();
    logOn();
    form->lFiles->setFocus();

    // Enter on a file copies nothing: the keyboard did not choose a direction.
    setCurrent(rowOf("a.txt"));
    const std::size_t before = Sent.size();
    key(form->lFiles, Qt::Key_Return);
    EXPECT_EQ(Sent.size(), before);

    setCurrent(rowOf("docs"));
    key(form->lFiles, Qt::Key_Return);
    EXPECT_TRUE(sent("CWD /docs"));
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
    setCurrent(rowOf("inner"));
    key(form->lFiles, Qt::Key_Enter);
    EXPECT_EQ(form->eRemotePath->text(), "/docs/inner");
    EXPECT_EQ(names(), std::vector<std::string>{".."});

    key(form->lFiles, Qt::Key_Backspace);
    EXPECT_EQ(form->eRemotePath->text(), "/docs");
    key(form->lFiles, Qt::Key_Backspace);
    EXPECT_EQ(form->eRemotePath->text(), "/");
    EXPECT_EQ(std::count(Sent.begin(), Sent.end(), "CDUP"), 2);
    // At the root Backspace asks the server nothing.
    const std::size_t atRoot = Sent.size();
    key(form->lFiles, Qt::Key_Backspace);
    EXPECT_EQ(Sent.size(), atRoot);

    // F5 reads both panes again.
    EXPECT_EQ(form->RefreshAction->shortcut(), QKeySequence(Qt::Key_F5));
    const std::string local = Root + "/local";
    fs::create_directories(local);
    ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(local)));
    test::WriteFileBytes(ServeRoot + "/new.txt", "n");
    test::WriteFileBytes(local + "/fresh.txt", "f");
    ASSERT_EQ(rowOf("new.txt"), -1);
    ASSERT_TRUE(form->FileListBox1->findItems("fresh.txt", Qt::MatchExactly).isEmpty());
    form->RefreshAction->trigger();
    settle();
    EXPECT_GE(rowOf("new.txt"), 0);
    EXPECT_EQ(form->FileListBox1->findItems("fresh.txt", Qt::MatchExactly).size(), 1);
    EXPECT_EQ(form->eRemotePath->text(), "/");
    for (const std::string& command : Sent)
        EXPECT_EQ(command.find("//"), std::string::npos) << command;
    EXPECT_TRUE(Messages.empty());
}

TEST_F(FTPFormNavigationTest, TypedPathsReachTheServerWithSingleSlashes)
{
    startServer();
    logOn();
    form->eRemotePath->setText("//docs//inner");
    form->ChangeToTextDirectoryClick();
    EXPECT_TRUE(sent("CWD /docs/inner"));
    EXPECT_EQ(form->eRemotePath->text(), "/docs/inner");
}

TEST_F(FTPFormNavigationTest, DirectoriesAreMarkedAndTheirSizeIsNotShown)
{
    startServer();
    logOn();
    TRemoteRowsModel& model = form->RemoteModel();
    const QModelIndex docs = model.index(rowOf("docs"));
    const QModelIndex file = model.index(rowOf("a.txt"));
    EXPECT_TRUE(model.data(docs, TRemoteRowsModel::IsDirectoryRole).toBool());
    EXPECT_FALSE(model.data(file, TRemoteRowsModel::IsDirectoryRole).toBool());
    EXPECT_EQ(model.data(docs, Qt::AccessibleDescriptionRole).toString(), "Directory");
    EXPECT_TRUE(model.data(file, Qt::AccessibleDescriptionRole).toString().startsWith("File, 6 bytes"));

    const QFontMetrics fm(form->lFiles->font());
    const std::string dirRow = MakeListingRow("docs", "Jan 05", "4096");
    EXPECT_EQ(RemoteRowCells(dirRow, true, fm, 200, 200).Size, "");
    EXPECT_EQ(RemoteRowCells(dirRow, false, fm, 200, 200).Size, "4096");
}

TEST_F(FTPFormNavigationTest, NamesAndSizesFitTheirColumns)
{
    const QFontMetrics fm(form->lFiles->font());
    const std::string longName(80, 'w');
    const TRemoteRowCells cut = RemoteRowCells(MakeListingRow(longName, "Dec 08", "5368709120"), false, fm, 60,
                                               fm.horizontalAdvance("5120M"));
    EXPECT_LE(fm.horizontalAdvance(cut.Name), 60);
    EXPECT_TRUE(cut.Name.endsWith(QChar(0x2026))) << cut.Name.toStdString();
    EXPECT_EQ(cut.Size, "5120M");
    EXPECT_EQ(cut.Date, "Dec 08");
    // Room for every digit: the exact size.
    EXPECT_EQ(RemoteRowCells(MakeListingRow("x", "", "5368709120"), false, fm, 60, 500).Size, "5368709120");

    // Drawn: a long name without a date leaves the Date column blank, and
    // every column holds its text at the default size.
    form->SetBounds(TFTPForm::DefaultBounds());
    form->RemoteModel().Append(MakeListingRow(longName, "", ""));
    form->RemoteModel().Flush();
    QApplication::processEvents();
    const int dateLeft = form->FilesHd->sectionPosition(1);
    const int dateRight = dateLeft + form->FilesHd->sectionSize(1);
    EXPECT_GE(dateRight - dateLeft - 2 * TRemoteRowDelegate::Padding, fm.horizontalAdvance("May 30"));
    EXPECT_LE(form->FilesHd->sectionPosition(2) + form->FilesHd->sectionSize(2),
              form->lFiles->width() - 2 * form->lFiles->frameWidth() -
                  form->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, form->lFiles))
        << "the Size column clear of the scroll bar";
    const QImage shot = form->lFiles->viewport()->grab().toImage();
    const QRect row = form->lFiles->visualRect(form->RemoteModel().index(0));
    const QRgb background = shot.pixel(dateLeft + 1, row.center().y());
    int inked = 0;
    for (int x = dateLeft; x < dateRight; ++x)
        for (int y = row.top(); y <= row.bottom(); ++y)
            inked += shot.pixel(x, y) != background;
    EXPECT_EQ(inked, 0) << "the name ran into the Date column";
    int nameInk = 0;
    for (int x = 0; x < dateLeft; ++x)
        nameInk += shot.pixel(x, row.center().y()) != background;
    EXPECT_GT(nameInk, 0) << "the name is drawn";
}

TEST_F(FTPFormNavigationTest, StatusPanelsHoldATransfersTextsWholeAtTheDefaultSize)
{
    form->SetBounds(TFTPForm::DefaultBounds());
    // As a 2 GiB download shows itself, with the widest figures it reaches.
    form->Session().Progress.SetSize(2 * GiB);
    form->Session().OnCopyStarting(TCopyStart{true, "disk-image.iso", 2 * GiB});
    form->FTP1StartTransfer();
    form->FTP1Transfer(2 * GiB - 1024);
    form->SetPanelText(2, QString::fromStdString(SpeedText(1321982)));
    form->SetPanelText(3, "Time Elapsed: 0:05");
    form->SetPanelText(4, "Time Left: 0:10");
    // The panels' new widths arrive through the layout's posted requests.
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    EXPECT_EQ(form->PanelText(0), "Downloading disk-image.iso") << "the name stays for the whole transfer";
    EXPECT_EQ(form->PanelText(1), "2097151k / 2097152k");
    const int right = form->AStatusBar1->width();
    for (int i = 0; i < 5; ++i) {
        QLabel* p = panel(i);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->text(), form->PanelText(i)) << "panel " << i << " cut its text";
        EXPECT_GE(p->contentsRect().width(), p->fontMetrics().horizontalAdvance(p->text())) << "panel " << i;
        EXPECT_LE(p->mapTo(form->AStatusBar1, QPoint(p->width(), 0)).x(), right) << "panel " << i;
    }

    // A name too long for the room left ends in an ellipsis; the pointer
    // and screen readers get it whole.
    const QString longName = "Downloading " + QString(60, 'n') + ".iso";
    form->SetPanelText(0, longName);
    EXPECT_NE(panel(0)->text(), longName);
    EXPECT_EQ(panel(0)->toolTip(), longName);
    EXPECT_EQ(panel(0)->accessibleName(), longName);
    form->FTP1EndTransfer();
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_TRUE(panel(0)->accessibleName().isEmpty());

    // An upload says so while its data flows.
    form->Session().OnCopyStarting(TCopyStart{false, "notes.txt", 10});
    form->FTP1StartTransfer();
    EXPECT_EQ(form->PanelText(0), "Uploading notes.txt");
    form->FTP1EndTransfer();
}

TEST_F(FTPFormNavigationTest, ScreenReadersReadThePanelsTexts)
{
    EXPECT_TRUE(form->AStatusBar1->accessibleName().isEmpty());
    form->SetPanelText(0, "Ready");
    form->SetPanelText(2, "132.1 MB/s");
    const char* roles[5] = {"Status", "Amount transferred", "Speed", "Time elapsed", "Time left"};
    for (int i = 0; i < 5; ++i) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(panel(i));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), form->PanelText(i)) << "panel " << i;
        EXPECT_EQ(a->text(QAccessible::Description), roles[i]);
    }
}

TEST_F(FTPFormNavigationTest, TheModeFollowsTheCheckedButtonHoweverItIsChosen)
{
    startServer();
    logOn();
    // A screen reader's toggle action checks the button without a click.
    QAccessibleInterface* ascii = QAccessible::queryAccessibleInterface(form->Ascii);
    ASSERT_NE(ascii, nullptr);
    ASSERT_NE(ascii->actionInterface(), nullptr);
    ascii->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(form->Ascii->isChecked());
    EXPECT_EQ(form->FTP1->TransferMode(), tmASCII);
    EXPECT_EQ(Sent.back(), "TYPE A");
    EXPECT_TRUE(form->AsciiMenu->isChecked());
    EXPECT_FALSE(form->BinaryMenu->isChecked());

    form->Binary->setChecked(true);
    EXPECT_EQ(form->FTP1->TransferMode(), tmBinary);
    EXPECT_EQ(Sent.back(), "TYPE I");
    EXPECT_TRUE(form->BinaryMenu->isChecked());

    // The menu item of the mode in force keeps its check and sends nothing.
    const std::size_t before = Sent.size();
    form->BinaryMenu->trigger();
    EXPECT_TRUE(form->BinaryMenu->isChecked());
    EXPECT_TRUE(form->Binary->isChecked());
    EXPECT_EQ(Sent.size(), before);
    form->AsciiMenu->trigger();
    EXPECT_TRUE(form->Ascii->isChecked());
    EXPECT_EQ(std::count(Sent.begin() + static_cast<std::ptrdiff_t>(before), Sent.end(), "TYPE A"), 1);
}

class ViewFolderTest : public test::TempHomeTest {};

TEST_F(ViewFolderTest, AFolderOfItsOwnRemovedWithWhatItHolds)
{
    const std::string base = Root + "/tmp/";
    fs::create_directories(base);
    const std::string outside = Root + "/keep.txt";
    test::WriteFileBytes(outside, "k");
    std::string path;
    {
        TViewFolder folder(base);
        EXPECT_TRUE(fs::is_empty(base)) << "made on first use only";
        path = folder.Path();
        EXPECT_EQ(path, folder.Path()) << "one folder for the run";
        ASSERT_EQ(path.rfind(base + "plover-view-", 0), 0u) << path;
        ASSERT_EQ(path.back(), '/');
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        test::WriteFileBytes(path + "viewed.txt", "v");
        fs::create_directory(path + "sub");
        fs::create_symlink(outside, path + "link");
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(outside)) << "a link is removed, not what it points at";

    // Without base a separator is added; an unusable base is reported.
    TViewFolder bare(Root + "/tmp");
    EXPECT_EQ(bare.Path().rfind(base + "plover-view-", 0), 0u);
    bare.Remove();
    EXPECT_TRUE(fs::is_empty(base));
    TViewFolder missing(Root + "/no/such/dir/");
    EXPECT_THROW((void)missing.Path(), EInOutError);
}

} // namespace

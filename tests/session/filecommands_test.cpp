// The session window's file commands in both directions, under offscreen Qt
// against a real pyftpdlib server on 127.0.0.1, and their plain rules.
#include "archive/archivewindow.h"
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/exception.h"
#include "platform/shell.h"
#include "session/createdirectoryform.h"
#include "session/filecommands.h"
#include "session/ftpform.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "session/renameform.h"
#include "session/sessionshared.h"
#include "tests/session/remoterowhelpers.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

TEST(FileCommandRulesTest, ServerNamesThatCannotBeLocalNames)
{
    for (std::string_view bad : {std::string_view(""), std::string_view("."), std::string_view(".."),
                                 std::string_view("../x"), std::string_view("a/b"), std::string_view("/etc/passwd"),
                                 std::string_view("x\0y", 3), std::string_view("a\rb"), std::string_view("a\nb"),
                                 std::string_view("x\r"), std::string_view("\n"), std::string_view("x\r\nDELE y")})
        EXPECT_FALSE(IsSafeRemoteName(bad)) << bad;
    for (const char* good : {"a.txt", "..x", "...", "b file", ".profile", "a\\b", "c:d", "trailing ", " ", ". ",
                             ".. ", "tab\there"})
        EXPECT_TRUE(IsSafeRemoteName(good)) << good;
    // The message names the item on one line, without its NUL byte.
    EXPECT_EQ(UnsafeNameMessage(std::string_view("x\0y", 3)).find('\0'), std::string::npos);
    EXPECT_EQ(UnsafeNameMessage("x\r\nDELE y").find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(UnsafeNameMessage("x\r\nDELE y").find("x??DELE y"), std::string::npos);
    EXPECT_NE(UnsafeNameMessage("../x").find("\"../x\""), std::string::npos);
}

TEST(FileCommandRulesTest, ArchivesByTheirLastExtensionIgnoringCase)
{
    for (const char* zip : {"Data.ZIP", "a.zip", "a.tar.Zip", ".zip"})
        EXPECT_TRUE(IsZipName(zip)) << zip;
    for (const char* other : {"notes.txt", "zip", "a.zip.txt", "a.zipx", "dir.zip/file", "a.zi"})
        EXPECT_FALSE(IsZipName(other)) << other;
}

TEST(FileCommandRulesTest, PathsAndRows)
{
    EXPECT_EQ(JoinLocalPath("/home/u", "a.txt"), "/home/u/a.txt");
    EXPECT_EQ(JoinLocalPath("/", "a.txt"), "/a.txt");
    EXPECT_EQ(FileNamePart("sub/dir/a.txt"), "a.txt");
    EXPECT_EQ(FileNamePart("a.txt"), "a.txt");
    EXPECT_EQ(UnzipDestination("/home/u", "/home/u/Data.ZIP"), "/home/u/Data");
    EXPECT_EQ(UnzipDestination("/home/u", "Data.zip"), "/home/u/Data");
    const std::string up = UploadedRow("up.bin", 5368709120);
    EXPECT_EQ(up, std::string("up.bin\b \b5368709120"));
    const std::string row = MakeListingRow("old", "Jan 15 12:34", "");
    EXPECT_EQ(RenamedRow(row, "new"), std::string("new\bJan 15 12:34\b0"));
}

class LocalFileSizeTest : public test::TempHomeTest {};

TEST_F(LocalFileSizeTest, ReadOnlyFileIsMeasuredAndAMissingOneFails)
{
    const std::string path = Root + "/ro.bin";
    test::WriteFileBytes(path, std::string(1500, 'r'));
    ::chmod(path.c_str(), 0444);
    EXPECT_EQ(LocalFileSize(path), 1500);
    EXPECT_THROW((void)LocalFileSize(Root + "/missing"), EInOutError);
}

class RecordingArchiveWindow final : public IArchiveWindow {
public:
    void SetZipFileName(const std::string& path) override
    {
        Calls.push_back("zip " + path);
        ZipWasThere = fs::is_regular_file(path);
    }
    void SetAutoCreateDir(const std::string& path) override { Calls.push_back("dest " + path); }
    void LoadFileList() override { Calls.push_back("load"); }
    void UnZipAll() override { Calls.push_back("unzip all"); }
    int ShowModal() override
    {
        Calls.push_back("show");
        return mrOk;
    }
    std::vector<std::string> Calls;
    bool ZipWasThere = false;  // complete under its own name when handed over
};

class FileCommandsTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ServeRoot = Root + "/serve";
        Local = Root + "/local";
        sites.View = Root + "/view/";
        fs::create_directories(ServeRoot + "/docs");
        fs::create_directories(Local);
        fs::create_directories(sites.View);
        Dialogs::ClearHistory();
        Dialogs::SetResponder([this](const DialogRequest& r) {
            if (r.kind == DialogRequest::Modal)
                return OnModal ? OnModal(r.dialog) : int(mrOk);
            Messages.push_back(r.text.toStdString());
            return r.kind == DialogRequest::Confirmation || (r.buttons & mbYes) ? Answer(r.text.toStdString())
                                                                                : int(mrOk);
        });
        SetShellOpener([this](const std::string& path) {
            Opened.push_back(path);
            return OpenerAnswers;
        });
        SetBeeper([this] { ++Beeps; });
        form = new TFTPForm(sites);
        form->show();
        ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(Local)));
    }
    void TearDown() override
    {
        delete form;
        server.reset();
        TSessionShared::SetArchiveWindow(nullptr);
        SetShellOpener({});
        SetBeeper({});
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    void serve(const std::string& name, const std::string& bytes) { test::WriteFileBytes(ServeRoot + "/" + name, bytes); }

    void logOn()
    {
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
        test::RecordCommands(*form->FTP1, Sent);
        form->Session().Open(test::TestSite(server->Port()));
    }

    int rowOf(const std::string& name) const { return test::RowOf(form->RemoteRows(), name); }
    // Selects the named remote rows and turns the window to the remote side.
    void selectRemote(std::initializer_list<const char*> names) { test::SelectRemote(*form, names); }
    void selectLocal(std::initializer_list<const char*> names)
    {
        form->FileListBox1->Update();
        form->FileListBox1->clearSelection();
        for (const char* n : names) {
            auto items = form->FileListBox1->findItems(QString::fromUtf8(n), Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1) << n;
            items[0]->setSelected(true);
        }
        form->ChangeButtonNames(false);
    }
    std::vector<std::string> sentStarting(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& s : Sent)
            if (s.rfind(prefix, 0) == 0)
                out.push_back(s);
        return out;
    }
    bool controlsEnabled() const
    {
        return form->Download->isEnabled() && form->lFiles->isEnabled() && form->FileListBox1->isEnabled() &&
               form->eRemotePath->isEnabled() && form->DeleteButton->isEnabled();
    }

    test::RecordingSiteManager sites;
    TFTPForm* form = nullptr;
    std::unique_ptr<test::FtpServer> server;
    std::string ServeRoot;
    std::string Local;
    std::vector<std::string> Messages;
    std::vector<std::string> Sent;
    std::vector<std::string> Opened;
    bool OpenerAnswers = true;  // false: the desktop has nothing to open a file with
    int Beeps = 0;
    std::function<int(const std::string&)> Answer = [](const std::string&) { return int(mrYes); };
    std::function<int(QDialog*)> OnModal;
};

TEST_F(FileCommandsTest, CopyDownloadsTheSelectedFilesAndLeavesTheDirectoryAlone)
{
    serve("a.txt", "alpha\n");
    serve("b file.txt", std::string(300 * 1024, 'b'));
    logOn();
    // What the progress display showed while the larger file flowed.
    std::vector<std::string> amounts;
    bool barShown = false;
    auto wired = form->FTP1->OnTransfer;
    form->FTP1->OnTransfer = [&](QObject* s, int64_t n, const std::string& t) {
        wired(s, n, t);
        amounts.push_back(form->PanelText(1).toStdString());
        barShown = barShown || form->ProgressBar1->isVisible();
    };
    selectRemote({"docs", "a.txt", "b file.txt"});
    form->DownloadPopUp->trigger();

    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(test::ReadFileBytes(Local + "/a.txt"), "alpha\n");
    EXPECT_EQ(test::ReadFileBytes(Local + "/b file.txt").size(), 300u * 1024);
    EXPECT_FALSE(fs::exists(Local + "/docs"));
    EXPECT_EQ(sentStarting("RETR"), (std::vector<std::string>{"RETR a.txt", "RETR b file.txt"}));
    EXPECT_EQ(form->SelectedRemoteRows(), std::vector<int>{rowOf("docs")}) << "copied rows are deselected";
    ASSERT_FALSE(amounts.empty());
    EXPECT_EQ(amounts.back(), "300k / 300k");
    EXPECT_TRUE(barShown);
    // The end of the transfer returns the window to idle.
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_EQ(form->PanelText(1), "");
    EXPECT_FALSE(form->ProgressBar1->isVisible());
    EXPECT_TRUE(controlsEnabled());
    EXPECT_EQ(form->FileListBox1->count(), 2) << "the local list is read again";
    EXPECT_EQ(Beeps, 2) << "one beep per file that showed progress";
}

TEST_F(FileCommandsTest, ListingsAndEmptyFilesEndWithoutABeep)
{
    serve("empty", "");
    logOn();
    EXPECT_EQ(Beeps, 0) << "a listing shows no progress";
    int progressEvents = 0;
    auto wired = form->FTP1->OnTransfer;
    form->FTP1->OnTransfer = [&](QObject* s, int64_t n, const std::string& t) {
        ++progressEvents;
        wired(s, n, t);
    };
    selectRemote({"empty"});
    form->Download->click();
    EXPECT_TRUE(fs::exists(Local + "/empty"));
    EXPECT_EQ(progressEvents, 0);
    EXPECT_EQ(Beeps, 0);
    EXPECT_EQ(form->PanelText(0), "Ready");
    // Text left in panel 1 from an earlier transfer still gets its beep.
    form->SetPanelText(1, "3k / 4k");
    selectRemote({"empty"});
    form->Download->click();
    EXPECT_EQ(Beeps, 1);
    EXPECT_EQ(form->PanelText(1), "");
}

TEST_F(FileCommandsTest, UploadSendsEachFileInTurnAndAppendsRowsWithABlankDate)
{
    logOn();
    test::WriteFileBytes(Local + "/one.txt", "1");
    test::WriteFileBytes(Local + "/two.bin", std::string(2048, '2'));
    test::WriteFileBytes(Local + "/three.txt", "");
    // Read access is enough for an upload.
    ::chmod((Local + "/two.bin").c_str(), 0444);
    const std::size_t before = form->RemoteRows().size();
    selectLocal({"one.txt", "two.bin", "three.txt"});
    form->Downloadmenu->trigger();

    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(sentStarting("STOR"), (std::vector<std::string>{"STOR one.txt", "STOR three.txt", "STOR two.bin"}));
    EXPECT_EQ(test::ReadFileBytes(ServeRoot + "/two.bin"), std::string(2048, '2'));
    EXPECT_EQ(test::ReadFileBytes(ServeRoot + "/three.txt"), "");
    const auto& rows = form->RemoteRows();
    ASSERT_EQ(rows.size(), before + 3);
    EXPECT_EQ(rows[before], std::string("one.txt\b \b1"));
    EXPECT_EQ(rows[before + 1], std::string("three.txt\b \b0"));
    EXPECT_EQ(rows[before + 2], std::string("two.bin\b \b2048"));
    EXPECT_TRUE(form->FileListBox1->SelectedFiles().isEmpty());
    EXPECT_TRUE(controlsEnabled());
}

// Without an application for the file a person is told which file it was
// and where it now is.
TEST_F(FileCommandsTest, ViewWithoutAnApplicationSaysWhereTheFileIs)
{
    serve("data.xyz", "payload\n");
    logOn();
    OpenerAnswers = false;
    Messages.clear();
    selectRemote({"data.xyz"});
    form->OpenButton->click();
    ASSERT_EQ(Opened.size(), 1u);
    ASSERT_FALSE(Messages.empty());
    EXPECT_NE(Messages.back().find("\"data.xyz\""), std::string::npos) << Messages.back();
    EXPECT_NE(Messages.back().find(sites.View), std::string::npos) << Messages.back();
    EXPECT_EQ(test::ReadFileBytes(sites.View + "data.xyz"), "payload\n");
}

TEST_F(FileCommandsTest, ViewOpensTheDownloadFromTheViewFolderOnlyOnce)
{
    serve("readme.txt", "read me\n");
    logOn();
    std::string openedText;  // the file as the desktop would have found it
    SetShellOpener([&](const std::string& path) {
        Opened.push_back(path);
        openedText = test::ReadFileBytes(path);
        return true;
    });
    selectRemote({"readme.txt"});
    ASSERT_EQ(form->OpenButton->text(), "<- View");
    form->OpenButton->click();
    EXPECT_EQ(openedText, "read me\n");
    EXPECT_EQ(test::ReadFileBytes(sites.View + "readme.txt"), "read me\n");
    EXPECT_FALSE(fs::exists(Local + "/readme.txt"));
    EXPECT_EQ(Opened, std::vector<std::string>{sites.View + "readme.txt"});
    EXPECT_EQ(form->Session().AfterDownload(), TAfterDownload::View);
    // A later listing and a plain copy open nothing.
    form->ChangeDirectory("/");
    selectRemote({"readme.txt"});
    form->Download->click();
    EXPECT_EQ(Opened.size(), 1u);
    EXPECT_EQ(form->Session().AfterDownload(), TAfterDownload::Nothing);

    // Local side: the selected file is handed to the desktop as it is.
    selectLocal({"readme.txt"});
    form->OpenMenu->trigger();
    EXPECT_EQ(Opened.back(), Local + "/readme.txt");
}

TEST_F(FileCommandsTest, UnzipHandlesOnlyArchivesOnBothSides)
{
    serve("Data.ZIP", "PK not really");
    serve("notes.txt", "n");
    logOn();
    RecordingArchiveWindow archive;
    TSessionShared::SetArchiveWindow(&archive);
    selectRemote({"Data.ZIP", "notes.txt"});
    form->UnzipButton->click();
    EXPECT_EQ(sentStarting("RETR"), std::vector<std::string>{"RETR Data.ZIP"});
    EXPECT_TRUE(fs::exists(Local + "/Data.ZIP"));
    EXPECT_FALSE(fs::exists(Local + "/notes.txt"));
    EXPECT_EQ(archive.Calls, (std::vector<std::string>{"zip " + Local + "/Data.ZIP", "dest " + Local + "/Data", "load",
                                                       "unzip all"}));
    EXPECT_TRUE(archive.ZipWasThere);

    // Local side: the archive window is prepared and shown, not unpacked.
    archive.Calls.clear();
    test::WriteFileBytes(Local + "/notes.txt", "n");
    selectLocal({"Data.ZIP", "notes.txt"});
    form->UnZipPopUp->trigger();
    EXPECT_EQ(archive.Calls,
              (std::vector<std::string>{"zip " + Local + "/Data.ZIP", "dest " + Local + "/Data", "load", "show"}));

    // Without an archive window the user is told, and nothing pretends to unpack.
    TSessionShared::SetArchiveWindow(nullptr);
    selectLocal({"Data.ZIP"});
    form->UnzipButton->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("not available"), std::string::npos);
    EXPECT_TRUE(Opened.empty());
}

TEST_F(FileCommandsTest, DeleteAsksForEachRowAndNoSkipsOnlyThatOne)
{
    serve("a.txt", "a");
    serve("b.txt", "b");
    serve("c.txt", "c");
    logOn();
    Answer = [](const std::string& text) { return text == "Delete a.txt?" ? int(mrNo) : int(mrYes); };
    selectRemote({"a.txt", "b.txt"});
    ASSERT_EQ(rowOf("b.txt"), rowOf("a.txt") + 1);
    const std::size_t before = form->RemoteRows().size();
    form->DeleteButton->click();
    EXPECT_EQ(Messages, (std::vector<std::string>{"Delete a.txt?", "Delete b.txt?"}));
    EXPECT_TRUE(fs::exists(ServeRoot + "/a.txt"));
    EXPECT_FALSE(fs::exists(ServeRoot + "/b.txt"));
    EXPECT_EQ(form->RemoteRows().size(), before - 1);
    EXPECT_EQ(rowOf("b.txt"), -1);

    // Two adjacent Yes: the row that moves up is examined next; a directory goes by RMD.
    Messages.clear();
    Answer = [](const std::string&) { return int(mrYes); };
    selectRemote({"c.txt", "docs"});
    form->DeleteMenu->trigger();
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_EQ(sentStarting("RMD"), std::vector<std::string>{"RMD docs"});
    EXPECT_FALSE(fs::exists(ServeRoot + "/docs"));
    EXPECT_FALSE(fs::exists(ServeRoot + "/c.txt"));
    EXPECT_EQ(form->RemoteRows().size(), before - 3);

    // Local side.
    Messages.clear();
    test::WriteFileBytes(Local + "/x.txt", "x");
    test::WriteFileBytes(Local + "/y.txt", "y");
    Answer = [](const std::string& text) { return text == "Delete x.txt?" ? int(mrNo) : int(mrYes); };
    selectLocal({"x.txt", "y.txt"});
    form->DeleteButton->click();
    EXPECT_EQ(Messages, (std::vector<std::string>{"Delete x.txt?", "Delete y.txt?"}));
    EXPECT_TRUE(fs::exists(Local + "/x.txt"));
    EXPECT_FALSE(fs::exists(Local + "/y.txt"));
    EXPECT_EQ(form->FileListBox1->count(), 1);
}

TEST_F(FileCommandsTest, CancellingOneRenameGoesOnWithTheNext)
{
    serve("a.txt", "a");
    serve("b.txt", "bb");
    serve("c.txt", "ccc");
    logOn();
    std::vector<std::string> offered;
    OnModal = [&](QDialog* d) {
        auto* rename = qobject_cast<TRenameForm*>(d);
        if (!rename)
            return int(mrCancel);
        const std::string name = rename->RenameEdit->text().toStdString();
        offered.push_back(name);
        if (name == "b.txt")
            return int(mrCancel);
        rename->RenameEdit->setText(QString::fromStdString("new " + name));
        return int(mrOk);
    };
    selectRemote({"a.txt", "b.txt", "c.txt"});
    const int rowA = rowOf("a.txt");
    const int rowC = rowOf("c.txt");
    const std::string oldC = form->RemoteRows()[static_cast<std::size_t>(rowC)];
    form->RenamePopUp->trigger();
    EXPECT_EQ(offered, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(fs::exists(ServeRoot + "/new a.txt"));
    EXPECT_TRUE(fs::exists(ServeRoot + "/b.txt"));
    EXPECT_TRUE(fs::exists(ServeRoot + "/new c.txt"));
    EXPECT_EQ(sentStarting("RNFR").size(), 2u);
    // Rows replaced in place, date and size kept.
    EXPECT_EQ(rowOf("new a.txt"), rowA);
    EXPECT_EQ(rowOf("new c.txt"), rowC);
    EXPECT_GE(rowOf("b.txt"), 0);
    EXPECT_EQ(ExtractListingDate(form->RemoteRows()[static_cast<std::size_t>(rowC)]), ExtractListingDate(oldC));
    EXPECT_EQ(ExtractListingSize(form->RemoteRows()[static_cast<std::size_t>(rowC)]), 3);

    // Local side: the new name may move the file into a folder.
    fs::create_directories(Local + "/sub");
    test::WriteFileBytes(Local + "/m.txt", "m");
    test::WriteFileBytes(Local + "/n.txt", "n");
    OnModal = [](QDialog* d) {
        auto* rename = qobject_cast<TRenameForm*>(d);
        if (rename->RenameEdit->text() == "m.txt") {
            rename->RenameEdit->setText("sub/m2.txt");
            return int(mrOk);
        }
        return int(mrCancel);
    };
    selectLocal({"m.txt", "n.txt"});
    form->RenameButton->click();
    EXPECT_TRUE(fs::exists(Local + "/sub/m2.txt"));
    EXPECT_TRUE(fs::exists(Local + "/n.txt"));
    EXPECT_FALSE(fs::exists(Local + "/m.txt"));
}

TEST_F(FileCommandsTest, MakeDirectoryOnBothSides)
{
    logOn();
    auto answerWith = [this](const char* name, int result) {
        OnModal = [name, result](QDialog* d) {
            auto* create = qobject_cast<TCreateDirectoryForm*>(d);
            if (!create)
                return int(mrCancel);
            create->CreateDirEdit->setText(QString::fromUtf8(name));
            return result;
        };
    };
    answerWith("made", mrOk);
    form->ChangeButtonNames(true);
    form->MakeDirectoryButton->click();
    EXPECT_TRUE(fs::is_directory(ServeRoot + "/made"));
    EXPECT_GE(rowOf("made"), 0) << "listing fetched again";
    EXPECT_TRUE(form->Session().DirLB.Contains("made"));

    // Cancel does nothing.
    answerWith("never", mrCancel);
    form->MakeDirectoryButton->click();
    EXPECT_FALSE(fs::exists(ServeRoot + "/never"));

    // Local: created and entered.
    answerWith("fresh", mrOk);
    form->ChangeButtonNames(false);
    form->MakeDirectoryPopUp->trigger();
    EXPECT_TRUE(Messages.empty()) << "no box before the directory is made: " << Messages.front();
    EXPECT_TRUE(fs::is_directory(Local + "/fresh"));
    EXPECT_EQ(form->DirectoryListBox1->Directory().toStdString(), Local + "/fresh");

    // One level only: a missing parent fails, and the user is told so.
    Messages.clear();
    answerWith("no/such", mrOk);
    form->MakeDirectoryButton->click();
    EXPECT_EQ(Messages, std::vector<std::string>{"Directory creation failed."});
    EXPECT_EQ(form->DirectoryListBox1->Directory().toStdString(), Local + "/fresh");
}

TEST_F(FileCommandsTest, ServerNamesThatWouldLeaveTheFolderAreRefused)
{
    serve("good.txt", "g");
    logOn();
    // Listing lines as a hostile server would send them.
    form->FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 ../x");
    form->FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 a/b");
    // A name carrying a command of its own.
    form->FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 x\r\nDELE good.txt");
    form->RemoteModel().Flush();
    ASSERT_GE(rowOf("../x"), 0);
    ASSERT_GE(rowOf("a/b"), 0);
    ASSERT_GE(rowOf("x\r\nDELE good.txt"), 0);
    selectRemote({"../x", "a/b", "x\r\nDELE good.txt", "good.txt"});
    form->Download->click();
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_NE(Messages[0].find("\"../x\""), std::string::npos);
    EXPECT_NE(Messages[1].find("\"a/b\""), std::string::npos);
    EXPECT_NE(Messages[2].find("\"x??DELE good.txt\""), std::string::npos) << Messages[2];
    // The rest of the selection still goes; nothing lands outside the folder.
    EXPECT_EQ(sentStarting("RETR"), std::vector<std::string>{"RETR good.txt"});
    EXPECT_TRUE(sentStarting("DELE").empty());
    EXPECT_FALSE(fs::exists(Root + "/x"));
    EXPECT_FALSE(fs::exists(Local + "/a"));
    EXPECT_EQ(fs::directory_iterator(Local)->path().filename(), "good.txt");

    // View builds its path in the view folder: refused there too.
    Messages.clear();
    selectRemote({"../x"});
    form->OpenButton->click();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Opened.empty());
    EXPECT_FALSE(fs::exists(Root + "/x"));
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(FileCommandsTest, NamesEndingInSpacesAreListedAndCopiedUnderTheirOwnName)
{
    serve("spaced  ", "two spaces\n");
    serve("spaced", "none\n");
    logOn();
    ASSERT_GE(rowOf("spaced  "), 0);
    ASSERT_GE(rowOf("spaced"), 0);
    selectRemote({"spaced  "});
    form->Download->click();
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(sentStarting("RETR"), std::vector<std::string>{"RETR spaced  "});
    EXPECT_EQ(test::ReadFileBytes(Local + "/spaced  "), "two spaces\n");
    EXPECT_FALSE(fs::exists(Local + "/spaced"));
}

TEST_F(FileCommandsTest, EachDownloadExpectsTheSizeItsRowListed)
{
    serve("a.txt", "alpha\n");
    logOn();
    // Served after the listing, so only the rows added here name them.
    serve("unsized.bin", "u");
    serve("big.bin", "tiny");
    form->FTP1DirList("unsized.bin");  // no size field in this style
    form->FTP1DirList("-rw-r--r-- 1 u g 5368709120 Jan 15 12:34 big.bin");
    form->RemoteModel().Flush();
    std::vector<int64_t> expected;  // ExpectedSize as each RETR went out
    auto wired = form->FTP1->OnFirePITrail;
    form->FTP1->OnFirePITrail = [&](QObject* s, TPIDirections d, const std::string& t) {
        if (d == pidCommand && t.rfind("RETR ", 0) == 0)
            expected.push_back(form->FTP1->ExpectedSize);
        wired(s, d, t);
    };
    selectRemote({"a.txt", "unsized.bin"});
    form->Download->click();
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(expected, (std::vector<int64_t>{6, -1}));
    EXPECT_EQ(test::ReadFileBytes(Local + "/unsized.bin"), "u");

    // View and Unzip go the same way; the size is held in 64 bits.
    expected.clear();
    selectRemote({"big.bin"});
    form->OpenButton->click();
    EXPECT_EQ(expected, std::vector<int64_t>{5368709120});
}

// Needs the engine to enforce ExpectedSize.
TEST_F(FileCommandsTest, ADownloadWhoseSizeDiffersFromItsRowLeavesNoFile)
{
    serve("grown.log", std::string(100, 'g'));
    logOn();
    serve("grown.log", std::string(150, 'g'));  // changed since it was listed
    selectRemote({"grown.log"});
    form->Download->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Messages[0].empty());
    EXPECT_TRUE(fs::is_empty(Local)) << "neither the file nor a partial one";
    EXPECT_TRUE(controlsEnabled());

    // A View that fails opens nothing.
    Messages.clear();
    serve("notes.txt", "short");
    form->FTP1DirList("-rw-r--r-- 1 u g 5368709120 Jan 15 12:34 notes.txt");
    form->RemoteModel().Flush();
    selectRemote({"notes.txt"});
    form->OpenButton->click();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(fs::is_empty(sites.View));
    EXPECT_TRUE(Opened.empty());

    // The next download of a listed size that holds goes through.
    Messages.clear();
    form->ChangeDirectory("/");
    selectRemote({"grown.log"});
    form->Download->click();
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(test::ReadFileBytes(Local + "/grown.log").size(), 150u);
}

TEST_F(FileCommandsTest, ARefusalStopsTheLoopAndBringsTheControlsBack)
{
    serve("gone.txt", "g");
    serve("kept.txt", "k");
    logOn();
    fs::remove(ServeRoot + "/gone.txt");  // listed, then gone
    selectRemote({"gone.txt", "kept.txt"});
    form->Download->click();
    ASSERT_EQ(Messages.size(), 1u);
    // The engine's code for a refused reply, then the server's reply.
    EXPECT_EQ(Messages[0], "141: 550 No such file or directory.") << Messages[0];
    EXPECT_EQ(sentStarting("RETR"), std::vector<std::string>{"RETR gone.txt"});
    EXPECT_FALSE(fs::exists(Local + "/kept.txt"));
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(form->ProgressBar1->isVisible());
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);

    // The same for a remote delete that the server refuses.
    Messages.clear();
    selectRemote({"gone.txt"});
    form->DeleteButton->click();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].rfind("141: 550 ", 0), 0u) << Messages[1];
    EXPECT_GE(rowOf("gone.txt"), 0) << "a refused delete keeps its row";
    EXPECT_TRUE(controlsEnabled());

    // An upload whose file vanished fails in its size step, before any
    // transfer event could bring the controls back: the command does.
    Messages.clear();
    test::WriteFileBytes(Local + "/vanishing.txt", "v");
    test::WriteFileBytes(Local + "/later.txt", "l");
    selectLocal({"later.txt", "vanishing.txt"});
    fs::remove(Local + "/later.txt");
    form->Download->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("not found"), std::string::npos) << Messages[0];
    EXPECT_TRUE(sentStarting("STOR").empty()) << "the loop stops at the failed item";
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(FileCommandsTest, TheDialogsCarryTheirNamesAndCaptions)
{
    TRenameForm& rename = TSessionShared::RenameForm();
    EXPECT_EQ(&rename, &TSessionShared::RenameForm()) << "one for the whole application";
    EXPECT_EQ(rename.windowTitle(), "Rename");
    EXPECT_EQ(rename.RenameEdit->objectName(), "RenameEdit");
    EXPECT_EQ(rename.OK->text(), "OK");
    EXPECT_EQ(rename.Cancel->objectName(), "Cancel");
    TCreateDirectoryForm& create = TSessionShared::CreateDirectoryForm();
    EXPECT_EQ(create.windowTitle(), "Create directory");
    EXPECT_EQ(create.CreateDirEdit->objectName(), "CreateDirEdit");
    EXPECT_EQ(create.OKBtn->objectName(), "OKBtn");
    EXPECT_EQ(create.CancelBtn->objectName(), "CancelBtn");
    // Each edit has its label as buddy, and OK and Cancel give their results.
    auto* label = create.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Directory Name:");
    EXPECT_EQ(label->buddy(), create.CreateDirEdit);
    create.open();
    create.OKBtn->click();
    EXPECT_EQ(create.result(), QDialog::Accepted);
    create.open();
    create.CancelBtn->click();
    EXPECT_EQ(create.result(), QDialog::Rejected);
}

} // namespace

// The background copy window under offscreen Qt, made by the session
// window's Bkg. Copy command, against a real pyftpdlib server on 127.0.0.1:
// what it queues, what it shows while the files move, how it ends.
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/shell.h"
#include "session/filecopyform.h"
#include "session/ftpform.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>
#include <map>
#include <gtest/gtest.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t KiB = 1024;

class FileCopyFormTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Dialogs::SetResponder([this](const DialogRequest& r) {
            Messages.push_back(r.text.toStdString());
            return int(mrOk);
        });
        SetBeeper([this] { ++Beeps; });
        ServeRoot = Root + "/serve";
        Local = Root + "/local";
        fs::create_directories(ServeRoot + "/pub");
        fs::create_directories(Local);
        test::WriteFileBytes(ServeRoot + "/pub/guide.txt", "guide\n");
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
        form = new TFTPForm(sites);
        form->show();
    }
    void TearDown() override
    {
        // A test that failed half-way may leave a queue running: end it first.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* q = qobject_cast<TFileCopyForm*>(w)) {
                QPointer<TFileCopyForm> gone(q);
                q->close();
                waitUntil([&] { return gone.isNull(); });
            }
        delete form.data();
        server.reset();
        SetBeeper({});
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    // Runs the event loop until done() holds, at most timeoutMs.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (done() || clock.elapsed() > timeoutMs)
                loop.quit();
        });
        tick.start(5);
        if (!done())
            loop.exec();
        return done();
    }

    void serve(const std::string& name, const std::string& bytes) { test::WriteFileBytes(ServeRoot + "/" + name, bytes); }
    void logOn(const std::string& user = "user", const std::string& password = "password")
    {
        TFTPSiteRecord site = MakeSiteRecord("Test Site", "127.0.0.1:" + std::to_string(server->Port()), "/", Local,
                                             user, password);
        form->Session().Open(site);
    }
    int rowOf(const std::string& name) const
    {
        const auto& rows = form->RemoteRows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (ExtractListingName(rows[i]) == name)
                return static_cast<int>(i);
        return -1;
    }
    // Selects the rows in the remote pane and clicks Bkg. Copy; the new
    // queue window, which has logged on and posted its first step.
    TFileCopyForm* copyRemote(const std::vector<std::string>& names)
    {
        form->RemoteModel().Flush();
        form->lFiles->clearSelection();
        for (const std::string& n : names)
            form->lFiles->selectionModel()->select(form->RemoteModel().index(rowOf(n)), QItemSelectionModel::Select);
        form->lFiles->selectionModel()->setCurrentIndex(form->RemoteModel().index(rowOf(names.front())),
                                                        QItemSelectionModel::NoUpdate);
        form->ChangeButtonNames(true);
        return clickCopyLater();
    }
    TFileCopyForm* copyLocal(const std::vector<QString>& names)
    {
        form->FileListBox1->clearSelection();
        for (const QString& n : names)
            for (QListWidgetItem* item : form->FileListBox1->findItems(n, Qt::MatchExactly))
                item->setSelected(true);
        form->ChangeButtonNames(false);
        return clickCopyLater();
    }
    TFileCopyForm* clickCopyLater()
    {
        EXPECT_TRUE(form->CopyLaterButton->isEnabled());
        form->CopyLaterButton->click();
        TFileCopyForm* found = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* q = qobject_cast<TFileCopyForm*>(w); q && q->isVisible())
                found = q;
        return found;
    }
    // Calls also after each of the queue's progress events, once the window
    // has shown it.
    static void onProgress(TFileCopyForm& copy, std::function<void(std::int64_t bytes)> also)
    {
        TFTP& ftp = *copy.FTP1;
        ftp.OnTransfer = [shown = ftp.OnTransfer, also](QObject* s, std::int64_t n, const std::string& t) {
            shown(s, n, t);
            also(n);
        };
    }
    static std::vector<std::string> texts(const QListWidget& list)
    {
        std::vector<std::string> out;
        for (int i = 0; i < list.count(); ++i)
            out.push_back(list.item(i)->text().toStdString());
        return out;
    }
    // The names of the queue's items, in order.
    static std::vector<std::string> queued(const TFileCopyForm& copy)
    {
        std::vector<std::string> out;
        for (const std::string& row : texts(*copy.FilesToCopyLB))
            out.push_back(ExtractListingName(row));
        return out;
    }
    static std::string kb(std::int64_t bytes) { return std::to_string(bytes / KiB); }
    std::string local(const std::string& name) const { return test::ReadFileBytes(Local + "/" + name); }
    std::string served(const std::string& name) const { return test::ReadFileBytes(ServeRoot + "/" + name); }

    test::RecordingSiteManager sites;
    QPointer<TFTPForm> form;
    std::unique_ptr<test::FtpServer> server;
    std::string ServeRoot;
    std::string Local;
    std::vector<std::string> Messages;
    int Beeps = 0;
};

TEST_F(FileCopyFormTest, QueueOfTwoFilesAndADirectoryCopiesBothThenBeepsAndCloses)
{
    serve("a.bin", std::string(3000, 'a'));
    std::string b(5 * 1024 * KiB + 17, 'b');
    for (std::size_t i = 0; i < b.size(); i += 4093)
        b[i] = static_cast<char>(i);
    serve("b.bin", b);
    logOn();
    QPointer<TFileCopyForm> copy = copyRemote({"a.bin", "pub", "b.bin"});
    ASSERT_TRUE(copy);
    std::vector<std::string> sent;
    test::RecordCommands(*copy->FTP1, sent);

    EXPECT_EQ(copy->windowTitle(), "Background File Copy");
    EXPECT_EQ(copy->TypeLabel->text(), "Downloading:");
    EXPECT_EQ(copy->BitBtn1->text(), "Cancel");
    EXPECT_EQ(copy->BitBtn1->width(), 169);
    EXPECT_EQ(copy->size(), QSize(TFileCopyForm::DesignWidth - TFileCopyForm::FrameWidth,
                                  TFileCopyForm::DesignHeight - TFileCopyForm::FrameHeight));
    EXPECT_EQ(texts(*copy->FilesToCopyLB),
              (std::vector<std::string>{form->RemoteRows()[rowOf("a.bin")], form->RemoteRows()[rowOf("b.bin")]}));
    EXPECT_EQ(copy->TotalSizeLeft->text().toStdString(), "0k / " + kb(3000 + b.size()) + " k");
    EXPECT_EQ(copy->Queue().Progress().TotalKB(), static_cast<std::int64_t>((3000 + b.size()) / KiB));

    ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
    EXPECT_EQ(Beeps, 1);
    EXPECT_EQ(local("a.bin"), served("a.bin"));
    EXPECT_TRUE(local("b.bin") == b);
    EXPECT_FALSE(fs::exists(Local + "/pub"));
    // One connection: logged on once, before the first step; no log-on since.
    EXPECT_EQ(sent, (std::vector<std::string>{"EPSV", "RETR a.bin", "EPSV", "RETR b.bin", "QUIT"}));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(FileCopyFormTest, AfterTheFirstOfThreeFilesTheListsAndTotalsShowIt)
{
    const std::map<std::string, std::int64_t> sizes = {
        {"one.bin", 100 * KiB}, {"two.bin", 2048 * KiB}, {"three.bin", 10 * KiB + 5}};
    for (const auto& [name, size] : sizes)
        serve(name, std::string(static_cast<std::size_t>(size), name[1]));
    logOn();
    QPointer<TFileCopyForm> copy = copyRemote({"one.bin", "two.bin", "three.bin"});
    ASSERT_TRUE(copy);
    const std::vector<std::string> order = queued(*copy);
    ASSERT_EQ(order.size(), 3u);
    bool seen = false;
    onProgress(*copy, [&](std::int64_t bytes) {
        if (seen || copy->FileName->text().toStdString() != order[1])
            return;
        seen = true;
        EXPECT_EQ(texts(*copy->FinishedLB), std::vector<std::string>{order[0]});
        EXPECT_EQ(queued(*copy), std::vector<std::string>{order[2]});
        const std::string total = kb(100 * KiB + 2048 * KiB + 10 * KiB + 5);
        EXPECT_EQ(copy->TotalSizeLeft->text().toStdString(),
                  std::to_string(sizes.at(order[0]) / KiB + bytes / KiB) + "k / " + total + " k");
        EXPECT_EQ(copy->CurrentFileStatusLabel->text().toStdString(),
                  kb(bytes) + "k / " + kb(sizes.at(order[1])) + "k");
    });
    ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
    EXPECT_TRUE(seen);
    for (const auto& [name, size] : sizes)
        EXPECT_TRUE(local(name) == served(name)) << name;
}

TEST_F(FileCopyFormTest, RemovingTheLastPendingItemWhileAFileCopiesClosesWhenThatFileEnds)
{
    serve("one.bin", std::string(4096 * KiB, '1'));
    serve("two.bin", std::string(4096 * KiB, '2'));
    logOn();
    QPointer<TFileCopyForm> copy = copyRemote({"one.bin", "two.bin"});
    ASSERT_TRUE(copy);
    const std::vector<std::string> order = queued(*copy);
    ASSERT_EQ(order.size(), 2u);
    std::vector<std::string> sent;
    test::RecordCommands(*copy->FTP1, sent);
    // Nothing selected: Delete does nothing.
    copy->Delete->click();
    EXPECT_EQ(copy->FilesToCopyLB->count(), 2);
    bool removed = false;
    onProgress(*copy, [&](std::int64_t) {
        if (removed)
            return;
        removed = true;
        EXPECT_EQ(queued(*copy), std::vector<std::string>{order[1]});
        copy->FilesToCopyLB->setCurrentRow(0);
        copy->Delete->click();
        EXPECT_EQ(copy->FilesToCopyLB->count(), 0);
        EXPECT_TRUE(copy->TotalSizeLeft->text().endsWith(" / 4096 k")) << copy->TotalSizeLeft->text().toStdString();
    });
    ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
    EXPECT_TRUE(removed);
    EXPECT_EQ(Beeps, 1);
    EXPECT_TRUE(local(order[0]) == served(order[0]));
    EXPECT_FALSE(fs::exists(Local + "/" + order[1]));
    EXPECT_EQ(sent, (std::vector<std::string>{"EPSV", "RETR " + order[0], "QUIT"}));
}

TEST_F(FileCopyFormTest, AnUploadQueueKeepsItsDirectoriesWhenTheSessionWindowMovesOn)
{
    const std::string other = Root + "/other";
    fs::create_directories(other);
    test::WriteFileBytes(Local + "/up1.txt", "from the queue's folder\n");
    test::WriteFileBytes(Local + "/up2.bin", std::string(70 * KiB, 'u'));
    test::WriteFileBytes(other + "/up1.txt", "from the folder shown later\n");
    logOn();
    ASSERT_EQ(form->DirectoryListBox1->Directory().toStdString(), Local);
    QPointer<TFileCopyForm> copy = copyLocal({"up1.txt", "up2.bin"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->TypeLabel->text(), "Uploading:");
    EXPECT_EQ(texts(*copy->FilesToCopyLB), (std::vector<std::string>{"up1.txt", "up2.bin"}));
    EXPECT_EQ(copy->TotalSizeLeft->text().toStdString(), "0k / " + kb(24 + 70 * KiB) + " k");

    // Both panes of the session window move before the queue's first file.
    ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(other)));
    form->ChangeDirectory("/pub");
    ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
    EXPECT_EQ(served("up1.txt"), "from the queue's folder\n");
    EXPECT_TRUE(served("up2.bin") == std::string(70 * KiB, 'u'));
    EXPECT_FALSE(fs::exists(ServeRoot + "/pub/up1.txt"));
    EXPECT_EQ(form->eRemotePath->text(), "/pub");
}

TEST_F(FileCopyFormTest, TheSessionWindowListsAnotherDirectoryWhileTheQueueCopies)
{
    std::string big(32 * 1024 * KiB, '\0');
    for (std::size_t i = 0; i < big.size(); i += 977)
        big[i] = static_cast<char>(i * 7);
    serve("big.bin", big);
    logOn();
    QPointer<TFileCopyForm> copy = copyRemote({"big.bin"});
    ASSERT_TRUE(copy);
    bool listing = false;
    bool listed = false;
    int queueEventsDuringListing = 0;
    onProgress(*copy, [&](std::int64_t) {
        if (listing)
            ++queueEventsDuringListing;
        if (listed)
            return;
        listed = true;
        // Posted, so it runs as a click in the session window would: from
        // the message loop inside the queue's running download.
        QTimer::singleShot(0, form, [&] {
            EXPECT_EQ(copy->FTP1->Action(), ftpDownload);
            listing = true;
            form->ChangeDirectory("/pub");
            listing = false;
            EXPECT_EQ(copy->FTP1->Action(), ftpDownload);
        });
    });
    ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
    ASSERT_TRUE(listed);
    EXPECT_EQ(form->eRemotePath->text(), "/pub");
    std::vector<std::string> names;
    for (const std::string& row : form->RemoteRows())
        if (ExtractListingName(row) != "..")
            names.push_back(ExtractListingName(row));
    EXPECT_EQ(names, std::vector<std::string>{"guide.txt"});
    // The queue's data kept coming while the session's listing waited.
    EXPECT_GT(queueEventsDuringListing, 0);
    EXPECT_TRUE(local("big.bin") == big);
}

TEST_F(FileCopyFormTest, AFailedItemIsShownAndTheNextOneStillCopies)
{
    serve("a.txt", "alpha\n");
    serve("gone.txt", "soon gone\n");
    serve("c.txt", "charlie\n");
    logOn();
    form->FTP1DirList("-rw-r--r-- 1 u g 5 Jan 15 12:34 ../evil");
    QPointer<TFileCopyForm> copy = copyRemote({"a.txt", "gone.txt", "../evil", "c.txt"});
    ASSERT_TRUE(copy);
    // A name that could leave the folder is never requested.
    ASSERT_EQ(copy->FilesToCopyLB->count(), 4);
    EXPECT_FALSE(copy->FilesToCopyLB->item(3)->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(ExtractListingName(copy->FilesToCopyLB->item(3)->text().toStdString()), "../evil");
    fs::remove(ServeRoot + "/gone.txt");

    ASSERT_TRUE(waitUntil([&] { return copy->Queue().State() == TQueueState::Closed; }));
    EXPECT_TRUE(copy->isVisible()) << "a queue with failures stays open";
    EXPECT_EQ(Beeps, 0);
    EXPECT_EQ(texts(*copy->FinishedLB), (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(local("c.txt"), "charlie\n");
    EXPECT_FALSE(fs::exists(Local + "/gone.txt"));
    EXPECT_FALSE(fs::exists(Root + "/evil"));
    ASSERT_EQ(copy->FilesToCopyLB->count(), 2);
    QListWidgetItem* failed = copy->FilesToCopyLB->item(1);
    EXPECT_EQ(ExtractListingName(failed->text().toStdString()), "gone.txt");
    EXPECT_FALSE(failed->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(failed->data(TQueueItemDelegate::ErrorRole).toString().startsWith("550"));
    EXPECT_EQ(copy->FailureLabel->text(), "Not copied: 2 files, each listed in grey with its error.");
    EXPECT_TRUE(copy->TotalSizeLeft->text().endsWith("k / 0 k")) << "failed items leave the total";

    QPointer<TFileCopyForm> closing(copy);
    copy->BitBtn1->click();
    EXPECT_TRUE(waitUntil([&] { return closing.isNull(); }));
}

TEST_F(FileCopyFormTest, AnUploadTheServerRefusesIsReportedWithTheServersReply)
{
    test::WriteFileBytes(Local + "/refused.txt", "no rights\n");
    logOn("anonymous", "guest@example.org");  // read-only on the test server
    QPointer<TFileCopyForm> copy = copyLocal({"refused.txt"});
    ASSERT_TRUE(copy);
    ASSERT_TRUE(waitUntil([&] { return copy->Queue().State() == TQueueState::Closed; }));
    EXPECT_EQ(Beeps, 0);
    EXPECT_TRUE(copy->isVisible());
    EXPECT_TRUE(copy->FailureLabel->text().startsWith("Not copied: refused.txt: 550 "))
        << copy->FailureLabel->text().toStdString();
    EXPECT_TRUE(copy->FinishedLB->count() == 0);
    EXPECT_FALSE(fs::exists(ServeRoot + "/refused.txt"));
}

// A 5 GiB file (sparse on both sides): the labels count it without wrapping,
// and closing the window in mid-transfer leaves no part of it behind.
TEST_F(FileCopyFormTest, ClosingAFiveGigabyteTransferInTheMiddleLeavesNoPartialFile)
{
    constexpr std::int64_t size = 5 * KiB * KiB * KiB;
    for (const std::string& source : {ServeRoot + "/huge.bin", Local + "/huge-up.bin"}) {
        test::WriteFileBytes(source, "");
        fs::resize_file(source, static_cast<std::uintmax_t>(size));
    }
    serve("later.txt", "later\n");
    test::WriteFileBytes(Local + "/later-up.txt", "later\n");
    logOn();
    for (const bool download : {true, false}) {
        const std::string target = download ? Local + "/huge.bin" : ServeRoot + "/huge-up.bin";
        QPointer<TFileCopyForm> copy = download ? copyRemote({"huge.bin", "later.txt"})
                                                : copyLocal({"huge-up.bin", "later-up.txt"});
        ASSERT_TRUE(copy);
        std::vector<std::string> sent;
        test::RecordCommands(*copy->FTP1, sent);
        EXPECT_EQ(copy->TotalSizeLeft->text().toStdString(), "0k / 5242880 k");
        int events = 0;
        onProgress(*copy, [&](std::int64_t bytes) {
            if (++events != 3)
                return;
            EXPECT_EQ(copy->CurrentFileStatusLabel->text().toStdString(), kb(bytes) + "k / 5242880k");
            EXPECT_EQ(copy->TotalSizeLeft->text().toStdString(), kb(bytes) + "k / 5242880 k");
            EXPECT_GE(copy->ProgressBar1->value(), 0);
            EXPECT_LT(copy->ProgressBar1->value(), ProgressBarRange / 100);
            EXPECT_EQ(copy->ProgressBar1->maximum(), ProgressBarRange);
            copy->close();
        });
        ASSERT_TRUE(waitUntil([&] { return copy.isNull(); }));
        EXPECT_GE(events, 3);
        EXPECT_FALSE(fs::exists(target)) << (download ? "download" : "upload");
        // Nothing else left behind either (no temporary name).
        if (download) {
            EXPECT_EQ(std::distance(fs::directory_iterator(Local), fs::directory_iterator()), 2)
                << "the upload's two sources only";
        }
        EXPECT_TRUE(std::find(sent.begin(), sent.end(), "ABOR") != sent.end());
        EXPECT_EQ(sent.back(), "QUIT");
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& s) { return s.find("later") != s.npos; }),
                  0) << "the rest of the queue is dropped";
        EXPECT_EQ(Beeps, 0);
    }
}

} // namespace

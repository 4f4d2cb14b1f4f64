// Ending a session's work early and the state it is left in: Stop and the
// Escape key during a download, closing the window while it waits, a failed
// log-on, and asking servers for their dot files. Under offscreen Qt against
// pyftpdlib on 127.0.0.1, a variant of it that treats "LIST -a" as other
// servers do, and a listener that never answers.
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/guard.h"
#include "platform/shell.h"
#include "session/ftpform.h"
#include "session/localfiles.h"
#include "session/remotefiles.h"
#include "session/remoterowsmodel.h"
#include "tests/session/remoterowhelpers.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

// A socket bound to a free port of 127.0.0.1, and that port (0 on failure).
int boundLoopbackSocket(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    return fd;
}

// A port that takes connections (the kernel completes them from the
// backlog) and never says a word: a server that hangs.
class SilentListener final {
public:
    SilentListener() : m_fd(boundLoopbackSocket(m_port))
    {
        if (m_fd < 0 || ::listen(m_fd, 4) != 0)
            m_port = 0;
    }
    ~SilentListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    std::uint16_t m_port = 0;
    int m_fd;
};

// A port nobody listens on (bound, then released).
std::uint16_t unusedPort()
{
    std::uint16_t port = 0;
    const int fd = boundLoopbackSocket(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

class SessionControlTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ServeRoot = Root + "/serve";
        Local = Root + "/local";
        fs::create_directories(ServeRoot + "/docs");
        fs::create_directories(Local);
        test::WriteFileBytes(ServeRoot + "/a.txt", "alpha\n");
        test::WriteFileBytes(ServeRoot + "/.profile", "dot\n");
        Dialogs::ClearHistory();
        Dialogs::SetResponder([this](const DialogRequest& r) {
            Messages.push_back(r.text.toStdString());
            return int(mrOk);
        });
        SetBeeper([] {});
        form = new TFTPForm(sites);
        form->SiteName = "Test Site";
        form->show();
        ASSERT_TRUE(form->DirectoryListBox1->SetDirectory(QString::fromStdString(Local)));
        test::RecordCommands(*form->FTP1, Sent);
    }
    void TearDown() override
    {
        delete form.data();
        server.reset();
        SetBeeper({});
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    void startServer()
    {
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
    }
    // As the site manager opens a session: an escaping exception becomes a
    // message box.
    void open(const TFTPSiteRecord& site)
    {
        form->SetPanelText(0, QStringLiteral("Connecting..."));
        Guard([&] { form->Session().Open(site); });
    }
    int rowOf(const std::string& name) const { return test::RowOf(form->RemoteRows(), name); }
    void selectRemote(std::initializer_list<const char*> names) { test::SelectRemote(*form, names); }
    std::size_t count(const std::string& command) const
    {
        return static_cast<std::size_t>(std::count(Sent.begin(), Sent.end(), command));
    }
    bool localIsEmpty() const { return fs::is_empty(Local); }
    // Runs the event loop until the closed window has freed itself (bounded).
    void waitForWindowGone()
    {
        if (!form)
            return;
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Once a download has moved more than a MiB, runs action once inside
    // the transfer's own wait, as a key press or a click would arrive.
    void onceTransferring(std::function<void()> action)
    {
        auto wired = form->FTP1->OnTransfer;
        form->FTP1->OnTransfer = [this, wired, action = std::move(action), done = false](
                                     QObject* s, int64_t n, const std::string& t) mutable {
            wired(s, n, t);
            if (!done && n > 1024 * 1024) {
                done = true;
                StopEnabledWhileTransferring = form->StopMenu->isEnabled();
                action();
            }
        };
    }

    test::RecordingSiteManager sites;
    QPointer<TFTPForm> form;
    std::unique_ptr<test::FtpServer> server;
    std::string ServeRoot;
    std::string Local;
    std::vector<std::string> Messages;
    std::vector<std::string> Sent;
    bool StopEnabledWhileTransferring = false;
};

TEST_F(SessionControlTest, EscapeStopsADownloadLeavesNoFileAndTheSessionGoesOn)
{
    test::WriteFileBytes(ServeRoot + "/big.bin", std::string(48 * 1024 * 1024, 'z'));
    test::WriteFileBytes(ServeRoot + "/later.txt", "after the big one\n");
    startServer();
    open(test::TestSite(server->Port()));
    ASSERT_GE(rowOf("big.bin"), 0);
    EXPECT_FALSE(form->StopMenu->isEnabled()) << "nothing to stop while idle";
    EXPECT_EQ(form->StopMenu->text(), "Stop");

    onceTransferring([this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(form->FileListBox1, &escape);
    });
    selectRemote({"big.bin", "later.txt"});
    form->Download->click();

    EXPECT_TRUE(StopEnabledWhileTransferring);
    EXPECT_EQ(count("ABOR"), 1u);
    EXPECT_EQ(count("RETR later.txt"), 0u) << "the rest of the selection is not fetched";
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_TRUE(localIsEmpty()) << "no partial file, under any name";
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_FALSE(form->StopMenu->isEnabled());
    EXPECT_TRUE(form->Download->isEnabled() && form->lFiles->isEnabled());
    EXPECT_FALSE(form->Session().Busy());

    // The same connection lists and copies again.
    Sent.clear();
    form->ChangeDirectory("/");
    EXPECT_GE(rowOf("big.bin"), 0);
    EXPECT_EQ(Sent.front(), "CWD /") << "no new log-on";
    selectRemote({"a.txt"});
    form->Download->click();
    EXPECT_EQ(test::ReadFileBytes(Local + "/a.txt"), "alpha\n");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(SessionControlTest, StopMenuItemEndsAnUploadAndIsHarmlessWhenIdle)
{
    test::WriteFileBytes(Local + "/up.bin", std::string(48 * 1024 * 1024, 'u'));
    startServer();
    open(test::TestSite(server->Port()));
    // Idle: nothing is sent.
    form->Session().Stop();
    EXPECT_EQ(count("ABOR"), 0u);

    bool triggered = false;
    form->Session().OnProgress = [this, wired = form->Session().OnProgress, &triggered](const TTransferPanels& p) {
        wired(p);
        if (!triggered && form->StopMenu->isEnabled()) {
            triggered = true;
            form->StopMenu->trigger();
        }
    };
    form->FileListBox1->Update();
    form->FileListBox1->findItems(QStringLiteral("up.bin"), Qt::MatchExactly).at(0)->setSelected(true);
    form->ChangeButtonNames(false);
    form->Download->click();
    EXPECT_TRUE(triggered);
    EXPECT_EQ(count("ABOR"), 1u);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_EQ(rowOf("up.bin"), -1) << "a stopped upload adds no row";
    EXPECT_EQ(form->PanelText(0), "Ready");
    form->ChangeDirectory("/");
    EXPECT_GE(rowOf("a.txt"), 0);
}

TEST_F(SessionControlTest, ClosingDuringADownloadStopsItAtOnce)
{
    test::WriteFileBytes(ServeRoot + "/big.bin", std::string(48 * 1024 * 1024, 'z'));
    startServer();
    open(test::TestSite(server->Port()));
    // Slow enough that the rest of the file takes far longer than the close.
    onceTransferring([this] { form->Exit1->trigger(); });
    selectRemote({"big.bin"});
    QElapsedTimer t;
    t.start();
    form->Download->click();
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_TRUE(localIsEmpty());
    EXPECT_EQ(sites.Stores, 1);
    EXPECT_FALSE(form->FTP1->Connected());
    waitForWindowGone();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(Dialogs::History().empty());
}

TEST_F(SessionControlTest, ClosingWhileASilentServerIsAwaitedEndsTheWaitAndReportsNothing)
{
    SilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    form->Session().SetTimeOut(60);
    // Closed from inside the greeting's wait, as the user's click arrives.
    form->FTP1->OnFirePITrail = [this](QObject*, TPIDirections d, const std::string& text) {
        if (d == pidInfo && text == "Connected.")
            QTimer::singleShot(0, form, [this] { form->Exit1->trigger(); });
    };
    QElapsedTimer t;
    t.start();
    open(test::TestSite(silent.Port()));
    EXPECT_LT(t.elapsed(), 10000) << "far below the 60-second time-out";
    EXPECT_EQ(sites.Stores, 1);
    waitForWindowGone();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    EXPECT_TRUE(Dialogs::History().empty());
}

TEST_F(SessionControlTest, ARefusedLogOnLeavesTheWindowNotConnectedUntilAReconnect)
{
    startServer();
    TFTPSiteRecord site = test::TestSite(server->Port());
    site.Password.Set("wrong");
    open(site);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].rfind("141: 530", 0), 0u) << Messages[0];
    EXPECT_EQ(form->PanelText(0), "Not connected");
    EXPECT_EQ(form->Session().Connection(), TConnection::NotConnected);
    EXPECT_EQ(count("LIST"), 0u);
    EXPECT_FALSE(form->FTP1->Connected()) << "no half-logged-on connection left";

    // Whatever the selection, nothing that needs the server is offered;
    // the local commands that do not are.
    test::WriteFileBytes(Local + "/here.txt", "x");
    form->FileListBox1->Update();
    form->FileListBox1->findItems(QStringLiteral("here.txt"), Qt::MatchExactly).at(0)->setSelected(true);
    form->ChangeButtonNames(false);
    EXPECT_FALSE(form->Download->isEnabled()) << "an upload needs the server";
    EXPECT_FALSE(form->CopyLaterButton->isEnabled());
    EXPECT_TRUE(form->RenameButton->isEnabled());
    EXPECT_TRUE(form->DeleteButton->isEnabled());
    form->ChangeButtonNames(true);
    form->AllActive(true);
    for (QPushButton* b : {form->Download, form->OpenButton, form->UnzipButton, form->RenameButton,
                           form->DeleteButton, form->MakeDirectoryButton, form->CopyLaterButton})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(form->DeleteMenu->isEnabled());
    EXPECT_FALSE(form->DownloadPopUp->isEnabled());
    EXPECT_TRUE(form->ChangeToTextDirectory->isEnabled()) << "the way to reconnect";
    EXPECT_EQ(form->PanelText(0), "Not connected");

    // A change to a typed path logs on again.
    form->FTP1->Password = "password";
    form->eRemotePath->setText(QStringLiteral("/docs"));
    form->ChangeToTextDirectory->click();
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_EQ(form->Session().Connection(), TConnection::LoggedOn);
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_EQ(count("CWD /docs"), 1u);
    EXPECT_EQ(count("PASS ****"), 2u);
    EXPECT_TRUE(form->Download->isEnabled());
}

TEST_F(SessionControlTest, AFailedConnectOrAnEmptyServerIsNotLeftConnecting)
{
    const std::uint16_t port = unusedPort();
    ASSERT_NE(port, 0);
    for (const std::string& server : {std::string(), "127.0.0.1:" + std::to_string(port)}) {
        Messages.clear();
        TFTPSiteRecord site = test::TestSite(0);
        site.FTPServer.Set(server);
        open(site);
        EXPECT_EQ(Messages.size(), 1u) << server;
        EXPECT_EQ(form->PanelText(0), "Not connected") << server;
        EXPECT_FALSE(form->Download->isEnabled()) << server;
    }
}

TEST_F(SessionControlTest, AMissingLocalDirectoryIsNamedAndTheHomeFolderShown)
{
    startServer();
    const std::string missing = Root + "/no such folder";
    QString shownBehindTheMessage;
    Dialogs::SetResponder([&](const DialogRequest& r) {
        Messages.push_back(r.text.toStdString());
        shownBehindTheMessage = form->DirectoryListBox1->Directory();
        return int(mrOk);
    });
    open(test::TestSite(server->Port(), "/", missing));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find(missing), std::string::npos) << Messages[0];
    EXPECT_EQ(shownBehindTheMessage, QDir::homePath());
    EXPECT_EQ(form->DirectoryListBox1->Directory(), QDir::homePath());
    EXPECT_EQ(form->PanelText(0), "Ready");
    EXPECT_GE(rowOf("a.txt"), 0);
}

TEST_F(SessionControlTest, TheDotFileSettingListsAgainAskingForThem)
{
    startServer();
    open(test::TestSite(server->Port()));
    EXPECT_EQ(count("LIST"), 1u);
    EXPECT_EQ(rowOf(".profile"), -1);
    // pyftpdlib sends dot files with a plain LIST too; the setting decides
    // whether they show, and shows them at once.
    form->ShowAllfilesMenu->trigger();
    EXPECT_EQ(count("LIST -a"), 1u);
    EXPECT_GE(rowOf(".profile"), 0);
    EXPECT_GE(rowOf("a.txt"), 0);
    form->ShowAllfilesMenu->trigger();
    EXPECT_EQ(count("LIST"), 2u);
    EXPECT_EQ(rowOf(".profile"), -1);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

// Servers that differ on "LIST -a", through the session alone.
class ListOptionsTest : public test::TempHomeTest {
protected:
    void start(const char* mode)
    {
        const std::string root = Root + "/serve";
        fs::create_directories(root + "/.hidden dir");
        test::WriteFileBytes(root + "/.profile", "dot\n");
        test::WriteFileBytes(root + "/plain.txt", "plain\n");
        server = std::make_unique<test::ServerProcess>(
            test::ServerScript("listoptions_ftp.py"),
            QStringList{QStringLiteral("--root"), QString::fromStdString(root), QStringLiteral("--mode"),
                        QString::fromLatin1(mode)},
            Root + "/port");
        ASSERT_NE(server->Port(), 0) << server->Output();
        test::RecordCommands(session.FTP(), Sent);
    }
    std::vector<std::string> names() const { return test::SortedNames(session.RemoteRows()); }
    std::vector<std::string> lists() const
    {
        std::vector<std::string> out;
        std::copy_if(Sent.begin(), Sent.end(), std::back_inserter(out),
                     [](const std::string& s) { return s.rfind("LIST", 0) == 0; });
        return out;
    }

    TFTPSession session;
    std::unique_ptr<test::ServerProcess> server;
    std::vector<std::string> Sent;
};

TEST_F(ListOptionsTest, AServerThatHidesDotFilesShowsThemForListA)
{
    start("hide");
    session.Open(test::TestSite(server->Port()));
    EXPECT_EQ(names(), std::vector<std::string>{"plain.txt"});
    session.SetShowDotFiles(true);
    EXPECT_EQ(names(), (std::vector<std::string>{".hidden dir", ".profile", "plain.txt"}));
    EXPECT_TRUE(session.DirLB.Contains(".hidden dir"));
    EXPECT_EQ(lists(), (std::vector<std::string>{"LIST", "LIST -a"}));
    EXPECT_TRUE(session.FTP().RemoteFile.empty()) << "the option is no file name";
}

TEST_F(ListOptionsTest, AServerThatRefusesListAIsAskedPlainlyFromThenOn)
{
    start("refuse");
    session.ShowDotFiles = true;
    session.Open(test::TestSite(server->Port()));
    EXPECT_EQ(names(), (std::vector<std::string>{".hidden dir", ".profile", "plain.txt"}));
    session.ChangeDirectory("/");
    EXPECT_EQ(names(), (std::vector<std::string>{".hidden dir", ".profile", "plain.txt"}));
    EXPECT_EQ(lists(), (std::vector<std::string>{"LIST -a", "LIST", "LIST"}));
    EXPECT_FALSE(session.Busy());
    EXPECT_EQ(session.Connection(), TConnection::LoggedOn);
}

} // namespace

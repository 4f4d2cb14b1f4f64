// DoConnection with the real site manager and session window against a
// pyftpdlib server on 127.0.0.1.
#include "app/mysiteswindow.h"
#include "app/siteeditor.h"
#include "app/sitesfile.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/directorylistbox.h"
#include "platform/dirs.h"
#include "platform/guard.h"
#include "session/ftpform.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <filesystem>
#include <gtest/gtest.h>

using namespace plover;

namespace {

class DoConnectionTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ServeRoot = Root + "/serve";
        LocalDir = Root + "/local";
        std::filesystem::create_directories(ServeRoot + "/pub");
        std::filesystem::create_directories(LocalDir);
        test::WriteFileBytes(ServeRoot + "/readme.txt", "hello\n");
        test::WriteFileBytes(LocalDir + "/mine.txt", "x");
        server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(server->Port(), 0) << server->Output();
        Dialogs::ClearHistory();
        Dialogs::SetResponder([this](const DialogRequest& r) {
            Messages.push_back(r.text.toStdString());
            return int(mrOk);
        });
    }
    void TearDown() override
    {
        closeSessions();
        w.reset();
        server.reset();
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    std::string serverField() const { return "127.0.0.1:" + std::to_string(server->Port()); }

    TFTPSiteRecord site(const std::string& remote = "/pub", const std::string& password = "password")
    {
        return MakeSiteRecord("Work Site", serverField(), remote, LocalDir, "user", password);
    }

    void open(const std::vector<TFTPSiteRecord>& records)
    {
        TSiteList list;
        for (const auto& r : records)
            list.Add(r);
        SaveSites(DataDir() + "/sites.dat", list);
        w = std::make_unique<TMySitesWindow>();
        w->OnTerminate = [] {};
        w->FormCreate();
    }

    std::vector<std::string> rowNames(TFTPForm& form) const
    {
        std::vector<std::string> out;
        for (const std::string& row : form.RemoteRows())
            out.push_back(ExtractListingName(row));
        std::sort(out.begin(), out.end());
        return out;
    }

    void closeSessions()
    {
        // Deleting a window deletes its popup menu, another top-level widget.
        std::vector<QPointer<TFTPForm>> forms;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TFTPForm*>(top))
                forms.emplace_back(f);
        for (auto& f : forms)
            delete f.data();
    }

    std::unique_ptr<test::FtpServer> server;
    std::unique_ptr<TMySitesWindow> w;
    std::string ServeRoot;
    std::string LocalDir;
    std::vector<std::string> Messages;
};

TEST_F(DoConnectionTest, OpensAListedSessionWithTheProfilesCaptionAndBounds)
{
    TFTPSiteRecord s = site();
    s.SessionLeft = 50;
    s.SessionTop = 60;
    s.SessionWidth = 600;
    s.SessionHeight = 500;
    s.ShowAllFiles = 1;
    open({s});
    w->DoConnection(s);
    QPointer<TFTPForm> form = w->LastSession();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle().toStdString(), "Work Site (" + serverField() + ")");
    const TWindowBounds b = form->Bounds();
    EXPECT_EQ(b.Left, 50);
    EXPECT_EQ(b.Top, 60);
    EXPECT_EQ(b.Width, 600);
    EXPECT_EQ(b.Height, 500);
    EXPECT_TRUE(form->ShowAllfilesMenu->isChecked());
    EXPECT_EQ(form->SiteName, "Work Site");
    EXPECT_EQ(form->FTP1->RemotePort(), server->Port());
    EXPECT_EQ(form->FTP1->TransferMode(), tmBinary);
    EXPECT_EQ(form->eRemotePath->text(), "/pub");
    EXPECT_EQ(form->DirectoryListBox1->Directory().toStdString(), LocalDir);
    EXPECT_EQ(form->PanelText(0), "Ready");
    // /pub is empty: at most the window's way up, once its listing has ended.
    for (const std::string& name : rowNames(*form))
        EXPECT_EQ(name, "..");
    EXPECT_TRUE(Messages.empty());

    // A second call makes a second window.
    TFTPSiteRecord root = site("/");
    w->DoConnection(root);
    ASSERT_NE(w->LastSession(), form.data());
    EXPECT_EQ(rowNames(*w->LastSession()), (std::vector<std::string>{"pub", "readme.txt"}));
    EXPECT_TRUE(w->LastSession()->Session().DirLB.Contains("pub"));

    // Closing stores the bounds and the flag into the profile found by name.
    form->SetBounds({70, 80, 620, 510});
    form->ShowAllfilesMenu->setChecked(false);
    form->close();
    const TFTPSiteObject& stored = w->Sites().Object(0);
    EXPECT_EQ(stored.SessionLeft, 70);
    EXPECT_EQ(stored.SessionTop, 80);
    EXPECT_EQ(stored.SessionWidth, 620);
    EXPECT_EQ(stored.SessionHeight, 510);
    EXPECT_EQ(stored.ShowAllFiles, 0);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 200 && form && t.elapsed() < 5000; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(form.isNull()) << "a closed session window is freed";
}

TEST_F(DoConnectionTest, EverySessionConnectionTakesTheTimeOutSetting)
{
    test::WriteFileBytes(SettingsFilePath(), "[FTP]\nTimeOut=7\n");
    open({site("/")});
    w->DoConnection(site("/"));
    QPointer<TFTPForm> first = w->LastSession();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->FTP1->TimeOut(), 7);
    EXPECT_EQ(rowNames(*first), (std::vector<std::string>{"pub", "readme.txt"}));

    // New Session opens its window through DoConnection as well.
    first->SpawnButton->click();
    ASSERT_TRUE(w->LastSession());
    ASSERT_NE(w->LastSession(), first.data());
    EXPECT_EQ(w->LastSession()->FTP1->TimeOut(), 7);

    w->FtpTimeOut = 0;
    w->DoConnection(site("/"));
    EXPECT_EQ(w->LastSession()->FTP1->TimeOut(), 0);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST_F(DoConnectionTest, TheSessionAsksForTheProfilesDataConnectionMode)
{
    open({site("/")});
    const struct { std::uint8_t byte; TDataConnectionModes mode; } cases[] = {
        {dcActive, dcActive}, {dcPassive, dcPassive}, {dcDefault, dcDefault}, {7, dcDefault},
    };
    for (const auto& c : cases) {
        TFTPSiteRecord s = site("/");
        s.DataMode = c.byte;
        w->DoConnection(s);
        ASSERT_TRUE(w->LastSession()) << int(c.byte);
        EXPECT_EQ(w->LastSession()->FTP1->DataConnectionMode(), c.mode) << int(c.byte);
        // And the session lists the server in that mode.
        EXPECT_EQ(rowNames(*w->LastSession()), (std::vector<std::string>{"pub", "readme.txt"})) << int(c.byte);
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST_F(DoConnectionTest, RememberedBoundsOutsideTheirRangesKeepTheDefaults)
{
    TFTPSiteRecord s = site("/");
    s.SessionLeft = 0;
    s.SessionTop = 30;
    s.SessionWidth = 60;
    s.SessionHeight = 450;
    open({s});
    w->DoConnection(s);
    ASSERT_TRUE(w->LastSession());
    const TWindowBounds b = w->LastSession()->Bounds();
    const TWindowBounds d = TFTPForm::DefaultBounds();
    EXPECT_EQ(b.Left, d.Left);
    EXPECT_EQ(b.Top, 30);
    EXPECT_EQ(b.Width, d.Width);
    EXPECT_EQ(b.Height, 450);
}

TEST_F(DoConnectionTest, RefusedRemoteDirectoryIsReportedAndTheSessionStartsAtTheRoot)
{
    open({site("/missing")});
    w->DoConnection(site("/missing"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "/missing is not a valid directory.");
    ASSERT_TRUE(w->LastSession());
    EXPECT_EQ(w->LastSession()->eRemotePath->text(), "/");
    EXPECT_EQ(rowNames(*w->LastSession()), (std::vector<std::string>{"pub", "readme.txt"}));
}

TEST_F(DoConnectionTest, LogOnFailureReachesTheCallerAndTheWindowStays)
{
    open({site("/", "wrong")});
    EXPECT_THROW(w->DoConnection(site("/", "wrong")), EFTP);
    ASSERT_TRUE(w->LastSession());
    EXPECT_TRUE(w->LastSession()->isVisible());
    EXPECT_EQ(w->LastSession()->PanelText(0), "Not connected");

    // From the command line the failure is reported and start-up goes on.
    w->LastSession()->close();
    EXPECT_FALSE(Guard([&] { StartSiteManager(*w, true, false, {"Work_Site"}); }));
    ASSERT_FALSE(Dialogs::History().empty());
    EXPECT_NE(Dialogs::History().back().text.toStdString().find("530"), std::string::npos)
        << Dialogs::History().back().text.toStdString();
}

TEST_F(DoConnectionTest, ConnectWithEmptyLogInUsesAnonymousAndThePlaceholder)
{
    open({});
    w->FTPSiteNameEdit->setText("Anon");
    w->FTPServerEdit->setText(QString::fromStdString(serverField()));
    w->RemoteDirectoryEdit->setText("/");
    w->ConnectButton->click();
    TFTPForm* form = w->LastSession();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->FTP1->User, "anonymous");
    EXPECT_EQ(form->FTP1->Password, std::string(ConnectPlaceholderPassword));
    EXPECT_EQ(form->FTP1->Password.size(), 14u);
    // The server let the anonymous user in: the listing arrived.
    EXPECT_EQ(rowNames(*form), (std::vector<std::string>{"pub", "readme.txt"}));
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->Sites().Count(), 0);
}

} // namespace

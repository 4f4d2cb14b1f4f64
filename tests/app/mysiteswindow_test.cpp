#include "app/mysiteswindow.h"
#include "app/sitesfile.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/dirs.h"
#include "platform/exception.h"
#include "tests/support/temphome.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace plover;

namespace {

class SiteManagerStartTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Dialogs::ClearHistory();
        Dialogs::SetResponder([](const DialogRequest&) { return mrOk; });
    }
    void TearDown() override
    {
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    std::string sitesPath() const { return DataDir() + "/sites.dat"; }
    std::string iniPath() const { return SettingsFilePath(); }

    void writeSites(std::initializer_list<const char*> names)
    {
        TSiteList list;
        for (const char* n : names)
            list.Add(MakeSiteRecord(n, std::string("server-") + n, "/remote", "/local", "user", "pw"));
        SaveSites(sitesPath(), list);
    }

    // Creates the window and runs its loading; returns the message of a
    // loading failure ("" when none).
    std::string create(std::unique_ptr<TMySitesWindow>& w)
    {
        w = std::make_unique<TMySitesWindow>();
        w->OnTerminate = [this] { ++terminated; };
        try {
            w->FormCreate();
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string();
    }

    int terminated = 0;
};

TEST_F(SiteManagerStartTest, WithoutSettingsTheDefaultBoundsAndFirstProfileApply)
{
    writeSites({"One", "Two"});
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    EXPECT_EQ(w->pos(), QPoint(8, 7));
    EXPECT_EQ(w->size(), QSize(428, 465));
    EXPECT_EQ(w->FTPSitesLB->count(), 2);
    EXPECT_EQ(w->SelectedIndex(), 0);
    EXPECT_EQ(w->FTPSiteNameEdit->text(), "One");
    EXPECT_EQ(w->FTPServerEdit->text(), "server-One");
    EXPECT_TRUE(w->ConnectButton->isEnabled());
    EXPECT_TRUE(w->DeleteFTPProfile->isEnabled());
    EXPECT_TRUE(w->Email.ESTo.empty());
    EXPECT_EQ(w->Email.ESWidth, 0);
    EXPECT_TRUE(test::FileExists(iniPath()) == false);  // nothing is written before the exit
}

TEST_F(SiteManagerStartTest, IndexOutsideTheListSelectsNothing)
{
    writeSites({"One", "Two", "Three"});
    for (const char* index : {"5", "-1", "3"}) {
        test::WriteFileBytes(iniPath(), std::string("[MainForm]\nIndex=") + index + "\n");
        std::unique_ptr<TMySitesWindow> w;
        ASSERT_EQ(create(w), "");
        EXPECT_EQ(w->SelectedIndex(), -1) << index;
        EXPECT_FALSE(w->ConnectButton->isEnabled()) << index;
    }
    test::WriteFileBytes(iniPath(), "[MainForm]\nIndex=0x2\n");
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    EXPECT_EQ(w->SelectedIndex(), 2);
}

TEST_F(SiteManagerStartTest, BoundsApplyOnlyWithStatusAndAcceptHexadecimal)
{
    test::WriteFileBytes(iniPath(), "[MainForm]\nTop=100\nLeft=100\n");
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    EXPECT_EQ(w->pos(), QPoint(8, 7));

    test::WriteFileBytes(iniPath(), "[MainForm]\nStatus=1\nTop=0x20\nLeft=50\nWidth=500\nHeight=bad\n");
    ASSERT_EQ(create(w), "");
    EXPECT_EQ(w->pos(), QPoint(50, 32));
    EXPECT_EQ(w->size(), QSize(500, 465));
}

TEST_F(SiteManagerStartTest, DamagedSitesFileKeepsWholeProfilesAndSkipsTheSelection)
{
    writeSites({"One", "Two"});
    test::WriteFileBytes(sitesPath(), test::ReadFileBytes(sitesPath()) + "x");  // 3113 bytes
    test::WriteFileBytes(iniPath(), "[MainForm]\nIndex=1\n");
    std::unique_ptr<TMySitesWindow> w;
    EXPECT_EQ(create(w), "Read beyond end of file");
    EXPECT_EQ(w->FTPSitesLB->count(), 2);
    EXPECT_EQ(w->SelectedIndex(), -1);

    // The next exit rewrites the file from the list as loaded.
    w->Exit1Click();
    EXPECT_EQ(test::ReadFileBytes(sitesPath()).size(), 3112u);
}

TEST_F(SiteManagerStartTest, ExitWritesSettingsAndKeepsBoundsWhenNotInNormalState)
{
    writeSites({"One", "Two"});
    test::WriteFileBytes(iniPath(), "[MainForm]\nStatus=1\nTop=11\nLeft=12\nWidth=413\nHeight=414\nIndex=0\n");
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    w->SelectIndex(1);
    w->Email.ESTo = "someone@example.org";
    w->setWindowState(Qt::WindowMaximized);
    w->Exit1Click();
    EXPECT_EQ(terminated, 1);
    TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadInteger("MainForm", "Top", 0), 11);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Width", 0), 413);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Index", 0), 1);
    EXPECT_EQ(ini.ReadString("EmailForm", "ESTo", ""), "someone@example.org");

    ASSERT_EQ(create(w), "");
    w->setWindowState(Qt::WindowNoState);
    w->move(30, 40);
    w->resize(450, 470);
    w->FTPSitesLB->setCurrentRow(-1);
    w->Exit1Click();
    EXPECT_EQ(ini.ReadInteger("MainForm", "Left", 0), 30);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Top", 0), 40);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Height", 0), 470);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Index", 0), -1);
}

TEST_F(SiteManagerStartTest, FtpTimeOutIsReadAtStartAndWrittenBackAtExit)
{
    // Without a settings file: the default, which the exit writes so a user finds it.
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    EXPECT_EQ(w->FtpTimeOut, 30);
    w->Exit1Click();
    TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadString("FTP", "TimeOut", ""), "30");

    const std::vector<std::pair<std::string, int>> cases = {
        {"[FTP]\nTimeOut=45\n", 45},
        {"[ftp]\ntimeout=0\n", 0},  // no limit
        {"[FTP]\nTimeOut=0x3C\n", 60},
        {"[FTP]\nTimeOut=-5\n", 30},
        {"[FTP]\nTimeOut=soon\n", 30},
        {"[FTP]\nTimeOut=\n", 30},
        {"[FTP]\nTimeOut=99999999999\n", 30},
        {"[MainForm]\nTimeOut=5\n", 30},
    };
    for (const auto& [text, seconds] : cases) {
        SCOPED_TRACE(text);
        test::WriteFileBytes(iniPath(), text);
        ASSERT_EQ(create(w), "");
        EXPECT_EQ(w->FtpTimeOut, seconds);
        w->Exit1Click();
        EXPECT_EQ(ini.ReadString("FTP", "TimeOut", ""), std::to_string(seconds));
    }

    // A value changed during the run is the one saved.
    ASSERT_EQ(create(w), "");
    w->FtpTimeOut = 12;
    w->Exit1Click();
    EXPECT_EQ(ReadFtpTimeOut(ini), 12);
}

TEST_F(SiteManagerStartTest, ExitThatCannotWriteKeepsTheOldFileAndSucceedsOnTheNextClose)
{
    writeSites({"One"});
    const std::string before = test::ReadFileBytes(sitesPath());
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    w->Sites().Add(MakeSiteRecord("Two", "s", "", "", "", ""));
    w->ExitOnClose = false;

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 2000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    w->show();
    Dialogs::ClearHistory();
    EXPECT_THROW(w->Exit1Click(), EInOutError);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(w->ExitOnClose);
    EXPECT_EQ(test::ReadFileBytes(sitesPath()), before);

    // The next close of the window runs the whole exit again, and it works now.
    EXPECT_TRUE(w->close());
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(test::ReadFileBytes(sitesPath()).size(), 2 * 1556u);
}

TEST_F(SiteManagerStartTest, CloseReportsAFailedExitInAMessageBox)
{
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    w->ExitOnClose = true;
    w->show();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Dialogs::ClearHistory();
    EXPECT_FALSE(w->close());
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(Dialogs::History().size(), 1u);
    // An empty list writes an empty sites.dat; the first settings value fails.
    EXPECT_EQ(Dialogs::History()[0].text.toStdString(), "Unable to write to " + iniPath());
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(SiteManagerStartTest, CloseHidesWhenTheProgramLivesInTheTray)
{
    std::unique_ptr<TMySitesWindow> w;
    ASSERT_EQ(create(w), "");
    w->ExitOnClose = false;
    w->show();
    EXPECT_FALSE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(terminated, 0);
    EXPECT_FALSE(test::FileExists(iniPath()));
}

TEST(CommandLine, FirstArgumentWithUnderscoresAsSpaces)
{
    EXPECT_EQ(CommandLineSiteName({}), "");
    EXPECT_EQ(CommandLineSiteName({"my_site", "other_arg"}), "my site");
    EXPECT_EQ(CommandLineSiteName({"__"}), "  ");
    TSiteList list;
    list.Add(MakeSiteRecord("My Site", "", "", "", "", ""));
    list.Add(MakeSiteRecord("my_site", "", "", "", "", ""));
    // A profile whose own name holds "_" cannot be reached from the command line.
    EXPECT_EQ(list.IndexOf(CommandLineSiteName({"my_site"})), 0);
    EXPECT_EQ(list.IndexOf(CommandLineSiteName({"MY_SITE"})), 0);
}

} // namespace

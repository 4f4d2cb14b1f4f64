// The site manager's folder for View: under the temporary directory, made
// on the first View and gone with the site manager; and its status bar,
// which screen readers read.
#include "app/mysiteswindow.h"
#include "platform/dialogs.h"
#include "tests/support/temphome.h"

#include <QAccessible>
#include <QStatusBar>
#include <QtGlobal>
#include <filesystem>
#include <gtest/gtest.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

class ViewDirectoryTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Dialogs::SetResponder([](const DialogRequest&) { return int(mrOk); });
        savedTmp = qgetenv("TMP");
        hadTmp = qEnvironmentVariableIsSet("TMP");
        Base = Root + "/tmp";
        fs::create_directories(Base);
        qputenv("TMP", QByteArray::fromStdString(Base));
    }
    void TearDown() override
    {
        if (hadTmp)
            qputenv("TMP", savedTmp);
        else
            qunsetenv("TMP");
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    std::string Base;
    QByteArray savedTmp;
    bool hadTmp = false;
};

TEST_F(ViewDirectoryTest, AFolderOfTheProgramsOwnRemovedAtTheEnd)
{
    std::string view;
    {
        TMySitesWindow w;
        w.OnTerminate = [] {};
        w.FormCreate();
        ASSERT_EQ(w.TempDir, Base + "/");
        EXPECT_TRUE(fs::is_empty(Base)) << "nothing made before a View";
        view = w.ViewDirectory();
        EXPECT_EQ(view.rfind(Base + "/plover-view-", 0), 0u) << view;
        EXPECT_EQ(w.ViewDirectory(), view);
        ASSERT_TRUE(fs::is_directory(view));
        test::WriteFileBytes(view + "viewed.txt", "v");
    }
    EXPECT_FALSE(fs::exists(view));
    EXPECT_TRUE(fs::is_empty(Base));
}

TEST_F(ViewDirectoryTest, TheStatusBarGivesScreenReadersItsHint)
{
    TMySitesWindow w;
    w.OnTerminate = [] {};
    w.FormCreate();
    w.StatusBar1->showMessage(QString::fromLatin1(TMySitesWindow::FieldHints[1]));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w.StatusBar1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Name), TMySitesWindow::FieldHints[1]);
    EXPECT_EQ(a->text(QAccessible::Description), "Field hint");
}

} // namespace

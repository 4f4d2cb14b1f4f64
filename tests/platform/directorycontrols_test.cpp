#include "platform/choosedirectoryform.h"
#include "platform/directorylistbox.h"
#include "platform/drivecombobox.h"
#include "platform/helpviewer.h"
#include "platform/dialogs.h"
#include "tests/support/temphome.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <filesystem>
#include <gtest/gtest.h>

using namespace plover;

namespace {

class DirectoryControlsTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        for (const char* d : {"top/b-dir", "top/A-dir", "top/.hidden", "top/b-dir/deeper"})
            std::filesystem::create_directories(Root + "/" + d);
        test::WriteFileBytes(Root + "/top/file.txt", "not a directory");
        top = QString::fromStdString(std::filesystem::canonical(Root + "/top").string());
    }

    // The entries of the list, one per line, indented by depth.
    static QStringList lines(const TDirectoryListBox& box)
    {
        QStringList out;
        std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
            out << QString(depth, QLatin1Char(' ')) + item->text(0);
            for (int i = 0; i < item->childCount(); ++i)
                walk(item->child(i), depth + 1);
        };
        for (int i = 0; i < box.topLevelItemCount(); ++i)
            walk(box.topLevelItem(i), 0);
        return out;
    }

    QString top;
};

TEST_F(DirectoryControlsTest, ListShowsThePathThenTheSubdirectories)
{
    TDirectoryListBox box;
    int changed = 0;
    QObject::connect(&box, &TDirectoryListBox::DirectoryChanged, [&](const QString&) { ++changed; });
    ASSERT_TRUE(box.SetDirectory(top + "/"));
    EXPECT_EQ(box.Directory(), top);
    EXPECT_EQ(changed, 1);
    QStringList l = lines(box);
    const int depth = static_cast<int>(top.count(QLatin1Char('/')));
    ASSERT_EQ(l.size(), depth + 3);
    EXPECT_EQ(l.first(), "/");
    EXPECT_EQ(l.at(depth), QString(depth, QLatin1Char(' ')) + "top");
    // Subdirectories only, by name ignoring case, hidden ones left out.
    EXPECT_EQ(l.at(depth + 1).trimmed(), "A-dir");
    EXPECT_EQ(l.at(depth + 2).trimmed(), "b-dir");
    EXPECT_EQ(box.currentItem()->text(0), "top");

    box.SetShowHidden(true);
    EXPECT_EQ(lines(box).size(), depth + 4);

    // Activating a subdirectory, then an ancestor, moves there.
    QTreeWidgetItem* sub = box.currentItem()->child(2);
    ASSERT_EQ(sub->text(0), "b-dir");
    emit box.itemActivated(sub, 0);
    EXPECT_EQ(box.Directory(), top + "/b-dir");
    emit box.itemActivated(box.topLevelItem(0), 0);
    EXPECT_EQ(box.Directory(), "/");
    EXPECT_EQ(changed, 3);
}

TEST_F(DirectoryControlsTest, NonexistentOrFileTargetsChangeNothing)
{
    TDirectoryListBox box;
    ASSERT_TRUE(box.SetDirectory(top));
    int changed = 0;
    QObject::connect(&box, &TDirectoryListBox::DirectoryChanged, [&](const QString&) { ++changed; });
    EXPECT_FALSE(box.SetDirectory(top + "/missing"));
    EXPECT_FALSE(box.SetDirectory(top + "/file.txt"));
    EXPECT_FALSE(box.SetDirectory(""));
    EXPECT_TRUE(box.SetDirectory(top + "/b-dir/.."));
    EXPECT_EQ(box.Directory(), top);
    EXPECT_EQ(changed, 0);
}

TEST_F(DirectoryControlsTest, DrivesStartWithTheRoot)
{
    const QStringList roots = TDriveComboBox::MountedRoots();
    ASSERT_FALSE(roots.isEmpty());
    EXPECT_EQ(roots.first(), "/");
    EXPECT_EQ(roots.count("/"), 1);
    for (const QString& r : roots)
        EXPECT_FALSE(r.startsWith("/proc") || r.startsWith("/sys")) << r.toStdString();

    TDriveComboBox drives;
    EXPECT_EQ(drives.Drive(), "/");
    drives.SetDrive(top);  // not a mount point: added and chosen
    EXPECT_EQ(drives.Drive(), top);
    drives.ShowDriveOf(top + "/b-dir");
    EXPECT_EQ(drives.Drive(), top);  // the longest root that holds the path
    drives.ShowDriveOf(QStringLiteral("/"));
    EXPECT_EQ(drives.Drive(), "/");
}

TEST_F(DirectoryControlsTest, ChooseFormFollowsTheDrive)
{
    TChooseDirectoryForm form;
    EXPECT_EQ(form.windowTitle(), "Choose Local Directory");
    form.SetDirectory(top);
    EXPECT_EQ(form.Directory(), top);
    form.DriveComboBox1->SetDrive(top + "/b-dir");
    EXPECT_EQ(form.Directory(), top + "/b-dir");
    form.DriveComboBox1->setCurrentIndex(0);
    EXPECT_EQ(form.Directory(), "/");
}

TEST_F(DirectoryControlsTest, HelpViewerOpensAtTheTopic)
{
    const std::string file = Root + "/help.hlp";
    std::string html = "<html><body><h1>Start</h1>";
    for (int i = 0; i < 200; ++i)
        html += "<p>filler line " + std::to_string(i) + "</p>";
    html += "<h2><a name=\"Far_Down\"></a>Far down</h2><p>end</p></body></html>";
    test::WriteFileBytes(file, html);

    THelpViewer* viewer = ShowHelp(file, "Far_Down");
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->Browser->source().fragment(), "Far_Down");
    EXPECT_GT(viewer->Browser->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(viewer->Browser->toPlainText().contains("<h1>"));  // read as HTML
    // One window for the whole program.
    EXPECT_EQ(ShowHelp(file, "Start"), viewer);
    viewer->close();

    Dialogs::SetResponder([](const DialogRequest&) { return int(mrOk); });
    Dialogs::ClearHistory();
    EXPECT_EQ(ShowHelp(Root + "/none.hlp", "x"), nullptr);
    ASSERT_EQ(Dialogs::History().size(), 1u);
    EXPECT_EQ(Dialogs::History()[0].text.toStdString(), "Cannot find the help file " + Root + "/none.hlp");
    Dialogs::SetResponder({});
}

} // namespace

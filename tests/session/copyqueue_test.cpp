// The background copy queue without its window: the connection it makes,
// the lost connection it makes again, against pyftpdlib and a scripted
// server on 127.0.0.1; and how its items are named and drawn.
#include "session/copyqueue.h"
#include "session/filecommands.h"
#include "session/filecopyform.h"
#include "session/listing.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

class CopyQueueTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Local = Root + "/local";
        fs::create_directories(Local);
    }

    // Runs the queue to its end (bounded); whether it got there.
    bool runToEnd(TCopyQueue& queue, const TQueueConnection& connection)
    {
        queue.OnFinished = [this](bool closed) { Finished.push_back(closed); };
        queue.OnItemCopied = [this](const TQueueItem& item) { Copied.push_back(item.RemoteFile); };
        queue.Start(connection);
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (queue.State() == TQueueState::Closed || clock.elapsed() > 30000)
                loop.quit();
        });
        tick.start(5);
        loop.exec();
        return queue.State() == TQueueState::Closed;
    }
    static TQueueConnection connection(std::uint16_t port, const std::string& directory)
    {
        TQueueConnection c;
        c.Host = "127.0.0.1";
        c.Port = port;
        c.User = "user";
        c.Password = "password";
        c.RemoteDirectory = directory;
        return c;
    }

    std::string Local;
    std::vector<bool> Finished;
    std::vector<std::string> Copied;
};

TEST_F(CopyQueueTest, ALongQueueUsesOneConnectionInItsOwnDirectory)
{
    const std::string serve = Root + "/serve";
    fs::create_directories(serve + "/sub");
    TCopyQueue queue(TCopyDirection::Download, Local);
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        const std::string bytes(1000 * i + 1, static_cast<char>('a' + i));
        test::WriteFileBytes(serve + "/sub/" + name, bytes);
        queue.AddRow(MakeListingRow(name, "Jan 05", std::to_string(bytes.size())));
    }
    test::FtpServer server(serve);
    ASSERT_NE(server.Port(), 0) << server.Output();
    std::vector<std::string> sent;
    test::RecordCommands(queue.FTP(), sent);
    ASSERT_TRUE(runToEnd(queue, connection(server.Port(), "/sub")));

    EXPECT_EQ(std::count(sent.begin(), sent.end(), "USER user"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "CWD /sub"), 1);
    EXPECT_EQ(sent.back(), "QUIT");
    EXPECT_EQ(Copied.size(), 6u);
    EXPECT_EQ(Finished, std::vector<bool>{false});
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        EXPECT_EQ(test::ReadFileBytes(Local + "/" + name), test::ReadFileBytes(serve + "/sub/" + name));
    }
    EXPECT_TRUE(queue.Failed().empty());
    EXPECT_FALSE(queue.Busy());
}

// The server drops the control connection in mid-transfer: the queue logs
// on again, enters its directory and fetches the file once more; dropped a
// second time, the item counts as failed.
TEST_F(CopyQueueTest, ALostConnectionIsLoggedOnAgainOnceBeforeTheItemFails)
{
    const std::string logon = R"(
      {"send": "220 Hi\r\n"},
      {"reply": ["USER", "331 Password required\r\n"]},
      {"reply": ["PASS", "230 Logged in\r\n"]},
      {"reply": ["TYPE", "200 Type set\r\n"]},
      {"reply": ["CWD", "250 Okay\r\n"]},)";
    const std::string cutOff = R"(
      {"epsv": true}, {"data_accept": true},
      {"reply": ["RETR", "150 Here it comes\r\n"]},
      {"data_send": "he"}, {"data_close": true}, {"close": true}, {"accept": true},)";
    const std::string script = "[" + logon + cutOff + logon + R"(
      {"epsv": true}, {"data_accept": true},
      {"reply": ["RETR", "150 Here it comes\r\n"]},
      {"data_send": "hello"}, {"data_close": true}, {"send": "226 Done\r\n"},)" + cutOff + logon + R"(
      {"epsv": true}, {"data_accept": true},
      {"reply": ["RETR", "150 Here it comes\r\n"]},
      {"data_close": true}, {"close": true}])";
    test::WriteFileBytes(Root + "/script.json", script);
    test::ServerProcess server(test::ServerScript("scripted_ftp.py"),
                               {"--script", QString::fromStdString(Root + "/script.json"), "--transcript",
                                QString::fromStdString(Root + "/transcript")},
                               Root + "/scripted.port");
    ASSERT_NE(server.Port(), 0) << server.Output();

    TCopyQueue queue(TCopyDirection::Download, Local);
    queue.AddRow(MakeListingRow("a.txt", "Jan 05", "5"));
    queue.AddRow(MakeListingRow("b.txt", "Jan 05", "4"));
    ASSERT_TRUE(runToEnd(queue, connection(server.Port(), "/dir")));
    server.WaitForExit(15000);

    const std::string logonSent = "USER user\nPASS password\nTYPE I\nCWD /dir\n";
    EXPECT_EQ(test::ReadFileBytes(Root + "/transcript"),
              logonSent + "EPSV\nRETR a.txt\n" + logonSent + "EPSV\nRETR a.txt\nEPSV\nRETR b.txt\n" + logonSent
                  + "EPSV\nRETR b.txt\n");
    EXPECT_EQ(test::ReadFileBytes(Local + "/a.txt"), "hello");
    EXPECT_EQ(Copied, std::vector<std::string>{"a.txt"});
    ASSERT_EQ(queue.Failed().size(), 1u);
    EXPECT_EQ(queue.Failed()[0].RemoteFile, "b.txt");
    EXPECT_FALSE(queue.Failed()[0].Error.empty());
    EXPECT_FALSE(fs::exists(Local + "/b.txt"));
    EXPECT_EQ(Finished, std::vector<bool>{false});
}

TEST_F(CopyQueueTest, ItemsAreMadeFromRowsOrLocalNamesAndRemovedPendingOnesLeaveTheTotal)
{
    TCopyQueue down(TCopyDirection::Download, Local);
    down.AddRow(MakeListingRow("a.bin", "Jan 05", "3000"));
    down.AddRow(MakeListingRow("..", "Jan 05", "512"));
    down.AddRow(MakeListingRow("sub/x", "Jan 05", "9"));
    down.AddRow(MakeListingRow("b.bin", "Jan 05", "5120"));
    ASSERT_EQ(down.Pending().size(), 2u);
    EXPECT_EQ(down.Failed().size(), 2u) << "unsafe names are kept as failed";
    EXPECT_EQ(down.Failed()[0].Error, UnsafeNameMessage(".."));
    EXPECT_EQ(down.Progress().TotalKB(), (3000 + 5120) / 1024);
    EXPECT_EQ(down.TotalCopiedText(), "0k / 7 k");
    EXPECT_TRUE(down.RemovePending(1));
    EXPECT_FALSE(down.RemovePending(1));
    EXPECT_EQ(down.TotalCopiedText(), "0k / 2 k");

    test::WriteFileBytes(Local + "/up.txt", std::string(4096, 'u'));
    TCopyQueue up(TCopyDirection::Upload, Local);
    up.AddLocalFile("up.txt");
    up.AddLocalFile("missing.txt");
    ASSERT_EQ(up.Pending().size(), 1u);
    EXPECT_EQ(up.Pending()[0].Size, 4096);
    ASSERT_EQ(up.Failed().size(), 1u);
    EXPECT_EQ(up.Failed()[0].RemoteFile, "missing.txt");
    EXPECT_EQ(up.TotalCopiedText(), "0k / 4 k");
}

TEST(CopyQueueTextTest, ItemNamesAndFailureTexts)
{
    const struct {
        std::string Text;
        TCopyDirection Direction;
        std::string Shown;
    } cases[] = {
        {MakeListingRow("readme.txt", "Jan 05", "12"), TCopyDirection::Download, "readme.txt"},
        {MakeListingRow("disk:dir\\file.txt", "Jan 05", "12"), TCopyDirection::Download, "file.txt"},
        {"local.txt", TCopyDirection::Upload, "local.txt"},
        {"c:\\old\\name.txt", TCopyDirection::Upload, "name.txt"},
        {"odd\bname", TCopyDirection::Upload, "odd\bname"},  // an upload item is a whole name
        {"", TCopyDirection::Upload, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QueueItemDisplayName(c.Text, c.Direction), c.Shown) << c.Text;

    TQueueItem failed;
    failed.RemoteFile = "b.bin";
    failed.Error = "550 Permission denied.";
    EXPECT_EQ(FailureText(failed), "b.bin: 550 Permission denied.");
    EXPECT_EQ(QueueEndText({}), "");
    EXPECT_EQ(QueueEndText({failed}), "Not copied: b.bin: 550 Permission denied.");
    EXPECT_EQ(QueueEndText({failed, failed}), "Not copied: 2 files, each listed in grey with its error.");
}

// The darkest pixel of a row: black text, or the palette's grey one.
int darkest(const QImage& image, const QRect& row)
{
    int least = 255;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x)
            least = std::min(least, qGray(image.pixel(x, y)));
    return least;
}

TEST(QueueItemDelegateTest, DisabledItemsAndDisabledListsDrawGreyText)
{
    QListWidget list;
    list.setItemDelegate(new TQueueItemDelegate(TCopyDirection::Upload, &list));
    list.resize(200, 60);
    list.addItem(QStringLiteral("enabled.txt"));
    auto* failed = new QListWidgetItem(QStringLiteral("failed.txt"));
    failed->setFlags(failed->flags() & ~Qt::ItemIsEnabled);
    failed->setData(TQueueItemDelegate::ErrorRole, QStringLiteral("550 No."));
    list.addItem(failed);
    list.show();
    EXPECT_EQ(list.visualItemRect(list.item(0)).height(), TQueueItemDelegate::RowHeight);

    const int grey = qGray(list.palette().color(QPalette::Disabled, QPalette::Text).rgb());
    ASSERT_GT(grey, 60) << "the style's disabled text must differ from black for this test";
    QImage shot = list.viewport()->grab().toImage();
    EXPECT_LT(darkest(shot, list.visualItemRect(list.item(0))), 60);
    EXPECT_GE(darkest(shot, list.visualItemRect(list.item(1))), grey - 30);
    list.setEnabled(false);
    shot = list.viewport()->grab().toImage();
    EXPECT_GE(darkest(shot, list.visualItemRect(list.item(0))), grey - 30);
}

} // namespace

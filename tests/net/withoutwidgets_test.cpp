// The engine as a program built on net/ alone sees it: a QCoreApplication,
// no dialogs service, no GUI library linked (the check beside this test
// reads the executable's needed libraries).
#include "tests/net/ftp_fixture.h"

#include "platform/exception.h"
#include "platform/guard.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plover::test {
namespace {

using WithoutWidgetsFtpTest = FtpTest;

TEST_F(WithoutWidgetsFtpTest, LogonDownloadListingAndLogoffRunOnACoreApplication)
{
    ASSERT_STREQ(QCoreApplication::instance()->metaObject()->className(), "QCoreApplication");
    FtpServer server(ServerRoot);
    ASSERT_NE(server.Port(), 0) << server.Output();
    WriteFileBytes(ServerRoot + "/a.txt", std::string(100000, 'a'));
    auto ftp = makeClient(server.Port());
    ASSERT_EQ(act(*ftp, ftpLogon), "");
    ftp->RemoteFile = "a.txt";
    ftp->LocalFile = LocalDir + "/a.txt";
    ASSERT_EQ(act(*ftp, ftpDownload), "");
    EXPECT_EQ(ReadFileBytes(LocalDir + "/a.txt"), std::string(100000, 'a'));
    ftp->RemoteFile.clear();
    ASSERT_EQ(act(*ftp, ftpListDirectory), "");
    EXPECT_EQ(DirLines, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(act(*ftp, ftpLogoff), "");
    EXPECT_FALSE(ftp->Connected());
    EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// Without the dialogs service an exception escaping a dispatched message
// is written to standard error, and the drain goes on with the next one.
TEST(WithoutWidgetsGuard, EscapedExceptionsGoToStandardErrorOrTheInstalledReporter)
{
    std::vector<LPARAM> handled;
    HiddenWindow window([&](const MSG& m) -> LRESULT {
        if (m.lParam == 1)
            throw EInOutError(EInOutError::DiskFull);
        handled.push_back(m.lParam);
        return 0;
    });
    PostMessage(window.Handle(), WM_USER + 1, 0, 1);
    PostMessage(window.Handle(), WM_USER + 1, 0, 2);
    testing::internal::CaptureStderr();
    DrainMessages();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Disk full\n");
    EXPECT_EQ(handled, std::vector<LPARAM>{2});

    std::vector<QString> reported;
    SetExceptionReporter([&](const QString& text) { reported.push_back(text); });
    EXPECT_FALSE(Guard([] { throw std::runtime_error("plain"); }));
    EXPECT_TRUE(Guard([] {}));
    SetExceptionReporter({});
    EXPECT_EQ(reported, std::vector<QString>{"plain"});
}

} // namespace
} // namespace plover::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

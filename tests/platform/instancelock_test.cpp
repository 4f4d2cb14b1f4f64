#include "platform/instancelock.h"
#include "tests/support/temphome.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace plover;

namespace {

class InstanceLockTest : public test::TempHomeTest {
protected:
    // Starts a probe process and returns it with the line it printed.
    std::unique_ptr<QProcess> startProbe(std::string& verdict, const QStringList& more = {})
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(INSTANCE_PROBE), QStringList{QString::fromStdString(Root)} + more);
        EXPECT_TRUE(p->waitForStarted(5000));
        EXPECT_TRUE(p->waitForReadyRead(5000));
        verdict = p->readLine().trimmed().toStdString();
        return p;
    }
    static void finish(QProcess& p)
    {
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(5000));
    }
};

TEST_F(InstanceLockTest, SecondProcessSeesTheFirstAndThirdTakesOverAfterItEnds)
{
    std::string a, b, c;
    auto first = startProbe(a);
    auto second = startProbe(b);
    EXPECT_EQ(a, "primary");
    EXPECT_EQ(b, "secondary");
    finish(*second);
    finish(*first);
    auto third = startProbe(c);
    EXPECT_EQ(c, "primary");
    finish(*third);
}

TEST_F(InstanceLockTest, LockLeftByACrashedProcessIsTakenOver)
{
    std::string a, b;
    auto first = startProbe(a);
    ASSERT_EQ(a, "primary");
    first->kill();  // SIGKILL: the socket file stays behind
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(test::FileExists(Root + "/plover-TMySitesWindow"));
    auto second = startProbe(b);
    EXPECT_EQ(b, "primary");
    finish(*second);
}

// A second start hands its command line to the running instance and ends;
// one that does not answer (stopped) leaves the second start on its own.
TEST_F(InstanceLockTest, ASecondStartHandsItsCommandLineOver)
{
    std::string a, b;
    auto first = startProbe(a, {"serve"});
    ASSERT_EQ(a, "primary");
    auto second = startProbe(b, {"send", "My_Site", "with space", ""});
    EXPECT_EQ(b, "handed");
    ASSERT_TRUE(first->waitForReadyRead(5000));
    EXPECT_EQ(first->readLine().trimmed().toStdString(), "got:[My_Site][with space][]");
    finish(*second);

    ::kill(static_cast<pid_t>(first->processId()), SIGSTOP);
    std::string c;
    auto third = startProbe(c, {"send", "Other"});
    EXPECT_EQ(c, "alone");
    ::kill(static_cast<pid_t>(first->processId()), SIGCONT);
    finish(*third);
    finish(*first);
}

TEST_F(InstanceLockTest, InProcessSecondLockIsRefused)
{
    InstanceLock one("X", Root), two("X", Root);
    EXPECT_FALSE(one.AnotherInstanceRunning());
    EXPECT_TRUE(one.Held());
    EXPECT_TRUE(two.AnotherInstanceRunning());
    EXPECT_FALSE(two.Held());
}

} // namespace

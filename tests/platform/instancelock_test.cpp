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
    std::unique_ptr<QProcess> startProbe(std::string& verdict)
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(INSTANCE_PROBE), {QString::fromStdString(Root)});
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

TEST_F(InstanceLockTest, InProcessSecondLockIsRefused)
{
    InstanceLock one("X", Root), two("X", Root);
    EXPECT_FALSE(one.AnotherInstanceRunning());
    EXPECT_TRUE(one.Held());
    EXPECT_TRUE(two.AnotherInstanceRunning());
    EXPECT_FALSE(two.Held());
}

} // namespace

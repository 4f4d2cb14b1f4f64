#include "session/progress.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace plover;

namespace {

constexpr int64_t KiB = 1024;
constexpr int64_t GiB = KiB * KiB * KiB;
// Any monotonic reading will do; a large one shows no day or 32-bit wrap.
constexpr int64_t T0 = 86'395'000;

TTransferProgress started(int64_t size, int64_t atMs = T0)
{
    TTransferProgress p;
    p.SetSize(size);
    p.Start(atMs);
    return p;
}

TEST(TransferTextTest, TimesSpeedsAndBarScale)
{
    EXPECT_EQ(MinutesSecondsText(0), "0:00");
    EXPECT_EQ(MinutesSecondsText(9), "0:09");
    EXPECT_EQ(MinutesSecondsText(10), "0:10");
    EXPECT_EQ(MinutesSecondsText(3725), "62:05");
    EXPECT_EQ(MinutesSecondsText(-5), "0:00");
    EXPECT_EQ(SpeedText(123), "12.3 k/s");
    EXPECT_EQ(SpeedText(40), "4.0 k/s");
    EXPECT_EQ(SpeedText(5), ".5 k/s");
    // From 10,000 k/s on in MB/s, rounded down; the longest k/s text and
    // the MB/s texts stay about as short.
    EXPECT_EQ(SpeedText(MegabyteSpeedFrom - 1), "9999.9 k/s");
    EXPECT_EQ(SpeedText(MegabyteSpeedFrom), "9.7 MB/s");
    EXPECT_EQ(SpeedText(1321982), "129.0 MB/s");  // 132198.2 k/s
    EXPECT_EQ(SpeedText(10 * 1024 * 1000), "1000.0 MB/s");
    EXPECT_EQ(AmountText(512000, 1000 * 1024), "500k / 1000k");
    EXPECT_EQ(AmountText(-1, 1023), "0k / 0k");
    EXPECT_EQ(ProgressBarPosition(0, 100), 0);
    EXPECT_EQ(ProgressBarPosition(50, 100), ProgressBarRange / 2);
    EXPECT_EQ(ProgressBarPosition(150, 100), ProgressBarRange);
    EXPECT_EQ(ProgressBarPosition(10, 0), 0);
    EXPECT_EQ(ProgressBarPosition(-1, 100), 0);
    EXPECT_EQ(ProgressBarPosition(INT64_MAX / 2, INT64_MAX), ProgressBarRange / 2);
}

// 512,000 bytes 10 seconds into a 1,000 KB download.
TEST(TransferProgressTest, HalfOfAThousandKilobytesAfterTenSeconds)
{
    const TTransferProgress p = started(1000 * KiB);
    const TTransferPanels t = p.Update(512000, T0 + 10'000);
    EXPECT_EQ(t.Amount, "500k / 1000k");
    EXPECT_EQ(t.Speed, std::optional<std::string>("50.0 k/s"));
    EXPECT_EQ(t.Elapsed, "Time Elapsed: 0:10");
    EXPECT_EQ(t.Left, std::optional<std::string>("Time Left: 0:10"));
    EXPECT_EQ(t.BarPosition, ProgressBarRange / 2);
}

TEST(TransferProgressTest, NoSpeedOrTimeLeftInTheFirstSecondOrBelowATenthKBPerSecond)
{
    const TTransferProgress p = started(1000 * KiB);
    TTransferPanels t = p.Update(800 * KiB, T0 + 999);
    EXPECT_EQ(t.Amount, "800k / 1000k");
    EXPECT_EQ(t.Elapsed, "Time Elapsed: 0:00");
    EXPECT_FALSE(t.Speed);
    EXPECT_FALSE(t.Left);

    // 1 KB in 11 s is under 0.1 KB/s: the panels keep their text.
    t = p.Update(1 * KiB, T0 + 11'000);
    EXPECT_EQ(t.Elapsed, "Time Elapsed: 0:11");
    EXPECT_FALSE(t.Speed);
    EXPECT_FALSE(t.Left);
    // 1 KB in 10 s is exactly 0.1 KB/s.
    t = p.Update(1 * KiB, T0 + 10'000);
    EXPECT_EQ(t.Speed, std::optional<std::string>(".1 k/s"));
    EXPECT_EQ(t.Left, std::optional<std::string>("Time Left: 166:30"));
}

TEST(TransferProgressTest, HoursFoldIntoMinutesAndMillisecondsAreDropped)
{
    const TTransferProgress p = started(10000 * KiB);
    const TTransferPanels t = p.Update(3725 * KiB, T0 + 3'725'999);
    EXPECT_EQ(t.Elapsed, "Time Elapsed: 62:05");
    EXPECT_EQ(t.Speed, std::optional<std::string>("1.0 k/s"));
    EXPECT_EQ(t.Left, std::optional<std::string>("Time Left: 104:35"));
}

TEST(TransferProgressTest, FiveGibDownloadKeepsItsFigures)
{
    const TTransferProgress p = started(5 * GiB);
    const TTransferPanels t = p.Update(4 * GiB, T0 + 100'000);
    EXPECT_EQ(t.Amount, "4194304k / 5242880k");
    EXPECT_EQ(t.Speed, std::optional<std::string>("40.9 MB/s"));  // 41943.0 k/s
    EXPECT_EQ(t.Left, std::optional<std::string>("Time Left: 0:25"));
    EXPECT_EQ(t.BarPosition, ProgressBarRange * 4 / 5);

    // A file smaller than 1 KB still fills its bar; more data than announced
    // leaves no time to wait.
    const TTransferProgress tiny = started(500);
    EXPECT_EQ(tiny.Update(250, T0).BarPosition, ProgressBarRange / 2);
    const TTransferProgress grew = started(10 * KiB);
    const TTransferPanels g = grew.Update(20 * KiB, T0 + 2'000);
    EXPECT_EQ(g.Amount, "20k / 10k");
    EXPECT_EQ(g.BarPosition, ProgressBarRange);
    EXPECT_EQ(g.Left, std::optional<std::string>("Time Left: 0:00"));
}

// A clock read before the start (the caller's mistake) must not show
// negative times.
TEST(TransferProgressTest, ClockBeforeStartCountsAsNoTime)
{
    const TTransferProgress p = started(1000 * KiB);
    const TTransferPanels t = p.Update(100 * KiB, T0 - 5'000);
    EXPECT_EQ(t.Elapsed, "Time Elapsed: 0:00");
    EXPECT_FALSE(t.Speed);
}

// Three files of 100, 200 and 300 KB; the first has finished and the second
// is 50 KB in, 10 s after the queue's first transfer started.
TEST(QueueProgressTest, StatisticsCoverTheWholeQueue)
{
    TQueueProgress q;
    q.SetTotal(600 * KiB);
    q.StartItem(100 * KiB);
    q.TransferStarted(T0);
    TQueuePanels t = q.Update(100 * KiB, T0 + 4'000);
    EXPECT_EQ(t.CurrentFileStatus, "100k / 100k");
    EXPECT_EQ(t.CurrentBarPosition, ProgressBarRange);
    q.ItemFinished();
    EXPECT_EQ(q.CopiedKB(), 100);

    q.StartItem(200 * KiB);
    q.TransferStarted(T0 + 5'000); // the queue's clock keeps its first start
    t = q.Update(50 * KiB, T0 + 10'000);
    EXPECT_EQ(t.CurrentFileStatus, "50k / 200k");
    EXPECT_EQ(t.TotalCopied, "150k / 600 k");
    EXPECT_EQ(t.Elapsed, "0:10");
    EXPECT_EQ(t.Speed, std::optional<std::string>("15.0 k/s"));
    EXPECT_EQ(t.Left, std::optional<std::string>("0:30"));
    EXPECT_EQ(t.CurrentBarPosition, ProgressBarRange / 4);
    EXPECT_EQ(t.QueueBarPosition, ProgressBarRange / 4);
}

TEST(QueueProgressTest, FiguresWaitForTheCurrentFileToCatchUpWithTheSeconds)
{
    TQueueProgress q;
    q.SetTotal(1000 * KiB);
    q.StartItem(500 * KiB);
    TQueuePanels t = q.Update(10 * KiB, T0);
    EXPECT_EQ(t.Elapsed, "0:00"); // no transfer started yet
    EXPECT_FALSE(t.Speed);

    q.TransferStarted(T0);
    t = q.Update(10 * KiB, T0 + 999);
    EXPECT_FALSE(t.Speed);
    // 9 KB of the current file after 10 s: 9 div 10 is 0, nothing updates.
    t = q.Update(9 * KiB, T0 + 10'000);
    EXPECT_EQ(t.Elapsed, "0:10");
    EXPECT_FALSE(t.Speed);
    EXPECT_FALSE(t.Left);
    t = q.Update(25 * KiB, T0 + 10'000);
    EXPECT_EQ(t.Speed, std::optional<std::string>("2.5 k/s"));
    EXPECT_EQ(t.Left, std::optional<std::string>("8:07")); // 975 KB at a whole 2 KB/s
}

TEST(QueueProgressTest, RemovedItemsShrinkTheTotalAndLargeQueuesStay64Bit)
{
    TQueueProgress q;
    q.SetTotal(3 * GiB + 3 * KiB + 512);
    EXPECT_EQ(q.TotalKB(), 3 * KiB * KiB + 3);
    q.RemoveItem(GiB + 700); // 700 bytes are less than a KB
    EXPECT_EQ(q.TotalKB(), 2 * KiB * KiB + 3);
    q.RemoveItem(10 * GiB);
    EXPECT_EQ(q.TotalKB(), 0);

    TQueueProgress big;
    big.SetTotal(6 * GiB);
    big.StartItem(3 * GiB);
    big.TransferStarted(T0);
    big.Update(3 * GiB, T0 + 60'000);
    big.ItemFinished();
    big.StartItem(3 * GiB);
    const TQueuePanels t = big.Update(GiB, T0 + 80'000);
    EXPECT_EQ(t.TotalCopied, "4194304k / 6291456 k");
    EXPECT_EQ(t.CurrentFileStatus, "1048576k / 3145728k");
    EXPECT_EQ(t.Elapsed, "1:20");
    EXPECT_EQ(t.Speed, std::optional<std::string>("51.2 MB/s"));
    EXPECT_EQ(t.Left, std::optional<std::string>("0:40"));
    EXPECT_EQ(t.QueueBarPosition, ProgressBarRange * 2 / 3);
}

} // namespace

// Transfer progress figures: formulas only, the clock is the caller's.
#include "session/progress.h"

#include <chrono>

namespace plover {

namespace {

int64_t wholeSeconds(int64_t startMs, int64_t nowMs)
{
    // A clock read before the start (a caller's slip) counts as no time.
    return nowMs > startMs ? (nowMs - startMs) / 1000 : 0;
}

int64_t kilobytes(int64_t bytes) { return bytes > 0 ? bytes / 1024 : 0; }

} // namespace

int64_t MonotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int ProgressBarPosition(int64_t done, int64_t total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return ProgressBarRange;
    // A double keeps done x range from overflowing for any int64 size; the
    // bar needs no more than its 10,000 steps of precision.
    return static_cast<int>(static_cast<double>(done) * ProgressBarRange / static_cast<double>(total));
}

std::string MinutesSecondsText(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const int64_t s = seconds % 60;
    return std::to_string(seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

std::string SpeedText(int64_t rateTenths)
{
    if (rateTenths >= MegabyteSpeedFrom) {
        // Tenths of a MB, rounded down like the k/s figure.
        const int64_t mb = rateTenths / 1024;
        return std::to_string(mb / 10) + "." + std::to_string(mb % 10) + " MB/s";
    }
    std::string digits = std::to_string(rateTenths);
    digits.insert(digits.size() - 1, ".");
    return digits + " k/s";
}

std::string AmountText(int64_t doneBytes, int64_t totalBytes)
{
    return std::to_string(kilobytes(doneBytes)) + "k / " + std::to_string(kilobytes(totalBytes)) + "k";
}

TTransferPanels TTransferProgress::Update(int64_t bytesTransferred, int64_t nowMs) const
{
    TTransferPanels p;
    const int64_t k = kilobytes(bytesTransferred);
    const int64_t maxKB = kilobytes(m_size);
    p.Amount = AmountText(bytesTransferred, m_size);
    p.BarPosition = ProgressBarPosition(bytesTransferred, m_size);
    const int64_t secs = wholeSeconds(m_startMs, nowMs);
    p.Elapsed = "Time Elapsed: " + MinutesSecondsText(secs);
    if (secs == 0)
        return p;
    const int64_t rate = k * 10 / secs;
    if (rate == 0)
        return p;
    p.Speed = SpeedText(rate);
    // More data than announced (a file that grew) leaves nothing to wait for.
    const int64_t remainingKB = maxKB > k ? maxKB - k : 0;
    p.Left = "Time Left: " + MinutesSecondsText(remainingKB * 10 / rate);
    return p;
}

void TQueueProgress::RemoveItem(int64_t bytes)
{
    m_totalKB -= kilobytes(bytes);
    if (m_totalKB < 0)
        m_totalKB = 0;
}

void TQueueProgress::StartItem(int64_t bytes)
{
    m_itemBytes = bytes > 0 ? bytes : 0;
    m_itemKB = kilobytes(bytes);
    m_currentKB = 0;
}

void TQueueProgress::TransferStarted(int64_t nowMs)
{
    if (!m_queueStartMs)
        m_queueStartMs = nowMs;
}

TQueuePanels TQueueProgress::Update(int64_t bytesTransferred, int64_t nowMs)
{
    TQueuePanels p;
    m_currentKB = kilobytes(bytesTransferred);
    p.CurrentFileStatus = std::to_string(m_currentKB) + "k / " + std::to_string(m_itemKB) + "k";
    p.CurrentBarPosition = ProgressBarPosition(bytesTransferred, m_itemBytes);
    const int64_t queueKB = m_currentKB + m_copiedKB;
    p.QueueBarPosition = ProgressBarPosition(queueKB, m_totalKB);
    p.TotalCopied = std::to_string(queueKB) + "k / " + std::to_string(m_totalKB) + " k";
    const int64_t secs = m_queueStartMs ? wholeSeconds(*m_queueStartMs, nowMs) : 0;
    p.Elapsed = MinutesSecondsText(secs);
    // The queue's figures wait until the current file's KB reach its elapsed
    // seconds, as the queue window always has.
    if (secs == 0 || m_currentKB / secs == 0)
        return p;
    p.Speed = SpeedText(queueKB * 10 / secs);
    const int64_t rate = queueKB / secs; // whole KB per second; at least 1 here
    const int64_t remainingKB = m_totalKB > queueKB ? m_totalKB - queueKB : 0;
    p.Left = MinutesSecondsText(remainingKB / rate);
    return p;
}

void TQueueProgress::ItemFinished()
{
    m_copiedKB += m_currentKB;
    m_currentKB = 0;
}

} // namespace plover

// Transfer progress figures for the session window's status bar and progress
// bar, and the background copy queue's statistics. Callers pass times as
// milliseconds of a monotonic clock, so a transfer across midnight or a
// clock change reads right, and tests choose the clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace plover {

// Both progress bars run over this fixed range whatever the file size, so
// neither the bar nor the figures are bound to the old 16-bit control.
inline constexpr int ProgressBarRange = 10000;

// Milliseconds of the steady clock; for callers, never used by the formulas.
[[nodiscard]] int64_t MonotonicMilliseconds();

// done / total scaled to 0..ProgressBarRange, clamped; 0 when total <= 0.
[[nodiscard]] int ProgressBarPosition(int64_t done, int64_t total);
// "m:ss", hours folded into the minutes (3725 s gives "62:05").
[[nodiscard]] std::string MinutesSecondsText(int64_t seconds);
// A rate in tenths of a KB per second as "12.3 k/s"; below 1 KB/s there is no
// leading zero (".5 k/s"). From 10,000 k/s on, in MB per second with one
// decimal ("129.1 MB/s"), so the text stays short enough for its panel.
[[nodiscard]] std::string SpeedText(int64_t rateTenths);
// The rate at which SpeedText turns to MB/s, in tenths of a KB per second.
inline constexpr int64_t MegabyteSpeedFrom = 100000;

// Panel 1's text: whole KB done and in all, "500k / 1000k".
[[nodiscard]] std::string AmountText(int64_t doneBytes, int64_t totalBytes);

struct TTransferPanels {
    std::string Amount;                // panel 1: "500k / 1000k"
    std::optional<std::string> Speed;  // panel 2; nullopt: keep the previous text
    std::string Elapsed;               // panel 3: "Time Elapsed: 0:10"
    std::optional<std::string> Left;   // panel 4; nullopt: keep the previous text
    int BarPosition = 0;               // of ProgressBarRange
};

// The session window's figures for one transfer. The command sets the size
// (ProgressBar1's maximum) before the transfer; FTP1StartTransfer starts the
// clock; each FTP1Transfer asks for the panel texts.
class TTransferProgress final {
public:
    void SetSize(int64_t bytes) { m_size = bytes < 0 ? 0 : bytes; }
    [[nodiscard]] int64_t Size() const { return m_size; }
    void Start(int64_t nowMs) { m_startMs = nowMs; }
    [[nodiscard]] TTransferPanels Update(int64_t bytesTransferred, int64_t nowMs) const;

private:
    int64_t m_size = 0;
    int64_t m_startMs = 0;
};

struct TQueuePanels {
    std::string CurrentFileStatus;     // CurrentFileStatusLabel: "50k / 200k"
    std::string TotalCopied;           // TotalSizeLeft: "150k / 600 k"
    std::string Elapsed;               // TimeElapsedlabel: "0:10"
    std::optional<std::string> Speed;  // CopySpeedLabel; nullopt: keep
    std::optional<std::string> Left;   // TimeLeftLabel; nullopt: keep
    int CurrentBarPosition = 0;        // ProgressBar1, of ProgressBarRange
    int QueueBarPosition = 0;          // ProgressBar2, of ProgressBarRange
};

// The background copy queue's statistics over the whole queue, from the
// start of its first transfer. Sizes are in bytes and held as whole KB, as
// the queue window shows them.
class TQueueProgress final {
public:
    // The queue as made: the sum of the sizes of its items.
    void SetTotal(int64_t bytes) { m_totalKB = bytes < 0 ? 0 : bytes / 1024; }
    // A pending item removed from the queue.
    void RemoveItem(int64_t bytes);
    // Starting an item: its size.
    void StartItem(int64_t bytes);
    // FTP1StartTransfer: the queue's clock starts with its first transfer.
    void TransferStarted(int64_t nowMs);
    TQueuePanels Update(int64_t bytesTransferred, int64_t nowMs);
    // FTP1EndTransfer: the current file's KB count as copied.
    void ItemFinished();

    [[nodiscard]] int64_t TotalKB() const { return m_totalKB; }
    [[nodiscard]] int64_t CopiedKB() const { return m_copiedKB; }

private:
    int64_t m_totalKB = 0;
    int64_t m_copiedKB = 0;
    int64_t m_itemKB = 0;       // ProgressBar1's maximum
    int64_t m_itemBytes = 0;
    int64_t m_currentKB = 0;    // ProgressBar1's position
    std::optional<int64_t> m_queueStartMs;
};

} // namespace plover

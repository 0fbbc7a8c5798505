#pragma once
// What the window of a long copy shows, and from when: the pace of the copy, the time left, the
// bar and the line of megabytes. Portable: the Win32 layer asks these and draws the answers.
#include <cstddef>
#include <cstdint>

namespace runtime {

// A copy runs this long without a window, so a small add-on shows none.
inline constexpr std::uint32_t kProgressDelayMs = 500;

// The pace of one copy from the bytes it has done and a millisecond clock that may wrap.
class CopyPace {
 public:
  explicit CopyPace(std::uint32_t startMs) : startMs_(startMs), sampleMs_(startMs) {}

  // `copied` of `total` bytes are done at `nowMs`. Cheap: called after every block.
  void Update(std::uint32_t nowMs, std::int64_t copied, std::int64_t total);

  // True once the copy has run kProgressDelayMs and, at its pace so far, has as long again to
  // go: a window that would only flash is not shown.
  bool WorthShowing() const;

  // The seconds left at the recent pace, rounded up (1 or more); -1 while the copy has run for
  // less than kProgressDelayMs or has not moved, and 0 once every byte is copied.
  std::int64_t SecondsLeft() const;

  std::uint32_t ElapsedMs() const { return nowMs_ - startMs_; }

 private:
  std::uint32_t startMs_;
  std::uint32_t nowMs_ = 0;
  std::uint32_t sampleMs_;  // when the pace was last taken
  std::int64_t sampleBytes_ = 0;
  std::int64_t copied_ = 0;
  std::int64_t total_ = 0;
  double bytesPerMs_ = 0;  // smoothed over the recent samples; 0 until the first one
  bool updated_ = false;
};

// The bar's position out of kBarSteps: at the end only once every byte is copied, so a full
// bar means the last block is written. An empty or odd total gives 0.
inline constexpr int kBarSteps = 1000;
int BarPosition(std::int64_t copied, std::int64_t total);

// The line under the bar in Windows-1252, "1.234 von 3.072 MB", megabytes of 2^20 bytes with
// the German thousands separator (tenths with a comma below 10 MB), followed by
// " \x96 noch etwa 15 Sekunden" when `secondsLeft` is 1 or more. Written into `out` of `size`
// bytes, zero-terminated, cut to fit; nothing for a size of 0.
void FormatCopyLine(std::int64_t copied, std::int64_t total, std::int64_t secondsLeft, char* out,
                    std::size_t size);

}  // namespace runtime

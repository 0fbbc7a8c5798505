#pragma once
// What the window of a long copy shows, and from when: the pace of the copy, the time left, the
// bar and the line of megabytes. Portable: the Win32 layer asks these and draws the answers.
#include <cstddef>
#include <cstdint>

#include "runtime/wide_text.h"

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

  // The seconds left at the recent pace, rounded up (1 or more); 0 once every byte is copied;
  // -1 while the pace is not known yet: before a second of samples, and while the samples still
  // stray from the smoothed pace by more than a quarter (a page cache filling up makes the
  // first ones far too quick), though no longer than two seconds of samples.
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
  int samples_ = 0;
  bool known_ = false;  // once known, the pace stays known
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

// When the line under the bar changes: at most every kLineMs, so that a screen reader can
// follow it and the eye can read it; the time left in it at most every kTimeLeftMs.
inline constexpr std::uint32_t kLineMs = 500;
inline constexpr std::uint32_t kTimeLeftMs = 1000;

class CopyLinePace {
 public:
  // The line at `nowMs` for `copied` of `total` bytes at `pace`, written into `out` as
  // FormatCopyLine writes it; false (and `out` untouched) while the last line is too recent.
  // The first line and the one of a finished copy are always due.
  bool Due(std::uint32_t nowMs, std::int64_t copied, std::int64_t total, const CopyPace& pace,
           char* out, std::size_t size);

 private:
  bool started_ = false;
  std::uint32_t lineMs_ = 0;      // when the line last changed
  std::uint32_t timeLeftMs_ = 0;  // when the time left was last taken
  std::int64_t secondsLeft_ = -1;
};

// Measures the first `length` characters of `text` in pixels, as the window shows them.
using MeasureText = int (*)(void* context, const wchar_t* text, std::size_t length);

// `name` as it fits into `width` pixels: whole where it fits; else its start and its end with an
// ellipsis (U+2026) between, as much of both as fits (the end, which holds the kind, gets the
// odd character), never half of a UTF-16 pair; the ellipsis alone when nothing more fits.
// Absent when memory runs out.
WideText ShortenInMiddle(const WideText& name, int width, MeasureText measure, void* context);

}  // namespace runtime

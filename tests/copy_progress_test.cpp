// What the window of a long copy shows and from when: the line of megabytes and time left, the
// bar and the pace of the copy. (Its layout is checked on the real window: tests/dialogs.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/copy_progress.h"

namespace {

constexpr std::int64_t kMiB = std::int64_t{1} << 20;
constexpr std::int64_t kGiB = std::int64_t{1} << 30;

std::string Line(std::int64_t copied, std::int64_t total, std::int64_t secondsLeft,
                 std::size_t size = 96) {
  char out[96] = "untouched";
  runtime::FormatCopyLine(copied, total, secondsLeft, out, size);
  return out;
}

TEST(FormatCopyLine, MegabytesAndTimeLeft) {
  const struct {
    std::int64_t copied, total, secondsLeft;
    const char* expected;
  } rows[] = {
      {0, 3 * kGiB, -1, "0 von 3.072 MB"},
      {kMiB - 1, 3 * kGiB, -1, "0 von 3.072 MB"},
      {1234 * kMiB + 5, 3 * kGiB, 0, "1.234 von 3.072 MB"},
      // Past 4 GiB and past a million megabytes: no count of 32 bits.
      {5 * kGiB, 5 * kGiB + 40 * kMiB, 1, "5.120 von 5.160 MB \x96 noch etwa 1 Sekunde"},
      {kGiB, 1024 * kGiB, 7, "1.024 von 1.048.576 MB \x96 noch etwa 7 Sekunden"},
      // The total rounded; the copied part never shows the total before the end.
      {kGiB - 1, kGiB + kMiB / 2, 10, "1.023 von 1.025 MB \x96 noch etwa 10 Sekunden"},
      {kGiB + kMiB / 2, kGiB + kMiB / 2, 0, "1.025 von 1.025 MB"},
      // Below 10 MB in tenths.
      {kMiB / 2, 5 * kMiB, 11, "0,5 von 5,0 MB \x96 noch etwa 15 Sekunden"},
      {9 * kMiB + kMiB / 4, 9 * kMiB + kMiB / 4, 0, "9,3 von 9,3 MB"},
      // Coarser the further off the end is.
      {0, kGiB, 56, "0 von 1.024 MB \x96 noch etwa 1 Minute"},
      {0, kGiB, 59, "0 von 1.024 MB \x96 noch etwa 1 Minute"},
      {0, kGiB, 89, "0 von 1.024 MB \x96 noch etwa 1 Minute"},
      {0, kGiB, 90, "0 von 1.024 MB \x96 noch etwa 2 Minuten"},
      {0, kGiB, 3569, "0 von 1.024 MB \x96 noch etwa 59 Minuten"},
      {0, kGiB, 3570, "0 von 1.024 MB \x96 noch etwa 1 Stunde"},
      {0, kGiB, 3 * 3600 + 1799, "0 von 1.024 MB \x96 noch etwa 3 Stunden"},
      // Odd counts are held to the bounds.
      {-5, kGiB, -1, "0 von 1.024 MB"},
      {2 * kGiB, kGiB, -1, "1.024 von 1.024 MB"},
      {0, 0, -1, "0,0 von 0,0 MB"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Line(row.copied, row.total, row.secondsLeft), row.expected)
        << row.copied << " of " << row.total << ", " << row.secondsLeft << " s";
  }
  EXPECT_EQ(Line(1234 * kMiB, 3 * kGiB, -1, 6), "1.234");  // cut to fit, still terminated
  EXPECT_EQ(Line(0, kGiB, -1, 0), "untouched");
}

TEST(BarPosition, FullOnlyOnceEveryByteIsCopied) {
  const struct {
    std::int64_t copied, total;
    int expected;
  } rows[] = {
      {0, kGiB, 0},        {kGiB / 2, kGiB, 500},         {kGiB - 1, kGiB, 999},
      {kGiB, kGiB, 1000},  {2 * kGiB, kGiB, 1000},        {1, 3, 333},
      {-1, kGiB, 0},       {0, 0, 0},                     {7, -1, 0},
      {5 * kGiB - 1, 5 * kGiB, 999},  // past 32 bits
      {1024 * kGiB - 1, 1024 * kGiB, 999},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(runtime::BarPosition(row.copied, row.total), row.expected)
        << row.copied << " of " << row.total;
  }
}

// A copy at a steady pace of 1 MiB per millisecond, sampled every 10 ms from `start`.
runtime::CopyPace PaceAfter(std::uint32_t start, std::uint32_t ms, std::int64_t total) {
  runtime::CopyPace pace(start);
  for (std::uint32_t t = 0; t <= ms; t += 10) {
    const std::int64_t copied = std::min<std::int64_t>(total, static_cast<std::int64_t>(t) * kMiB);
    pace.Update(start + t, copied, total);
  }
  return pace;
}

TEST(CopyPace, ShowsOnlyWhatIsWorthAWindow) {
  const struct {
    const char* name;
    std::uint32_t ms;
    std::int64_t total;
    bool worth;
  } rows[] = {
      {"too early", 490, 10 * kGiB, false},
      {"long copy after half a second", 500, 10 * kGiB, true},
      {"as long again to go", 500, 1000 * kMiB, true},
      {"nearly done", 500, 900 * kMiB, false},
      {"done", 800, 700 * kMiB, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PaceAfter(1000, row.ms, row.total).WorthShowing(), row.worth) << row.name;
    // The same across the wrap of the clock.
    EXPECT_EQ(PaceAfter(0xFFFFFF00u, row.ms, row.total).WorthShowing(), row.worth) << row.name;
  }
  // A copy that does not move at all is shown, so that the player sees it.
  runtime::CopyPace stuck(0);
  stuck.Update(0, 0, kGiB);
  stuck.Update(600, 0, kGiB);
  EXPECT_TRUE(stuck.WorthShowing());
  EXPECT_EQ(stuck.SecondsLeft(), -1);
}

TEST(CopyPace, SecondsLeftFollowTheRecentPace) {
  EXPECT_EQ(PaceAfter(0, 400, 10 * kGiB).SecondsLeft(), -1);  // not yet estimable
  // 10 GiB at 1 MiB/ms: 10240 ms in all, 9240 ms left after one second.
  EXPECT_EQ(PaceAfter(0, 1000, 10 * kGiB).SecondsLeft(), 10);
  EXPECT_EQ(PaceAfter(0xFFFFFF00u, 1000, 10 * kGiB).SecondsLeft(), 10);
  EXPECT_EQ(PaceAfter(0, 700, 700 * kMiB).SecondsLeft(), 0);

  // The disk slows to a tenth once the page cache is full: the estimate follows within seconds.
  runtime::CopyPace pace(0);
  std::int64_t copied = 0;
  for (std::uint32_t t = 0; t <= 1000; t += 10, copied += 10 * kMiB)
    pace.Update(t, copied, 20 * kGiB);
  const std::int64_t early = pace.SecondsLeft();
  for (std::uint32_t t = 1010; t <= 5000; t += 10, copied += kMiB)
    pace.Update(t, copied, 20 * kGiB);
  const std::int64_t later = pace.SecondsLeft();
  const std::int64_t atSlowPace = (20 * kGiB - copied) / kMiB / 10 / 1000;
  EXPECT_LT(early, 30) << "at 1 MiB/ms";
  EXPECT_GT(later, atSlowPace * 9 / 10) << "at 0.1 MiB/ms, " << atSlowPace << " s left";
}

// The time left shows only once the pace is known: not while the page cache still makes the
// copy look quick, and not from the first second of a copy that keeps changing its pace.
TEST(CopyPace, TimeLeftHeldBackUntilThePaceIsKnown) {
  // 10 MiB per 10 ms for half a second (the cache), then 1 MiB per 10 ms (the disk).
  runtime::CopyPace pace(0);
  std::int64_t copied = 0;
  std::uint32_t knownAt = 0;
  std::int64_t first = -1;
  for (std::uint32_t t = 10; t <= 10000 && knownAt == 0; t += 10) {
    copied += t <= 500 ? 10 * kMiB : kMiB;
    pace.Update(t, copied, 20 * kGiB);
    first = pace.SecondsLeft();
    if (first >= 0) knownAt = t;
  }
  const std::int64_t atDiskPace = (20 * kGiB - copied) / kMiB / 100;
  EXPECT_GE(knownAt, 1000u);
  EXPECT_LE(knownAt, 2000u) << "held back longer than two seconds of samples";
  EXPECT_GT(first, atDiskPace * 2 / 3) << "the first estimate " << first << " s, at the disk's pace "
                                       << atDiskPace << " s";
}

// The line changes at most twice a second, the time left in it at most once a second; the first
// line and the last are shown at once.
TEST(CopyLinePace, TwiceASecondAndTheTimeLeftOnce) {
  runtime::CopyPace pace(0);
  runtime::CopyLinePace line;
  std::vector<std::uint32_t> shown;
  std::vector<std::string> lines;
  constexpr std::int64_t kTotal = 12 * kGiB;
  for (std::uint32_t t = 0; t <= 13000; t += 20) {
    const std::int64_t copied = std::min<std::int64_t>(kTotal, t * kMiB);
    pace.Update(t, copied, kTotal);
    char out[96];
    if (line.Due(t, copied, kTotal, pace, out, sizeof out)) {
      shown.push_back(t);
      lines.push_back(out);
    }
    if (copied >= kTotal) break;
  }
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.front(), 0u);
  EXPECT_EQ(lines.front(), "0 von 12.288 MB");
  EXPECT_EQ(lines.back(), "12.288 von 12.288 MB") << "the end shown as it comes";
  std::string lastTimeLeft;
  std::uint32_t timeLeftAt = 0;
  for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
    EXPECT_GE(shown[i] - shown[i - 1], runtime::kLineMs) << shown[i];
    const std::size_t at = lines[i].find(" noch etwa ");
    const std::string timeLeft = at == std::string::npos ? "" : lines[i].substr(at);
    if (timeLeft != lastTimeLeft && !lastTimeLeft.empty()) {
      EXPECT_GE(shown[i] - timeLeftAt, runtime::kTimeLeftMs) << lines[i];
    }
    if (timeLeft != lastTimeLeft) timeLeftAt = shown[i];
    lastTimeLeft = timeLeft;
  }
  EXPECT_NE(lines[lines.size() / 2].find(" noch etwa "), std::string::npos) << lines[lines.size() / 2];
}

// Each character 7 pixels wide, the ellipsis 9: the window's measure is GetTextExtentPoint32W.
int Measure(void* calls, const wchar_t* text, std::size_t length) {
  ++*static_cast<int*>(calls);
  int width = 0;
  for (std::size_t i = 0; i < length; ++i) width += text[i] == L'\u2026' ? 9 : 7;
  return width;
}

std::wstring Shortened(const std::wstring& name, int width) {
  int calls = 0;
  const runtime::WideText shown =
      runtime::ShortenInMiddle(runtime::WideText(name.c_str()), width, Measure, &calls);
  return std::wstring(shown.CStr(), shown.Length());
}

TEST(ShortenInMiddle, KeepsTheStartAndTheKind) {
  const struct {
    const wchar_t* name;
    int width;
    const wchar_t* shown;
  } rows[] = {
      {L"trains.pak", 70, L"trains.pak"},  // fits exactly
      {L"trains.pak", 69, L"trai\u2026.pak"},
      {L"Die grosse Nordbahn mit allen Zuegen.pak", 100, L"Die gr\u2026gen.pak"},
      {L"abcdefghij.pak", 30, L"a\u2026ak"},
      {L"abcdefghij.pak", 16, L"\u2026k"},
      {L"abcdefghij.pak", 15, L"\u2026"},  // nothing more fits
      {L"abcdefghij.pak", 0, L"\u2026"},
      {L"", 0, L""},
      {L"", -1, L""},
      // A character outside the first plane is two UTF-16 units there: never cut in half.
      {L"ab\xd83d\xde82" L"cdefg.pak", 60, L"ab\u2026.pak"},
      {L"abcdef\xd83d\xde82" L".pak", 79, L"abcde\u2026.pak"},
  };
  for (const auto& row : rows) {
    const std::wstring shown = Shortened(row.name, row.width);
    EXPECT_TRUE(shown == row.shown) << row.width << ": " << shown.size() << " units";
  }
}

}  // namespace

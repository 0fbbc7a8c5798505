#include "runtime/copy_progress.h"

namespace runtime {
namespace {

// The pace is taken anew this often; shorter spans measure the page cache, not the disk.
constexpr std::uint32_t kSampleMs = 250;
// How much a new sample counts against the pace so far: enough to follow a disk that slows
// down once the page cache is full, little enough that the time left does not jump. Until the
// pace is known, new samples count for more: the first ones may be the page cache's.
constexpr double kNewSampleWeight = 0.3;
constexpr double kNewSampleWeightUnknown = 0.6;
// The pace is known after this many samples that agree with it, or after the second count of
// samples whatever they say.
constexpr int kFewestSamples = 4;
constexpr int kMostSamplesUnknown = 8;
constexpr double kSteady = 0.25;
constexpr std::int64_t kMegabyte = std::int64_t{1} << 20;

// Appends to a zero-terminated text in a buffer of `size` bytes, cutting what does not fit.
class Line {
 public:
  Line(char* out, std::size_t size) : out_(out), size_(size) {
    if (size_ > 0) out_[0] = '\0';
  }
  void Add(const char* text) {
    for (; *text != '\0' && length_ + 1 < size_; ++text) out_[length_++] = *text;
    if (size_ > 0) out_[length_] = '\0';
  }
  // A whole number with a dot between each group of three digits, as German writes it.
  void AddNumber(std::int64_t value) {
    char digits[32];
    int count = 0;
    do {
      if (count % 4 == 3) digits[count++] = '.';
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0);
    char text[32];
    for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    Add(text);
  }
  // Tenths of a megabyte as "4,2".
  void AddTenths(std::int64_t tenths) {
    AddNumber(tenths / 10);
    const char fraction[] = {',', static_cast<char>('0' + tenths % 10), '\0'};
    Add(fraction);
  }

 private:
  char* out_;
  std::size_t size_;
  std::size_t length_ = 0;
};

void AddCount(Line& line, std::int64_t count, const char* one, const char* many) {
  line.AddNumber(count);
  line.Add(count == 1 ? one : many);
}

// "15 Sekunden", "3 Minuten", "2 Stunden": finer near the end, where the player watches it.
void AddTimeLeft(Line& line, std::int64_t seconds) {
  if (seconds <= 10) return AddCount(line, seconds, " Sekunde", " Sekunden");
  if (seconds < 60) {
    const std::int64_t fives = (seconds + 4) / 5 * 5;
    if (fives < 60) return AddCount(line, fives, " Sekunde", " Sekunden");
  }
  if (seconds < 3600) {
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60) return AddCount(line, minutes < 1 ? 1 : minutes, " Minute", " Minuten");
  }
  AddCount(line, (seconds + 1800) / 3600, " Stunde", " Stunden");
}

}  // namespace

void CopyPace::Update(std::uint32_t nowMs, std::int64_t copied, std::int64_t total) {
  nowMs_ = nowMs;
  copied_ = copied;
  total_ = total;
  updated_ = true;
  const std::uint32_t span = nowMs - sampleMs_;
  if (span < kSampleMs) return;
  const double pace = static_cast<double>(copied - sampleBytes_) / static_cast<double>(span);
  const double before = bytesPerMs_;
  const double weight = known_ ? kNewSampleWeight : kNewSampleWeightUnknown;
  bytesPerMs_ = bytesPerMs_ <= 0 ? pace : bytesPerMs_ + weight * (pace - bytesPerMs_);
  ++samples_;
  const double stray = pace > before ? pace - before : before - pace;
  if (samples_ >= kMostSamplesUnknown ||
      (samples_ >= kFewestSamples && before > 0 && stray <= kSteady * before)) {
    known_ = true;
  }
  sampleMs_ = nowMs;
  sampleBytes_ = copied;
}

bool CopyPace::WorthShowing() const {
  if (!updated_ || ElapsedMs() < kProgressDelayMs || copied_ >= total_) return false;
  if (copied_ <= 0) return true;  // not moving at all: the player must see that
  // The time to go at the pace so far, against the time it has run.
  const double left = static_cast<double>(total_ - copied_) * static_cast<double>(ElapsedMs());
  return left >= static_cast<double>(copied_) * kProgressDelayMs;
}

std::int64_t CopyPace::SecondsLeft() const {
  if (total_ > 0 && copied_ >= total_) return 0;
  if (!updated_ || !known_ || bytesPerMs_ <= 0) return -1;
  const double ms = static_cast<double>(total_ - copied_) / bytesPerMs_;
  if (ms >= 1e12) return -1;  // no pace worth the name
  const auto seconds = static_cast<std::int64_t>(ms / 1000.0);
  return static_cast<double>(seconds) * 1000.0 < ms ? seconds + 1 : seconds;
}

int BarPosition(std::int64_t copied, std::int64_t total) {
  if (total <= 0 || copied <= 0) return 0;
  if (copied >= total) return kBarSteps;
  // Rounded down, and short of the end while a byte is missing; no add-on comes near the
  // petabytes at which the product would overflow.
  const std::int64_t position = copied * kBarSteps / total;
  return static_cast<int>(position >= kBarSteps ? kBarSteps - 1 : position);
}

void FormatCopyLine(std::int64_t copied, std::int64_t total, std::int64_t secondsLeft, char* out,
                    std::size_t size) {
  Line line(out, size);
  if (copied < 0) copied = 0;
  if (total < 0) total = 0;
  if (copied > total) copied = total;
  if (total < 10 * kMegabyte) {
    const std::int64_t totalTenths = (total * 10 + kMegabyte / 2) / kMegabyte;
    line.AddTenths(copied == total ? totalTenths : copied * 10 / kMegabyte);
    line.Add(" von ");
    line.AddTenths(totalTenths);
  } else {
    const std::int64_t totalMegabytes = (total + kMegabyte / 2) / kMegabyte;
    line.AddNumber(copied == total ? totalMegabytes : copied / kMegabyte);
    line.Add(" von ");
    line.AddNumber(totalMegabytes);
  }
  line.Add(" MB");
  if (secondsLeft >= 1) {
    line.Add(" \x96 noch etwa ");
    AddTimeLeft(line, secondsLeft);
  }
}

bool CopyLinePace::Due(std::uint32_t nowMs, std::int64_t copied, std::int64_t total,
                       const CopyPace& pace, char* out, std::size_t size) {
  const bool finished = total > 0 && copied >= total;
  if (started_ && !finished && nowMs - lineMs_ < kLineMs) return false;
  if (!started_ || finished || nowMs - timeLeftMs_ >= kTimeLeftMs) {
    secondsLeft_ = pace.SecondsLeft();
    timeLeftMs_ = nowMs;
  }
  started_ = true;
  lineMs_ = nowMs;
  FormatCopyLine(copied, total, finished ? 0 : secondsLeft_, out, size);
  return true;
}

WideText ShortenInMiddle(const WideText& name, int width, MeasureText measure, void* context) {
  const std::size_t length = name.Length();
  const wchar_t* text = name.CStr();
  if (length == 0 || measure(context, text, length) <= width) return name;
  const auto high = [](wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  const auto low = [](wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
  const WideText ellipsis(L"\u2026");
  for (std::size_t kept = length - 1; kept > 0; --kept) {
    std::size_t head = kept / 2;
    std::size_t tail = kept - head;
    if (head > 0 && high(text[head - 1])) --head;
    if (tail > 0 && low(text[length - tail])) --tail;
    const WideText shortened =
        WideText(text, head) + ellipsis + WideText(text + length - tail, tail);
    if (shortened.IsAbsent()) return shortened;
    if (measure(context, shortened.CStr(), shortened.Length()) <= width) return shortened;
  }
  return ellipsis;
}

}  // namespace runtime

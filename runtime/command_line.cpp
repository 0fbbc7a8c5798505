#include "runtime/command_line.h"

#include <cstring>

namespace runtime {

// The scan looks at single bytes without the code page's lead bytes, and needs none: the second
// byte of a double-byte character (0x40 and up in 932, 936, 949 and 950) is never a blank or a
// double quote. The same holds for UTF-8, where every byte of a non-ASCII character is 0x80 or
// more, so a command line in UTF-8 splits into the same parameters as in UTF-16.
namespace {

template <typename Char>
struct Token {
  const Char* first = nullptr;
  std::size_t length = 0;
};

template <typename Char>
struct Scan {
  std::int32_t counter = -1;
  bool found = false;
  Token<Char> token;
};

// The split over bytes or UTF-16 units alike: in UTF-16 the blank and the double quote are units
// of their own, never part of another character either.
template <typename Char>
Scan<Char> ScanOver(const Char* line, std::int32_t wanted) {
  Scan<Char> scan;
  if (line == nullptr || *line == '\0') return scan;
  const Char* position = line;
  for (;;) {
    while (*position == ' ') ++position;
    bool haveToken = false;
    Token<Char> token;
    if (*position == '"') {
      // A quoted token runs to the next quote; whatever follows that quote starts a new token.
      const Char* end = position + 1;
      while (*end != '\0' && *end != '"') ++end;
      token.first = position + 1;
      token.length = static_cast<std::size_t>(end - token.first);
      position = *end == '"' ? end + 1 : end;
      haveToken = true;
    } else if (*position != '\0') {
      const Char* end = position;
      while (*end != '\0' && *end != ' ') ++end;
      token.first = position;
      token.length = static_cast<std::size_t>(end - position);
      position = *end == ' ' ? end + 1 : end;
      haveToken = true;
    }
    if (wanted >= 0 && scan.counter == wanted) {
      if (haveToken) {
        scan.found = true;
        scan.token = token;
      }
      return scan;
    }
    if (haveToken) ++scan.counter;
    if (*position == '\0') return scan;
  }
}

}  // namespace

CommandLineScan ScanCommandLine(const char* line, std::int32_t wanted) {
  const Scan<char> found = ScanOver(line, wanted);
  CommandLineScan scan;
  scan.counter = found.counter;
  scan.found = found.found;
  scan.token.first = found.token.first;
  scan.token.length = found.token.length;
  return scan;
}

std::int32_t ParameterCountOf(const char* line) { return ScanCommandLine(line, -1).counter; }

Text NextParameterOf(const char* line, ParameterCursor& cursor) {
  const CommandLineScan scan = ScanCommandLine(line, cursor.nextIndex);
  if (!scan.found) return Text("");
  ++cursor.nextIndex;
  return Text(scan.token.first, scan.token.length);
}

Text JoinedParametersOf(const char* line) {
  ParameterCursor cursor;
  Text joined = "";
  const std::int32_t count = ParameterCountOf(line);
  for (std::int32_t index = 1; index <= count; ++index) {
    joined = joined + " " + NextParameterOf(line, cursor);
  }
  return TrimLeadingSpaces(joined);
}

Text ProgramPathFrom(const char* reported, std::size_t count) {
  if (reported == nullptr) return Text("");
  // Never read past a terminating zero, whatever count the platform reported.
  std::size_t length = 0;
  while (length < count && reported[length] != '\0') ++length;
  if (length >= 4 && std::memcmp(reported, "\\\\?\\", 4) == 0) {
    reported += 4;
    length -= 4;
  }
  return Text(reported, length);
}

WideText JoinedParametersOf(const wchar_t* line) {
  const std::int32_t count = ScanOver(line, -1).counter;
  WideText joined(L"");
  for (std::int32_t index = 0; index < count; ++index) {
    const Token<wchar_t> token = ScanOver(line, index).token;
    joined = joined + WideText(L" ") + WideText(token.first, token.length);
  }
  // The leading blanks trimmed, as TrimLeadingSpaces does.
  std::size_t blanks = 0;
  while (blanks < joined.Length() && joined.CStr()[blanks] == L' ') ++blanks;
  return blanks == 0 || joined.IsAbsent() ? joined
                                          : WideText(joined.CStr() + blanks, joined.Length() - blanks);
}

WideText ProgramPathFrom(const wchar_t* reported, std::size_t count) {
  if (reported == nullptr) return WideText(L"");
  std::size_t length = 0;
  while (length < count && reported[length] != L'\0') ++length;
  if (length >= 4 && reported[0] == L'\\' && reported[1] == L'\\' && reported[2] == L'?' &&
      reported[3] == L'\\') {
    reported += 4;
    length -= 4;
  }
  return WideText(reported, length);
}

ParameterCursor& ProcessParameterCursor() {
  static ParameterCursor cursor;
  return cursor;
}

}  // namespace runtime

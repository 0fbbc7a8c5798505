#include "runtime/command_line.h"

#include <cstring>

namespace runtime {

// The scan looks at single bytes without the code page's lead bytes, and needs none: the second
// byte of a double-byte character (0x40 and up in 932, 936, 949 and 950) is never a blank or a
// double quote. The same holds for UTF-8, where every byte of a non-ASCII character is 0x80 or
// more, so a command line in UTF-8 splits into the same parameters as in UTF-16.
CommandLineScan ScanCommandLine(const char* line, std::int32_t wanted) {
  CommandLineScan scan;
  if (line == nullptr || *line == '\0') return scan;
  const char* position = line;
  for (;;) {
    while (*position == ' ') ++position;
    bool haveToken = false;
    CommandLineToken token;
    if (*position == '"') {
      // A quoted token runs to the next quote; whatever follows that quote starts a new token.
      const char* end = position + 1;
      while (*end != '\0' && *end != '"') ++end;
      token.first = position + 1;
      token.length = static_cast<std::size_t>(end - token.first);
      position = *end == '"' ? end + 1 : end;
      haveToken = true;
    } else if (*position != '\0') {
      const char* end = position;
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

ParameterCursor& ProcessParameterCursor() {
  static ParameterCursor cursor;
  return cursor;
}

}  // namespace runtime

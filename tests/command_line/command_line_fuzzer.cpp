// Any bytes as a command line: the scan must agree with a plain token-list splitter, stay inside
// the line, and hand out exactly the parameters it counted.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/command_line.h"

namespace {

// The same rules written the other way round: a list of tokens, built byte by byte.
std::vector<std::string> ReferenceSplit(const char* line) {
  std::vector<std::string> tokens;
  enum { kBetween, kPlain, kQuoted } state = kBetween;
  for (const char* p = line; *p != '\0'; ++p) {
    const char c = *p;
    if (state == kQuoted) {
      if (c == '"') state = kBetween;
      else tokens.back() += c;
    } else if (c == ' ') {
      state = kBetween;
    } else if (state == kPlain) {
      tokens.back() += c;
    } else if (c == '"') {
      tokens.emplace_back();
      state = kQuoted;
    } else {
      tokens.emplace_back(1, c);
      state = kPlain;
    }
  }
  return tokens;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> line(data, data + size);
  line.push_back('\0');
  const char* begin = line.data();
  const char* end = begin + std::strlen(begin);

  const std::vector<std::string> reference = ReferenceSplit(begin);
  const std::int32_t count = runtime::ParameterCountOf(begin);
  if (count != static_cast<std::int32_t>(reference.size()) - 1) std::abort();

  runtime::ParameterCursor cursor;
  for (std::int32_t i = 0; i < count; ++i) {
    const runtime::CommandLineScan scan = runtime::ScanCommandLine(begin, i);
    if (!scan.found || scan.token.first < begin || scan.token.first + scan.token.length > end) {
      std::abort();
    }
    if (scan.token.length != reference[i + 1].size() ||
        std::memcmp(scan.token.first, reference[i + 1].data(), scan.token.length) != 0) {
      std::abort();
    }
    const runtime::Text handed = runtime::NextParameterOf(begin, cursor);
    if (handed.Length() != scan.token.length ||
        std::memcmp(handed.CStr(), scan.token.first, scan.token.length) != 0) {
      std::abort();
    }
  }
  const std::int32_t handedOut = cursor.nextIndex;
  if (handedOut != (count < 0 ? 0 : count)) std::abort();
  if (!runtime::NextParameterOf(begin, cursor).IsEmpty() || cursor.nextIndex != handedOut) {
    std::abort();
  }
  if (runtime::ScanCommandLine(begin, count < 0 ? 0 : count).found) std::abort();
  return 0;
}

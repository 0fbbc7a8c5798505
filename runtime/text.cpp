#include "runtime/text.h"

#include <cstring>

#include "runtime/memory.h"

namespace runtime {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length up to the first double quote, or the whole rest.
std::size_t LengthBeforeQuote(const char* bytes, const LeadBytes& leadBytes) {
  std::size_t n = 0;
  while (bytes[n] != '\0' && bytes[n] != '"') n += CharacterLength(leadBytes, bytes + n);
  return n;
}

}  // namespace

Text::Text(const char* bytes) : Text(bytes, bytes ? std::strlen(bytes) : 0) {}

Text::Text(const char* bytes, std::size_t length) {
  if (bytes == nullptr) return;
  bytes_ = static_cast<char*>(Allocate(length + 1));
  if (bytes_ == nullptr) return;
  std::memcpy(bytes_, bytes, length);
  length_ = length;
}

Text::Text(const Text& other) : Text(other.bytes_, other.length_) {}

Text::Text(Text&& other) noexcept : bytes_(other.bytes_), length_(other.length_) {
  other.bytes_ = nullptr;
  other.length_ = 0;
}

Text& Text::operator=(const Text& other) {
  if (this != &other) *this = Text(other);
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    Release(bytes_);
    bytes_ = other.bytes_;
    length_ = other.length_;
    other.bytes_ = nullptr;
    other.length_ = 0;
  }
  return *this;
}

Text::~Text() { Release(bytes_); }

Text operator+(const Text& first, const Text& second) {
  const std::size_t total = first.Length() + second.Length();
  char* joined = static_cast<char*>(Allocate(total + 1));
  if (joined == nullptr) return Text();
  std::memcpy(joined, first.CStr(), first.Length());
  std::memcpy(joined + first.Length(), second.CStr(), second.Length());
  Text result(joined, total);
  Release(joined);
  return result;
}

bool operator==(const Text& first, const Text& second) {
  return first.Length() == second.Length() &&
         std::memcmp(first.CStr(), second.CStr(), first.Length()) == 0;
}

Text TrimLeadingSpaces(const Text& text) {
  const char* rest = text.CStr();
  while (*rest == ' ') ++rest;
  return Text(rest);
}

Text LowerCase(const Text& text, const LeadBytes& leadBytes) {
  Text result(text.CStr(), text.Length());
  // Text hands out its bytes read-only; the copy is ours to change in place.
  char* bytes = const_cast<char*>(result.BytesOrNull());
  for (std::size_t i = 0; bytes != nullptr && i < result.Length();) {
    const std::size_t length = CharacterLength(leadBytes, bytes + i);
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (length == 1 && ((b >= 0x41 && b <= 0x5A) || (b >= 0xC0 && b <= 0xDE))) {
      bytes[i] = static_cast<char>(b + 0x20);
    }
    i += length;
  }
  return result;
}

Text PathDirectory(const Text& path, const LeadBytes& leadBytes) {
  const char* start = path.CStr();
  if (*start == '"') ++start;
  const char* end = start;  // just after the last separator seen
  for (const char* p = start; *p != '\0' && *p != '|'; p += CharacterLength(leadBytes, p)) {
    if (IsSeparator(*p)) end = p + 1;
  }
  return Text(start, static_cast<std::size_t>(end - start));
}

Text PathFileName(const Text& path, const LeadBytes& leadBytes) {
  const char* start = path.CStr();
  if (*start == '"') ++start;
  for (const char* p = start; *p != '\0'; p += CharacterLength(leadBytes, p)) {
    if (IsSeparator(*p)) start = p + 1;
  }
  return Text(start, LengthBeforeQuote(start, leadBytes));
}

Text PathExtension(const Text& path, const LeadBytes& leadBytes) {
  // Forwards, since a byte read backwards cannot tell whether it is the second of a pair: the
  // last dot that no separator follows.
  const char* dot = nullptr;
  for (const char* p = path.CStr(); *p != '\0'; p += CharacterLength(leadBytes, p)) {
    if (IsSeparator(*p)) {
      dot = nullptr;
    } else if (*p == '.') {
      dot = p;
    }
  }
  if (dot == nullptr) return Text("");
  return Text(dot + 1, LengthBeforeQuote(dot + 1, leadBytes));
}

bool EndsInSeparator(const Text& path, const LeadBytes& leadBytes) {
  const char* bytes = path.CStr();
  std::size_t last = path.Length();  // where the last character starts; none yet
  for (std::size_t i = 0; i < path.Length(); i += CharacterLength(leadBytes, bytes + i)) last = i;
  return last < path.Length() && IsSeparator(bytes[last]);
}

}  // namespace runtime

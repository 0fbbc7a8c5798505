#pragma once
// Texts and the path rules of the run. A text is an owned, zero-terminated byte string in the
// Windows ANSI code page, or absent (no text at all). An absent text arises only where a copy
// could not be made; every operation here treats it as the empty text. Nothing here looks at
// the file system: only the bytes count.
//
// The rules that look at single bytes take the lead bytes of the ANSI code page: the second byte
// of a double-byte character is never a separator, bar, quote or dot, and LowerCase leaves both
// bytes of such a character alone. Without lead bytes (1252) every byte is a character.
#include <cstddef>

#include "runtime/code_page.h"

namespace runtime {

class Text {
 public:
  Text() noexcept = default;  // absent
  // A copy of the zero-terminated bytes; absent for null or when memory runs out.
  Text(const char* bytes);  // NOLINT(google-explicit-constructor): literals read naturally
  // A copy of `length` bytes, which may hold zero bytes of their own; absent when memory runs
  // out or `bytes` is null.
  Text(const char* bytes, std::size_t length);
  Text(const Text& other);
  Text(Text&& other) noexcept;
  Text& operator=(const Text& other);
  Text& operator=(Text&& other) noexcept;
  ~Text();

  bool IsAbsent() const { return bytes_ == nullptr; }
  bool IsEmpty() const { return length_ == 0; }
  std::size_t Length() const { return length_; }
  // The bytes, zero-terminated; "" for an absent text.
  const char* CStr() const { return bytes_ ? bytes_ : ""; }
  // The bytes, or null for an absent text (for platform calls that must not see an absent text).
  const char* BytesOrNull() const { return bytes_; }

 private:
  char* bytes_ = nullptr;
  std::size_t length_ = 0;
};

// join: the first text followed by the second, with no separator. Absent only when memory
// runs out.
Text operator+(const Text& first, const Text& second);

// Same bytes and same length; case-sensitive. An absent text equals the empty text.
bool operator==(const Text& first, const Text& second);

// The text without its leading space bytes (0x20); tabs and trailing spaces stay.
Text TrimLeadingSpaces(const Text& text);

// A-Z and 0xC0-0xDE raised by 0x20, every other byte unchanged. No locale is consulted.
Text LowerCase(const Text& text, const LeadBytes& leadBytes = kNoLeadBytes);

// The directory part up to and including the last backslash or slash, skipping one opening
// double quote; the walk stops at the first bar (0x7C). Empty when no separator is seen.
Text PathDirectory(const Text& path, const LeadBytes& leadBytes = kNoLeadBytes);

// The part after the last backslash or slash (one opening quote skipped), up to the first
// double quote.
Text PathFileName(const Text& path, const LeadBytes& leadBytes = kNoLeadBytes);

// The part after the last dot of the last path element, up to the first double quote; empty
// when that element has no dot.
Text PathExtension(const Text& path, const LeadBytes& leadBytes = kNoLeadBytes);

// True when the last character is a backslash or a slash; false for the empty text.
bool EndsInSeparator(const Text& path, const LeadBytes& leadBytes = kNoLeadBytes);

}  // namespace runtime

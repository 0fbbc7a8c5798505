#pragma once
// Names as the platform's Unicode calls take them: an owned, zero-terminated UTF-16 string, or
// absent. The run keeps its rules in ANSI texts (runtime/text.h); every name that reaches a file
// or folder goes to the platform in this form, so it spells exactly what the player opened,
// typed or wrote, whatever the ANSI code page can hold.
#include <cstddef>

#include "runtime/text.h"

namespace runtime {

class WideText {
 public:
  WideText() noexcept = default;  // absent
  // A copy of the zero-terminated characters; absent for null or when memory runs out.
  explicit WideText(const wchar_t* characters);
  // A copy of `length` characters; absent when memory runs out or `characters` is null.
  WideText(const wchar_t* characters, std::size_t length);
  WideText(const WideText& other);
  WideText(WideText&& other) noexcept;
  WideText& operator=(const WideText& other);
  WideText& operator=(WideText&& other) noexcept;
  ~WideText();

  bool IsAbsent() const { return characters_ == nullptr; }
  bool IsEmpty() const { return length_ == 0; }
  std::size_t Length() const { return length_; }
  // The characters, zero-terminated; L"" for an absent text.
  const wchar_t* CStr() const { return characters_ ? characters_ : L""; }

 private:
  wchar_t* characters_ = nullptr;
  std::size_t length_ = 0;
};

// The first text followed by the second; absent when either is absent or memory runs out, so a
// name that lost a part never reaches the platform.
WideText operator+(const WideText& first, const WideText& second);

bool operator==(const WideText& first, const WideText& second);

// The directory part up to and including the last backslash or slash, skipping one opening
// double quote; the walk stops at the first bar. PathDirectory's rule.
WideText WidePathDirectory(const WideText& path);

// The part after the last backslash or slash, up to the first double quote: PathFileName's rule.
WideText WidePathFileName(const WideText& path);

// True when the last path element ends in a dot and "pak" in any case of its three letters, and
// nothing else: a name whose letters only look like these (fullwidth ones) is no add-on.
bool HasAddOnExtension(const WideText& path);

// The platform's conversions between the ANSI code page, UTF-8 and UTF-16 (Win32 only).
WideText WideFromAnsi(const Text& ansi);   // absent when memory runs out
WideText WideFromUtf8(const Text& utf8);   // absent when memory runs out
Text Utf8FromWide(const WideText& wide);   // absent when memory runs out
// Windows' best fit into the ANSI code page, as it builds the ANSI command line: a look-alike or
// "?" where the code page has no character.
Text BestFitAnsi(const WideText& wide);
// Into the ANSI code page exactly; absent when a character has no form there.
Text ExactAnsi(const WideText& wide);
// The ANSI command line's form of `wide`, made by the very call with which Windows builds that
// line from the Unicode one (RtlUnicodeStringToAnsiString): a surrogate pair or an unpaired
// surrogate becomes what GetCommandLineA holds. Absent when memory runs out or the text is
// longer than the call takes.
Text CommandLineAnsi(const WideText& wide);

}  // namespace runtime

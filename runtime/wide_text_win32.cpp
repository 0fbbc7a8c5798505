// The platform's conversions for WideText.
#include <windows.h>
#include <winternl.h>

#include "runtime/memory.h"
#include "runtime/wide_text.h"

namespace runtime {
namespace {

WideText WideFrom(UINT codePage, const Text& text) {
  if (text.IsAbsent()) return WideText();
  if (text.IsEmpty()) return WideText(L"");
  const int length = static_cast<int>(text.Length());
  const int size = MultiByteToWideChar(codePage, 0, text.CStr(), length, nullptr, 0);
  if (size <= 0) return WideText();
  auto* wide = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (static_cast<std::size_t>(size) + 1)));
  if (wide == nullptr) return WideText();
  MultiByteToWideChar(codePage, 0, text.CStr(), length, wide, size);
  WideText result(wide, static_cast<std::size_t>(size));
  Release(wide);
  return result;
}

// `wide` in `codePage`. With `exact`, absent when a character has no form there (no look-alike
// is taken). UTF-8, also as the system's ANSI code page, holds every character, and Windows
// refuses both the flag and the question for it.
Text NarrowTo(UINT codePage, const WideText& wide, bool exact) {
  if (wide.IsAbsent()) return Text();
  if (wide.IsEmpty()) return Text("");
  if (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)) exact = false;
  BOOL lost = FALSE;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL* const lostAt = exact ? &lost : nullptr;
  const int length = static_cast<int>(wide.Length());
  const int size =
      WideCharToMultiByte(codePage, flags, wide.CStr(), length, nullptr, 0, nullptr, lostAt);
  if (size <= 0 || lost) return Text();
  auto* bytes = static_cast<char*>(Allocate(static_cast<std::size_t>(size) + 1));
  if (bytes == nullptr) return Text();
  WideCharToMultiByte(codePage, flags, wide.CStr(), length, bytes, size, nullptr, lostAt);
  Text narrow = lost ? Text() : Text(bytes, static_cast<std::size_t>(size));
  Release(bytes);
  return narrow;
}

}  // namespace

WideText WideFromAnsi(const Text& ansi) { return WideFrom(CP_ACP, ansi); }
WideText WideFromUtf8(const Text& utf8) { return WideFrom(CP_UTF8, utf8); }
Text Utf8FromWide(const WideText& wide) { return NarrowTo(CP_UTF8, wide, false); }
Text BestFitAnsi(const WideText& wide) { return NarrowTo(CP_ACP, wide, false); }
Text ExactAnsi(const WideText& wide) { return NarrowTo(CP_ACP, wide, true); }

Text CommandLineAnsi(const WideText& wide) {
  if (wide.IsAbsent()) return Text();
  constexpr std::size_t kLongest = 0x7FFF;  // characters a UNICODE_STRING holds
  if (wide.Length() > kLongest) return Text();
  UNICODE_STRING unicode;
  unicode.Length = unicode.MaximumLength = static_cast<USHORT>(sizeof(wchar_t) * wide.Length());
  unicode.Buffer = const_cast<PWSTR>(wide.CStr());
  ANSI_STRING ansi = {};
  if (RtlUnicodeStringToAnsiString(&ansi, &unicode, TRUE) < 0) return Text();
  Text narrow(ansi.Buffer, ansi.Length);
  RtlFreeAnsiString(&ansi);
  return narrow;
}

}  // namespace runtime

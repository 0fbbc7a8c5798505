#include "runtime/wide_text.h"

#include <cstring>

#include "runtime/memory.h"

namespace runtime {
namespace {

std::size_t LengthOf(const wchar_t* characters) {
  std::size_t length = 0;
  while (characters[length] != L'\0') ++length;
  return length;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

WideText::WideText(const wchar_t* characters)
    : WideText(characters, characters ? LengthOf(characters) : 0) {}

WideText::WideText(const wchar_t* characters, std::size_t length) {
  if (characters == nullptr) return;
  characters_ = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (length + 1)));
  if (characters_ == nullptr) return;
  std::memcpy(characters_, characters, sizeof(wchar_t) * length);
  length_ = length;
}

WideText::WideText(const WideText& other) : WideText(other.characters_, other.length_) {}

WideText::WideText(WideText&& other) noexcept
    : characters_(other.characters_), length_(other.length_) {
  other.characters_ = nullptr;
  other.length_ = 0;
}

WideText& WideText::operator=(const WideText& other) {
  if (this != &other) *this = WideText(other);
  return *this;
}

WideText& WideText::operator=(WideText&& other) noexcept {
  if (this != &other) {
    Release(characters_);
    characters_ = other.characters_;
    length_ = other.length_;
    other.characters_ = nullptr;
    other.length_ = 0;
  }
  return *this;
}

WideText::~WideText() { Release(characters_); }

WideText operator+(const WideText& first, const WideText& second) {
  if (first.IsAbsent() || second.IsAbsent()) return WideText();
  const std::size_t total = first.Length() + second.Length();
  auto* joined = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (total + 1)));
  if (joined == nullptr) return WideText();
  std::memcpy(joined, first.CStr(), sizeof(wchar_t) * first.Length());
  std::memcpy(joined + first.Length(), second.CStr(), sizeof(wchar_t) * second.Length());
  WideText result(joined, total);
  Release(joined);
  return result;
}

bool operator==(const WideText& first, const WideText& second) {
  return first.Length() == second.Length() &&
         std::memcmp(first.CStr(), second.CStr(), sizeof(wchar_t) * first.Length()) == 0;
}

WideText WidePathDirectory(const WideText& path) {
  const wchar_t* characters = path.CStr();
  if (*characters == L'"') ++characters;
  std::size_t length = 0;
  for (std::size_t i = 0; characters[i] != L'\0' && characters[i] != L'|'; ++i) {
    if (IsSeparator(characters[i])) length = i + 1;
  }
  return WideText(characters, length);
}

WideText WidePathFileName(const WideText& path) {
  const wchar_t* characters = path.CStr();
  if (*characters == L'"') ++characters;
  const wchar_t* name = characters;
  for (const wchar_t* c = characters; *c != L'\0'; ++c) {
    if (IsSeparator(*c)) name = c + 1;
  }
  std::size_t length = 0;
  while (name[length] != L'\0' && name[length] != L'"') ++length;
  return WideText(name, length);
}

bool HasAddOnExtension(const WideText& path) {
  const WideText name = WidePathFileName(path);
  const wchar_t* characters = name.CStr();
  const std::size_t length = name.Length();
  const wchar_t* dot = nullptr;
  for (std::size_t i = 0; i < length; ++i) {
    if (characters[i] == L'.') dot = characters + i;
  }
  if (dot == nullptr || characters + length - dot != 4) return false;
  static const wchar_t kLetters[] = L"pak";
  for (int i = 0; i < 3; ++i) {
    const wchar_t c = dot[1 + i];
    if (c != kLetters[i] && c != kLetters[i] - (L'a' - L'A')) return false;
  }
  return true;
}

}  // namespace runtime

#include "runtime/settings_store.h"

#include <cstring>

#include "runtime/byte_search.h"
#include "runtime/memory.h"

namespace runtime {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

char FoldLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

// Whether the `length` bytes spell `prepared`, with only A-Z and a-z matched regardless of case.
bool Spells(const char* bytes, std::size_t length, const char* prepared) {
  std::size_t i = 0;
  for (; prepared[i] != '\0'; ++i) {
    if (i == length || FoldLetter(bytes[i]) != FoldLetter(prepared[i])) return false;
  }
  return i == length;
}

char* CopyOf(const char* bytes, std::size_t length) {
  char* copy = static_cast<char*>(Allocate(length + 1));
  if (copy != nullptr) std::memcpy(copy, bytes, length);
  return copy;
}

// The length of the text from `from` to `to` or to its first zero byte, whichever comes first.
std::size_t TextLength(const char* from, const char* to) {
  return static_cast<std::size_t>(FindByte(from, to, '\0') - from);
}

// Whether only blanks stand between `p` and the start of its line.
bool StartsLine(const char* content, const char* p) {
  while (p > content && IsBlank(p[-1])) --p;
  return p == content || IsLineEnd(p[-1]);
}

}  // namespace

SettingsLine ReadSettingsLine(const char* p, const char* end) {
  SettingsLine line = {};
  const char* const line_end = FindEither(p, end, '\r', '\n');
  line.next = line_end;
  // CR LF, LF and lone CR all end a line, and empty lines vanish.
  while (line.next < end && IsLineEnd(*line.next)) ++line.next;

  while (p < line_end && IsBlank(*p)) ++p;
  if (p == line_end) {
    line.kind = SettingsLineKind::kBlank;
  } else if (*p == ';') {
    ++p;
    if (p < line_end && *p == ' ') ++p;
    line.kind = SettingsLineKind::kComment;
    line.text = p;
    line.text_length = TextLength(p, line_end);
  } else if (*p == '[') {
    const char* name = p + 1;
    line.kind = SettingsLineKind::kGroup;
    line.text = name;
    line.text_length = TextLength(name, FindByte(name, line_end, ']'));
  } else {
    const char* equals = FindByte(p, line_end, '=');
    const char* key_end = equals;
    while (key_end > p && IsBlank(key_end[-1])) --key_end;
    const char* value = equals < line_end ? equals + 1 : line_end;
    while (value < line_end && IsBlank(*value)) ++value;
    line.kind = SettingsLineKind::kEntry;
    line.key = p;
    line.key_length = TextLength(p, key_end);
    line.text = value;
    line.text_length = TextLength(value, line_end);
  }
  return line;
}

bool IsUtf8ByteOrderMark(const char* three) {
  return static_cast<unsigned char>(three[0]) == 0xEF &&
         static_cast<unsigned char>(three[1]) == 0xBB &&
         static_cast<unsigned char>(three[2]) == 0xBF;
}

void Latin1ToUtf8(const char* in, char* out) {
  for (; *in != '\0'; ++in) {
    const auto b = static_cast<unsigned char>(*in);
    if (b < 0x80) {
      *out++ = static_cast<char>(b);
    } else {
      *out++ = static_cast<char>(0xC0 + (b >> 6));
      *out++ = static_cast<char>(0x80 + (b & 0x3F));
    }
  }
  *out = '\0';
}

bool Utf8ToLatin1(const char* in, char* out) { return Utf8ToLatin1(in, std::strlen(in), out); }

bool Utf8ToLatin1(const char* in, std::size_t remaining, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  while (remaining > 0) {
    const unsigned char lead = *p;
    std::size_t length = 1;
    unsigned code = lead;
    if (lead >= 0x80) {
      if (lead <= 0xBF || lead >= 0xF8) return false;
      if (lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu;
      } else if (lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu;
      } else {
        length = 4, code = lead & 0x07u;
      }
      if (remaining < length) break;  // cut off at the end: dropped
      for (std::size_t i = 1; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return false;
        code = (code << 6) | (p[i] & 0x3Fu);
      }
      if (code > 0xFF) return false;
    }
    *out++ = static_cast<char>(code);
    p += length;
    remaining -= length;
  }
  *out = '\0';
  return true;
}

bool SettingsStore::OpenWithoutFile(const Text& path) {
  remembered_path_ = CopyOf(path.CStr(), path.Length());
  return remembered_path_ != nullptr;
}

void SettingsStore::OpenWithFile(std::int32_t encoding) {
  has_file_ = true;
  encoding_ = encoding;
}

char* SettingsStore::ReserveContent(std::size_t size) {
  Release(content_);
  content_ = nullptr;
  content_size_ = 0;
  // The two zero bytes behind the content must fit as well.
  if (size == 0 || size > static_cast<std::size_t>(-1) - 2) return nullptr;
  content_ = static_cast<char*>(Allocate(size + 2));
  if (content_ != nullptr) content_size_ = size;
  return content_;
}

void SettingsStore::TakeContent(std::size_t length) {
  if (content_ == nullptr) return;
  if (length > content_size_) length = content_size_;
  content_size_ = length;
  content_[length] = '\0';
  content_[length + 1] = '\0';
}

char* SettingsStore::Prepare(const Text& name) const {
  if (encoding_ != kSettingsUtf8) return CopyOf(name.CStr(), std::strlen(name.CStr()));
  char* utf8 = static_cast<char*>(Allocate(2 * name.Length() + 1));
  if (utf8 != nullptr) Latin1ToUtf8(name.CStr(), utf8);
  return utf8;
}

// Group headers are few and far between: only a "[" with nothing but blanks before it on its
// line is read as a line.
const char* SettingsStore::FindGroup(const char* prepared) const {
  if (content_ == nullptr) return nullptr;
  const char* const end = content_ + content_size_;
  for (const char* p = content_; (p = FindByte(p, end, '[')) < end; ++p) {
    if (!StartsLine(content_, p)) continue;
    const SettingsLine header = ReadSettingsLine(p, end);
    if (Spells(header.text, header.text_length, prepared)) return header.next;
  }
  return nullptr;
}

std::int32_t SettingsStore::SelectGroup(const Text& name) {
  if (!IsOpen()) {
    Release(missing_group_);
    missing_group_ = nullptr;
    return 0;
  }
  if (name.CStr()[0] == '\0') {
    group_lines_ = 0;
    Release(missing_group_);
    missing_group_ = nullptr;
    return 1;
  }
  char* prepared = Prepare(name);
  if (prepared == nullptr) return 0;
  if (const char* lines = FindGroup(prepared)) {
    group_lines_ = static_cast<std::size_t>(lines - content_);
    Release(missing_group_);
    missing_group_ = nullptr;
    Release(prepared);
    return 1;
  }
  Release(missing_group_);
  missing_group_ = prepared;
  return 0;
}

// The search ends at the next group header: later groups, and a later header of the same
// name, are never seen.
bool SettingsStore::FindEntry(const char* preparedKey, SettingsLine* entry) const {
  if (content_ == nullptr) return false;
  const char* const end = content_ + content_size_;
  for (const char* p = content_ + group_lines_; p < end; p = entry->next) {
    *entry = ReadSettingsLine(p, end);
    if (entry->kind == SettingsLineKind::kGroup) return false;
    if (entry->kind == SettingsLineKind::kEntry &&
        Spells(entry->key, entry->key_length, preparedKey)) {
      return true;
    }
  }
  return false;
}

Text SettingsStore::Read(const Text& key, const Text& defaultValue) const {
  // The default goes back untouched; an absent one comes back as the empty text.
  const auto fallback = [&defaultValue] {
    return Text(defaultValue.CStr(), defaultValue.Length());
  };
  if (!IsOpen() || missing_group_ != nullptr) return fallback();
  char* prepared = Prepare(key);
  if (prepared == nullptr) return fallback();
  SettingsLine entry = {};
  const bool found = FindEntry(prepared, &entry);
  Release(prepared);
  if (!found) return fallback();

  const char* value = entry.text;
  std::size_t length = entry.text_length;
  char* decoded = nullptr;
  if (encoding_ == kSettingsUtf8) {
    decoded = static_cast<char*>(Allocate(length + 1));
    if (decoded == nullptr) return Text();
    const bool ok = decoder_ != nullptr ? decoder_(value, length, decoded)
                                        : Utf8ToLatin1(value, length, decoded);
    if (!ok) decoded[0] = '\0';
    value = decoded;
    length = std::strlen(decoded);
  }
  while (length > 0 && IsBlank(value[length - 1])) --length;
  Text result(value, length);
  Release(decoded);
  return result;
}

void SettingsStore::Close() {
  Release(content_);
  Release(missing_group_);
  Release(remembered_path_);
  has_file_ = false;
  remembered_path_ = nullptr;
  content_ = nullptr;
  content_size_ = 0;
  encoding_ = kSettingsPlain;
  group_lines_ = 0;
  missing_group_ = nullptr;
}

std::int32_t OpenSettingsBytes(SettingsStore& store, const char* bytes, std::size_t length) {
  store.Close();
  std::int32_t encoding = kSettingsPlain;
  if (length >= 3 && IsUtf8ByteOrderMark(bytes)) {
    encoding = kSettingsUtf8;
    bytes += 3;
    length -= 3;
  }
  store.OpenWithFile(encoding);
  char* room = store.ReserveContent(length);
  if (room == nullptr) return 1;
  std::memcpy(room, bytes, length);
  store.TakeContent(length);
  return 1;
}

}  // namespace runtime

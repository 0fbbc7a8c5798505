#include "tests/settings/reference/settings_store.h"

#include <cstdlib>
#include <cstring>

#include "runtime/memory.h"

namespace reference {

using runtime::Allocate;
using runtime::Release;
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

char FoldLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

// Same length and bytes, with only A-Z and a-z matched regardless of case.
bool NamesEqual(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldLetter(*a) != FoldLetter(*b)) return false;
  }
  return *a == *b;
}

char* CopyOf(const char* bytes, std::size_t length) {
  char* copy = static_cast<char*>(Allocate(length + 1));
  if (copy != nullptr) std::memcpy(copy, bytes, length);
  return copy;
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

}  // namespace

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

bool Utf8ToLatin1(const char* in, char* out) {
  std::size_t remaining = std::strlen(in);
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

SettingsRecord* SettingsStore::NewRecord() {
  constexpr std::size_t kLargestBlock = 4096;
  if (blocks_ == nullptr || blocks_->used == blocks_->capacity) {
    const std::size_t capacity =
        blocks_ == nullptr ? 1 : (blocks_->capacity < kLargestBlock ? 2 * blocks_->capacity
                                                                     : kLargestBlock);
    auto* block = static_cast<SettingsRecordBlock*>(
        std::calloc(1, sizeof(SettingsRecordBlock) + capacity * sizeof(SettingsRecord)));
    if (block == nullptr) return nullptr;
    block->capacity = capacity;
    block->next = blocks_;
    blocks_ = block;
  }
  return &blocks_->Records()[blocks_->used++];
}

bool SettingsStore::AppendRecord(SettingsRecordKind kind, const char* key, const char* text) {
  SettingsRecord* record = NewRecord();
  if (record == nullptr) return false;
  record->kind = kind;
  record->key = key;
  record->text = text;
  record->previous = last_;
  if (last_ != nullptr) {
    last_->next = record;
  } else {
    first_ = record;
  }
  last_ = record;
  return true;
}

void SettingsStore::TakeContent(std::size_t length) {
  if (content_ == nullptr) return;
  if (length > content_size_) length = content_size_;
  content_size_ = length;
  char* const end = content_ + length;
  end[0] = '\0';
  end[1] = '\0';

  char* p = content_;
  while (p < end) {
    char* line_end = p;
    while (line_end < end && !IsLineEnd(*line_end)) ++line_end;
    // The next line starts behind every CR and LF, so empty lines vanish.
    char* next = line_end;
    while (next < end && IsLineEnd(*next)) ++next;
    *line_end = '\0';

    while (p < line_end && IsBlank(*p)) ++p;
    bool stored = true;
    if (p == line_end) {
      // blank: no record
    } else if (*p == ';') {
      ++p;
      if (*p == ' ') ++p;
      stored = AppendRecord(SettingsRecordKind::kComment, nullptr, p);
    } else if (*p == '[') {
      char* name = p + 1;
      char* close = name;
      while (close < line_end && *close != ']') ++close;
      *close = '\0';
      stored = AppendRecord(SettingsRecordKind::kGroup, nullptr, name);
    } else {
      char* equals = p;
      while (equals < line_end && *equals != '=') ++equals;
      char* key_end = equals;
      while (key_end > p && IsBlank(key_end[-1])) --key_end;
      char* value = equals < line_end ? equals + 1 : line_end;
      while (value < line_end && IsBlank(*value)) ++value;
      *key_end = '\0';
      stored = AppendRecord(SettingsRecordKind::kEntry, p, value);
    }
    // Without its record a group header would hand its entries to the group before it.
    if (!stored) return;
    p = next;
  }
}

char* SettingsStore::Prepare(const Text& name) const {
  if (encoding_ != kSettingsUtf8) return CopyOf(name.CStr(), std::strlen(name.CStr()));
  char* utf8 = static_cast<char*>(Allocate(2 * name.Length() + 1));
  if (utf8 != nullptr) Latin1ToUtf8(name.CStr(), utf8);
  return utf8;
}

std::int32_t SettingsStore::SelectGroup(const Text& name) {
  if (!IsOpen()) {
    Release(missing_group_);
    missing_group_ = nullptr;
    return 0;
  }
  if (name.CStr()[0] == '\0') {
    current_group_ = nullptr;
    Release(missing_group_);
    missing_group_ = nullptr;
    return 1;
  }
  char* prepared = Prepare(name);
  if (prepared == nullptr) return 0;
  for (const SettingsRecord* r = first_; r != nullptr; r = r->next) {
    if (r->kind == SettingsRecordKind::kGroup && NamesEqual(r->text, prepared)) {
      current_group_ = r;
      Release(missing_group_);
      missing_group_ = nullptr;
      Release(prepared);
      return 1;
    }
  }
  Release(missing_group_);
  missing_group_ = prepared;
  return 0;
}

const SettingsRecord* SettingsStore::FindEntry(const char* preparedKey) const {
  const SettingsRecord* r = current_group_ != nullptr ? current_group_->next : first_;
  for (; r != nullptr && r->kind != SettingsRecordKind::kGroup; r = r->next) {
    if (r->kind == SettingsRecordKind::kEntry && NamesEqual(r->key, preparedKey)) return r;
  }
  return nullptr;
}

Text SettingsStore::Read(const Text& key, const Text& defaultValue) const {
  // The default goes back untouched; an absent one comes back as the empty text.
  const auto fallback = [&defaultValue] {
    return Text(defaultValue.CStr(), defaultValue.Length());
  };
  if (!IsOpen() || missing_group_ != nullptr) return fallback();
  char* prepared = Prepare(key);
  if (prepared == nullptr) return fallback();
  const SettingsRecord* entry = FindEntry(prepared);
  Release(prepared);
  if (entry == nullptr) return fallback();

  const char* value = SkipBlanks(entry->text);
  char* decoded = nullptr;
  if (encoding_ == kSettingsUtf8) {
    decoded = static_cast<char*>(Allocate(std::strlen(value) + 1));
    if (decoded == nullptr) return Text();
    if (!Utf8ToLatin1(value, decoded)) decoded[0] = '\0';
    value = decoded;
  }
  std::size_t length = std::strlen(value);
  while (length > 0 && IsBlank(value[length - 1])) --length;
  Text result(value, length);
  Release(decoded);
  return result;
}

void SettingsStore::Close() {
  Release(content_);
  while (blocks_ != nullptr) {
    SettingsRecordBlock* next = blocks_->next;
    std::free(blocks_);
    blocks_ = next;
  }
  Release(missing_group_);
  Release(remembered_path_);
  has_file_ = false;
  remembered_path_ = nullptr;
  content_ = nullptr;
  content_size_ = 0;
  encoding_ = kSettingsPlain;
  first_ = nullptr;
  last_ = nullptr;
  current_group_ = nullptr;
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

}  // namespace reference

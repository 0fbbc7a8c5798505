#pragma once
// The earlier settings store, kept only as the reference that the differential fuzzer holds the
// runtime's store against: it parses the whole content at open into a linked list of line
// records, cutting the texts in place with zero bytes. Its answers define the file's rules.
//
// One change from its days in the runtime: record blocks come from the C heap, not from
// runtime::Allocate, so an allocation failure armed by a test hits the same allocations (content,
// remembered path, prepared names and keys, decoded values, texts) in both stores.
#include <cstddef>
#include <cstdint>

#include "runtime/text.h"

namespace reference {

using runtime::Text;

inline constexpr std::int32_t kSettingsPlain = 0;     // 8-bit text, used without conversion
inline constexpr std::int32_t kSettingsUtf8 = 65001;  // the file began with EF BB BF

enum class SettingsRecordKind : std::int32_t { kGroup = 1, kComment = 2, kEntry = 3 };

// One line that is not blank. `key` is set for entries only; `text` is the group name, the
// comment text or the entry's raw value (leading blanks skipped, trailing blanks kept).
struct SettingsRecord {
  SettingsRecord* next;
  SettingsRecord* previous;
  SettingsRecordKind kind;
  const char* key;
  const char* text;
};

// Records are carved from blocks that double in size (1, 2, 4, ... records), so a file of many
// lines costs few allocations and a small one wastes nothing. Each block is zero-filled.
struct SettingsRecordBlock {
  SettingsRecordBlock* next;
  std::size_t capacity;
  std::size_t used;
  SettingsRecord* Records() { return reinterpret_cast<SettingsRecord*>(this + 1); }
};

// True when the three bytes are the UTF-8 byte-order mark EF BB BF.
bool IsUtf8ByteOrderMark(const char* three);

class SettingsStore {
 public:
  constexpr SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;
  ~SettingsStore() { Close(); }

  // Open with a file or open without one (a path is remembered).
  bool IsOpen() const { return has_file_ || remembered_path_ != nullptr; }
  bool HasFile() const { return has_file_; }
  std::int32_t Encoding() const { return encoding_; }
  const SettingsRecord* FirstRecord() const { return first_; }
  // The path kept when no file could be opened; null otherwise.
  const char* RememberedPath() const { return remembered_path_; }

  // Opens without a file, keeping a copy of `path`. False when memory for the copy runs out;
  // the store then stays closed. The store must be closed before.
  bool OpenWithoutFile(const Text& path);
  // Opens with a file of the given encoding and no content yet. The store must be closed before.
  void OpenWithFile(std::int32_t encoding);
  // Room for `size` content bytes and the two zero bytes behind them, owned by the store; null
  // when memory runs out or `size` is 0 (the store then has no records).
  char* ReserveContent(std::size_t size);
  // The first `length` bytes of the reserved room are the content (`length` is at most the
  // reserved size): parse them into records. A record that cannot be allocated ends the
  // parse; the records built so far stay.
  void TakeContent(std::size_t length);

  // 0 on a closed store. 1 for the empty name (the top level) or an existing group; 0 when no
  // such group exists (every read then yields its default) or memory for the name runs out.
  std::int32_t SelectGroup(const Text& name);
  // The value of `key` in the current group, without blanks at either end (decoded to 8-bit
  // text in a UTF-8 store; empty when that fails); a copy of `defaultValue` when not found.
  Text Read(const Text& key, const Text& defaultValue) const;

  // Releases everything the store owns and makes it closed. Does nothing on a closed store.
  void Close();

 private:
  // The caller's 8-bit name or key as the file spells it: a copy, or its UTF-8 form.
  char* Prepare(const Text& name) const;
  const SettingsRecord* FindEntry(const char* preparedKey) const;
  bool AppendRecord(SettingsRecordKind kind, const char* key, const char* text);
  SettingsRecord* NewRecord();

  bool has_file_ = false;
  char* remembered_path_ = nullptr;
  char* content_ = nullptr;
  std::size_t content_size_ = 0;  // the content end, before the two zero bytes
  std::int32_t encoding_ = kSettingsPlain;
  SettingsRecord* first_ = nullptr;
  SettingsRecord* last_ = nullptr;
  SettingsRecordBlock* blocks_ = nullptr;  // the newest block first
  const SettingsRecord* current_group_ = nullptr;  // null: the top level
  char* missing_group_ = nullptr;
};

// Opens `store` over the bytes of a whole settings file, as OpenSettings does over a file that
// it has read: the store is closed first, a leading EF BB BF makes it a UTF-8 store, and the
// rest is copied and parsed. 1 (a file was opened), also when memory for the content runs out.
std::int32_t OpenSettingsBytes(SettingsStore& store, const char* bytes, std::size_t length);

// 8-bit text (ISO 8859-1) to UTF-8; `out` needs room for twice the input and a zero byte.
void Latin1ToUtf8(const char* in, char* out);
// UTF-8 to 8-bit text: false for a stray continuation byte, a bad byte inside a sequence or a
// code point above U+00FF. An incomplete sequence at the end is dropped. `out` needs room for
// the input's length and a zero byte; the output ends at the first decoded zero byte.
bool Utf8ToLatin1(const char* in, char* out);

}  // namespace reference

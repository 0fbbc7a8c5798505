#pragma once
// The portable half of the settings store: the file's content and its lookups. It never
// touches the disk; the platform layer (settings_win32.cpp) opens the file, reads it into the
// room this store reserves and hands the bytes over. Tests and fuzzers feed bytes through
// OpenSettingsBytes instead.
//
// The content is kept exactly as read, in one buffer followed by two zero bytes, and nothing
// is built from it at open: selecting a group looks for its header line, and a lookup reads
// the lines of the current group one by one. Opening a large file costs little more than
// reading it, and the store holds no more than the file's bytes.
//
// Every text of a line ends at its first zero byte, as though the line were cut there.
#include <cstddef>
#include <cstdint>

#include "runtime/text.h"

namespace runtime {

inline constexpr std::int32_t kSettingsPlain = 0;     // 8-bit text, used without conversion
inline constexpr std::int32_t kSettingsUtf8 = 65001;  // the file began with EF BB BF

enum class SettingsLineKind : std::int32_t { kBlank = 0, kGroup = 1, kComment = 2, kEntry = 3 };

// One line of the content, as the rules read it. `key` is set for entries only; `text` is the
// group name, the comment text or the entry's raw value (leading blanks skipped, trailing
// blanks kept). Texts point into the content and end at their first zero byte.
struct SettingsLine {
  SettingsLineKind kind;
  const char* key;
  std::size_t key_length;
  const char* text;
  std::size_t text_length;
  const char* next;  // the start of the following line, behind every CR and LF
};

// The line that starts at `line` (the content's start or the `next` of a line before it),
// within content that ends at `end`.
SettingsLine ReadSettingsLine(const char* line, const char* end);

// True when the three bytes are the UTF-8 byte-order mark EF BB BF.
bool IsUtf8ByteOrderMark(const char* three);

// Turns `length` bytes of UTF-8 into 8-bit text of the system's ANSI code page in `out`, which has
// room for `length` bytes and a zero byte: false when the bytes are no UTF-8 or a character has
// no form in that code page. The output ends at the first decoded zero byte.
using Utf8Decoder = bool (*)(const char* in, std::size_t length, char* out);

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
  // The content after any byte-order mark; null with size 0 when there is none.
  const char* Content() const { return content_; }
  std::size_t ContentSize() const { return content_size_; }
  // The path kept when no file could be opened; null otherwise.
  const char* RememberedPath() const { return remembered_path_; }

  // Opens without a file, keeping a copy of `path`. False when memory for the copy runs out;
  // the store then stays closed. The store must be closed before.
  bool OpenWithoutFile(const Text& path);
  // Opens with a file of the given encoding and no content yet. The store must be closed before.
  void OpenWithFile(std::int32_t encoding);
  // Room for `size` content bytes and the two zero bytes behind them, owned by the store; null
  // when memory runs out or `size` is 0 (the store then has no content).
  char* ReserveContent(std::size_t size);
  // The first `length` bytes of the reserved room are the content (`length` is at most the
  // reserved size).
  void TakeContent(std::size_t length);

  // 0 on a closed store. 1 for the empty name (the top level) or an existing group; 0 when no
  // such group exists (every read then yields its default) or memory for the name runs out.
  std::int32_t SelectGroup(const Text& name);
  // The value of `key` in the current group, without blanks at either end (decoded to 8-bit
  // text in a UTF-8 store; empty when that fails); a copy of `defaultValue` when not found.
  Text Read(const Text& key, const Text& defaultValue) const;

  // How a UTF-8 store decodes its values from now on; null, as at the start, is ISO 8859-1
  // (Utf8ToLatin1), the 8-bit text of a system whose code page is 1252. Kept when the store
  // closes.
  void SetDecoder(Utf8Decoder decoder) { decoder_ = decoder; }

  // Releases everything the store owns and makes it closed. Does nothing on a closed store.
  void Close();

 private:
  // The caller's 8-bit name or key as the file spells it: a copy, or its UTF-8 form.
  char* Prepare(const Text& name) const;
  // Where the lines of the first group named `prepared` start; null when there is none.
  const char* FindGroup(const char* prepared) const;
  bool FindEntry(const char* preparedKey, SettingsLine* entry) const;

  bool has_file_ = false;
  char* remembered_path_ = nullptr;
  char* content_ = nullptr;
  std::size_t content_size_ = 0;  // the content end, before the two zero bytes
  std::int32_t encoding_ = kSettingsPlain;
  // Where the current group's lines start in the content; 0 for the top level (a group's
  // lines always start behind its header).
  std::size_t group_lines_ = 0;
  char* missing_group_ = nullptr;
  Utf8Decoder decoder_ = nullptr;
};

// Opens `store` over the bytes of a whole settings file, as OpenSettings does over a file that
// it has read: the store is closed first, a leading EF BB BF makes it a UTF-8 store, and the
// rest is copied. 1 (a file was opened), also when memory for the content runs out.
std::int32_t OpenSettingsBytes(SettingsStore& store, const char* bytes, std::size_t length);

// 8-bit text (ISO 8859-1) to UTF-8; `out` needs room for twice the input and a zero byte.
void Latin1ToUtf8(const char* in, char* out);
// UTF-8 to 8-bit text: false for a stray continuation byte, a bad byte inside a sequence or a
// code point above U+00FF. An incomplete sequence at the end is dropped. `out` needs room for
// the input's length and a zero byte; the output ends at the first decoded zero byte.
bool Utf8ToLatin1(const char* in, char* out);
// The same over `length` bytes that need not end in a zero byte.
bool Utf8ToLatin1(const char* in, std::size_t length, char* out);

}  // namespace runtime

#pragma once
// The read-only settings store: one line-oriented file of [groups] and key=value entries, read
// whole into one buffer whose lines are read where a lookup needs them. Lookups are confined to
// the selected group and fold only the letters A to Z. Nothing here ever writes, creates or
// truncates the file.
//
// There is one store per process; the four operations act on it.
#include <cstdint>

#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// Closes any open store, then opens the existing file at `path`, sharing it for reading only.
// Non-zero when a file was opened (also an empty one); 0 when none could be, after which the
// store is open without a file and every read yields its default.
std::int32_t OpenSettings(const Text& path);
// The same for a path in UTF-16, which reaches the file whatever the ANSI code page can hold.
std::int32_t OpenSettings(const WideText& path);

// 0 on a closed store. Otherwise 1 when `group` is empty (the top level) or exists, and 0 when
// it does not exist (every read then yields its default) or memory for the name runs out.
std::int32_t SelectSettingsGroup(const Text& group);

// The value of `key` in the current group, blanks at both ends removed; a copy of
// `defaultValue`, exactly as passed, when the key is not found.
Text ReadSetting(const Text& key, const Text& defaultValue);

// Releases the store and the file; does nothing on a closed store. Writes nothing.
void CloseSettings();

}  // namespace runtime

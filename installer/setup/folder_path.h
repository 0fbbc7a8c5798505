#pragma once
// The folder names of a full path with a drive, as FolderGuard.exe goes down it one folder at a
// time. Portable: no platform calls.
#include <cstddef>

namespace setup {

// Where the names of `path` begin: 3 for a path that begins with a drive letter, a colon and a
// backslash ("C:\Program Files"); 0 for any other path (relative, "C:folder", a share, empty).
std::size_t FirstNameAt(const wchar_t* path);

// The name at or after `at` (runs of backslashes before it are skipped): true with the name in
// [*begin, *end) of `path`; false when no name follows, as at the end of "C:\" or "C:\A\\".
bool NextName(const wchar_t* path, std::size_t at, std::size_t* begin, std::size_t* end);

}  // namespace setup

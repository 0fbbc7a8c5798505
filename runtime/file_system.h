#pragma once
// Existence, kind and size of paths, copying one file, and the working directory. Nothing
// here shows a message: each operation reports through its result alone.
#include <cstdint>

#include "runtime/text.h"

namespace runtime {

// 0 or more: a file's size in bytes.
inline constexpr std::int64_t kNothingFound = -1;  // nothing under the path, or no such drive
inline constexpr std::int64_t kDirectory = -2;     // a directory, or the root of a drive

// The platform calls behind QueryFileSize, so that the one situation Wine cannot make (the
// root of a network share) can be stood in for. Every path is zero-terminated.
struct FileQueryCalls {
  unsigned (*driveType)(const char* root);  // GetDriveTypeA
  // FindFirstFileA + FindClose: true when an entry matched; fills its attributes and size.
  bool (*findFirst)(const char* path, std::uint32_t* attributes, std::uint32_t* sizeHigh,
                    std::uint32_t* sizeLow);
  std::uint32_t (*attributes)(const char* path);  // GetFileAttributesA
};

// The size query over the given calls: -1, -2 or the file's size (see above). Looks at no
// more than the first 260 characters of the path and allocates nothing. Trailing backslashes
// are dropped before the search; with `leadBytes`, never the second byte of a character.
std::int64_t QueryFileSizeWith(const FileQueryCalls& calls, const Text& path,
                               const LeadBytes& leadBytes = kNoLeadBytes);

// QueryFileSizeWith over the platform's own calls.
std::int64_t QueryFileSize(const Text& path);

// Copies `source` over `destination`. The new file is written beside the destination first, its
// data flushed to the disk, and then put in its place in one step, so neither a copy that fails
// part-way nor a power cut after success leaves an older destination file damaged. The new file
// is reached only through one handle from its creation to its rename, and is marked for deletion
// until just before that rename: a failed copy, or a process killed part-way, leaves nothing
// behind. Non-zero only when the destination holds the complete new file; 0 at once for an
// absent path. The new file takes over the source's last-write time and its attributes except
// read-only and hidden. A destination that is a folder, or a file marked read-only or hidden, is
// not overwritten (0), as the platform's own copy refuses them. The temporary file is named "~"
// and hexadecimal digits, no longer than the destination's own name when that has 4 characters
// or more. A destination that another program holds open is waited for up to about two seconds
// before the copy gives 0.
// `fileName`, when given, is the destination's own name in UTF-16 for a name that the ANSI code
// page cannot hold: every step that reaches the destination file itself uses it in place of the
// last element of `destination`, whose folder part still places the temporary file.
std::int32_t DuplicateFile(const Text& source, const Text& destination,
                           const wchar_t* fileName = nullptr);

// The process's current directory, always ending in a backslash; empty when the platform fails.
Text WorkingDirectory();

// Makes `path` the current directory, unchanged. Non-zero on success; 0 for an absent path.
std::int32_t SetWorkingDirectory(const Text& path);

}  // namespace runtime

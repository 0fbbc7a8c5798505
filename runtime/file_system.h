#pragma once
// Existence, kind and size of paths, copying one file, and the working directory. Nothing
// here shows a message: each operation reports through its result alone.
#include <cstddef>
#include <cstdint>

#include "runtime/text.h"
#include "runtime/wide_text.h"

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

// The same calls for UTF-16 paths (GetDriveTypeW, FindFirstFileW, GetFileAttributesW).
struct WideFileQueryCalls {
  unsigned (*driveType)(const wchar_t* root);
  bool (*findFirst)(const wchar_t* path, std::uint32_t* attributes, std::uint32_t* sizeHigh,
                    std::uint32_t* sizeLow);
  std::uint32_t (*attributes)(const wchar_t* path);
};

// The size query's rules over a UTF-16 path, the same results. The name reaches the file it
// spells, whatever the ANSI code page can hold. A path of more than 260 UTF-16 units, trailing
// backslashes aside, is never cut: nothing is found (-1), and no call is made.
std::int64_t QueryFileSizeWith(const WideFileQueryCalls& calls, const WideText& path);
std::int64_t QueryFileSize(const WideText& path);

// How far a copy has come, and whether it is to go on.
struct CopyProgress {
  // `copied` of `total` bytes are in the new file. False stops the copy: the new file goes, the
  // older destination stays as it was, and the copy gives 0.
  bool (*step)(void* context, std::int64_t copied, std::int64_t total);
  void* context;
};

// Copies `source` over `destination`, both UTF-16 paths that reach exactly the files they spell.
// The destination's folder is opened once, down its way from the volume's root (FolderWay, which
// takes no link that standard users could have placed), and every name inside it is looked up
// from that handle, never by path again: nobody who can change the folders on the path can bend
// the copy elsewhere, and no folder of the way can be renamed while the copy runs. The new file is made in
// that folder, its data flushed to the disk, and then put in the destination's place in one step
// named relative to the folder, so neither a copy that fails part-way nor a power cut after
// success leaves an older destination file damaged; a second flush after that step puts the new
// name on the disk before success is reported. The new file is reached only through one handle
// from its creation to its rename, and is marked for deletion until just before that rename: a
// failed copy, or a process killed part-way, leaves nothing behind. Where the file system refuses
// the lookup inside the folder, the mark or the rename through the handle (some network servers,
// shared folders of virtual machines), the new file is made and put in place by name instead
// (replacing, written through). Whether a rename or move happened is asked of the files, by
// volume and file ID, never of their names; when that cannot be told, the new file is left
// alone and the copy gives 0. Nothing is removed by name: a new file that the by-name way could
// not put in place stays behind, and the copy gives 0. Non-zero only when the destination holds the complete new file; 0
// at once for a null or empty path. The new file takes over the source's last-write time and its
// attributes except read-only and hidden. A destination that is a folder, or a file marked
// read-only or hidden, is not overwritten (0), as the platform's own copy refuses them. The
// temporary file is named as TemporaryFileName says, for a number from the system's random
// source; a name already taken, by a file or a link, is tried again with a new number. A destination that another program holds
// open is waited for up to about two seconds before the copy gives 0.
// `progress`, when given, hears of the copy once before the first block and after every block
// but the last, with fewer bytes than the total, and once with the total when the data is on the
// disk, just before the rename: the point of no return, the last moment it can stop the copy.
// After that the copy goes through to its end. Reading runs ahead of writing, on a thread of its
// own, so a copy between two disks runs at the slower one's pace. With a `progress` the data also goes to
// the disk in pieces while the copy runs, as BytesBeforeNextFlush says.
std::int32_t DuplicateFile(const wchar_t* source, const wchar_t* destination,
                           const CopyProgress* progress = nullptr);

// Which file a handle reaches, as its volume knows it. ReFS gives files IDs of 128 bits.
struct FileIdentity {
  std::uint64_t volume;   // the volume's serial number
  std::uint64_t high;     // the file's ID on it
  std::uint64_t low;

  bool operator==(const FileIdentity&) const = default;
};

// The copy's calls that some file systems refuse or answer wrongly, so that a test can stand in
// for them (Wine never refuses them). Each returns 0 on success, else the platform's error code.
struct CopyCalls {
  std::uint32_t (*markForDeletion)(void* file, bool marked);  // FileDispositionInfo
  // Renames the open `file` to `name` in the open `folder`, replacing what is there.
  std::uint32_t (*replace)(void* file, void* folder, const wchar_t* name);
  std::uint32_t (*identify)(void* file, FileIdentity* identity);  // of an open file
  std::uint32_t (*move)(const wchar_t* from, const wchar_t* to);  // by name, written through
};

// The platform's own calls, for DuplicateFileWith.
const CopyCalls& PlatformCopyCalls();

// DuplicateFile over the given calls.
std::int32_t DuplicateFileWith(const CopyCalls& calls, const wchar_t* source,
                               const wchar_t* destination, const CopyProgress* progress = nullptr);

// The same copy from the open file `source` (opened for reading; closed here, whatever the
// outcome) to the file `name`, a name without any folder in it, inside the open `folder`: the
// last folder of a FolderWay, whose FullPath() is `folderPath` (ending in a backslash), which
// only the by-name way uses. 0 for a null folder or source, an empty name or one with a
// separator.
std::int32_t DuplicateIntoFolder(const CopyCalls& calls, void* source, void* folder,
                                 const WideText& folderPath, const wchar_t* name,
                                 const CopyProgress* progress = nullptr);

// A copy that someone watches puts its data on the disk as it goes, so that its bar moves at
// the disk's pace and the last flush, which nothing can interrupt, stays short. The bytes to
// write before the next flush, from the last one, which took `ms` to put `bytes` on the disk:
// about a quarter of a second of the disk's work, at most twice the last piece, between 1 MiB
// and 256 MiB. The first piece is small, so that a slow stick shows its pace within a second.
inline constexpr std::int64_t kFirstFlushBytes = std::int64_t{4} << 20;
std::int64_t BytesBeforeNextFlush(std::int64_t bytes, std::uint32_t ms);

// The temporary file's name for the number `value`: "~PakInstaller-", 8 lowercase hexadecimal
// digits and ".tmp" (26 characters), where `room` (the characters that the path limit leaves
// after the folder) holds it. With less room, that name cut to `room` characters while at least
// one digit stays (15 or more); below that "~" and 3 to 8 digits, a name too short to say whose
// it is. Writes the name and a terminating zero into `out`, which holds kTemporaryNameSize bytes.
inline constexpr std::size_t kTemporaryNameSize = 27;
void TemporaryFileName(std::uint32_t value, std::size_t room, char* out);

// The process's current directory, always ending in a backslash; empty when the platform fails.
Text WorkingDirectory();

// Makes `path` the current directory, unchanged. Non-zero on success; 0 for an absent path.
std::int32_t SetWorkingDirectory(const Text& path);

// The same two in UTF-16, by the same rules: the folder as it is named, whatever the ANSI code
// page can hold.
WideText WideWorkingDirectory();
std::int32_t SetWorkingDirectory(const WideText& path);

}  // namespace runtime

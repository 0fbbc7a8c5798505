#include <windows.h>

#include <cstring>

#include "runtime/file_system.h"

namespace runtime {

namespace {

constexpr DWORD kPathBufferSize = 260;

unsigned PlatformDriveType(const char* root) { return GetDriveTypeA(root); }

bool PlatformFindFirst(const char* path, std::uint32_t* attributes, std::uint32_t* sizeHigh,
                       std::uint32_t* sizeLow) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  *attributes = found.dwFileAttributes;
  *sizeHigh = found.nFileSizeHigh;
  *sizeLow = found.nFileSizeLow;
  FindClose(search);
  return true;
}

std::uint32_t PlatformAttributes(const char* path) { return GetFileAttributesA(path); }

constexpr FileQueryCalls kPlatformCalls = {PlatformDriveType, PlatformFindFirst,
                                           PlatformAttributes};

// The length of the folder part of `path`, separator included: a temporary file written there
// lies in the same folder as the path itself. "C:name" keeps its drive-relative "C:".
std::size_t FolderLength(const char* path, std::size_t length) {
  std::size_t folder = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (path[i] == '\\' || path[i] == '/') folder = i + 1;
  }
  if (folder == 0 && length >= 2 && path[1] == ':') folder = 2;
  return folder;
}

void AppendHex(char* out, DWORD value) {
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 7; i >= 0; --i) {
    out[i] = kDigits[value & 0xF];
    value >>= 4;
  }
}

// Claims a new, empty file "~dup<8 hex digits>.tmp" in the destination's folder. Creating it
// with CREATE_NEW makes the name ours alone; false when the folder takes no new file.
bool ClaimTemporaryFile(const Text& destination, Text* temporary) {
  static const char kPrefix[] = "~dup";
  static const char kSuffix[] = ".tmp";
  const std::size_t folder = FolderLength(destination.CStr(), destination.Length());
  char name[sizeof kPrefix - 1 + 8 + sizeof kSuffix];
  std::memcpy(name, kPrefix, sizeof kPrefix - 1);
  std::memcpy(name + sizeof kPrefix - 1 + 8, kSuffix, sizeof kSuffix);

  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; ++attempt) {
    AppendHex(name + sizeof kPrefix - 1, seed + static_cast<DWORD>(attempt) * 0x9E3779B1u);
    Text candidate = Text(destination.CStr(), folder) + Text(name);
    if (candidate.IsAbsent()) return false;
    const HANDLE file = CreateFileA(candidate.CStr(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      *temporary = static_cast<Text&&>(candidate);
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// A virus scanner or an indexer often opens a freshly written file, or the file it replaces, for
// a moment. Such a hold is waited out for a short, bounded time before the copy counts as failed.
constexpr int kReplaceRetries = 20;
constexpr DWORD kReplaceRetryPauseMs = 100;

bool ReplaceDestination(const Text& temporary, const Text& destination) {
  for (int retry = 0;; ++retry) {
    if (MoveFileExA(temporary.CStr(), destination.CStr(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                      error == ERROR_ACCESS_DENIED;
    if (!held || retry == kReplaceRetries) return false;
    Sleep(kReplaceRetryPauseMs);
  }
}

void RemoveTemporaryFile(const Text& temporary) {
  // The copy takes over the source's attributes; a read-only temporary file would stay behind.
  SetFileAttributesA(temporary.CStr(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(temporary.CStr());
}

}  // namespace

std::int64_t QueryFileSize(const Text& path) { return QueryFileSizeWith(kPlatformCalls, path); }

std::int32_t DuplicateFile(const Text& source, const Text& destination) {
  if (source.IsAbsent() || destination.IsAbsent()) return 0;
  if (destination.IsEmpty()) return 0;

  // What the platform's copy refuses to overwrite stays refused: a folder, and a file marked
  // read-only or hidden.
  const DWORD existing = GetFileAttributesA(destination.CStr());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
    return 0;
  }

  Text temporary;
  if (!ClaimTemporaryFile(destination, &temporary)) return 0;
  // The older destination file is touched only by the one-step replace, after a complete copy.
  if (!CopyFileA(source.CStr(), temporary.CStr(), FALSE) ||
      !ReplaceDestination(temporary, destination)) {
    RemoveTemporaryFile(temporary);
    return 0;
  }
  return 1;
}

Text WorkingDirectory() {
  char buffer[kPathBufferSize + 1];
  DWORD length = GetCurrentDirectoryA(kPathBufferSize, buffer);
  // 0 is a failure; a length of 260 or more is the size a longer directory would need, and
  // nothing was stored.
  if (length == 0 || length >= kPathBufferSize) return Text("");
  if (buffer[length - 1] != '\\') buffer[length++] = '\\';
  return Text(buffer, length);
}

std::int32_t SetWorkingDirectory(const Text& path) {
  if (path.IsAbsent()) return 0;
  return SetCurrentDirectoryA(path.CStr()) ? 1 : 0;
}

}  // namespace runtime

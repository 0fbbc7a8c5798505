#include <windows.h>

#include <cstring>

#include "runtime/file_system.h"
#include "runtime/memory.h"

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

}  // namespace

std::int64_t QueryFileSize(const Text& path) {
  return QueryFileSizeWith(kPlatformCalls, path, AnsiLeadBytes());
}

Text WorkingDirectory() {
  char buffer[kPathBufferSize + 1];
  DWORD length = GetCurrentDirectoryA(kPathBufferSize, buffer);
  // 0 is a failure; a length of 260 or more is the size a longer directory would need, and
  // nothing was stored.
  if (length == 0 || length >= kPathBufferSize) return Text("");
  Text directory(buffer, length);
  return EndsInSeparator(directory, AnsiLeadBytes()) ? directory : directory + "\\";
}

std::int32_t SetWorkingDirectory(const Text& path) {
  if (path.IsAbsent()) return 0;
  return SetCurrentDirectoryA(path.CStr()) ? 1 : 0;
}

}  // namespace runtime

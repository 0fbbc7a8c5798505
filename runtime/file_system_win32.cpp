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

unsigned PlatformWideDriveType(const wchar_t* root) { return GetDriveTypeW(root); }

bool PlatformWideFindFirst(const wchar_t* path, std::uint32_t* attributes,
                           std::uint32_t* sizeHigh, std::uint32_t* sizeLow) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  *attributes = found.dwFileAttributes;
  *sizeHigh = found.nFileSizeHigh;
  *sizeLow = found.nFileSizeLow;
  FindClose(search);
  return true;
}

std::uint32_t PlatformWideAttributes(const wchar_t* path) { return GetFileAttributesW(path); }

constexpr WideFileQueryCalls kPlatformWideCalls = {PlatformWideDriveType, PlatformWideFindFirst,
                                                   PlatformWideAttributes};

}  // namespace

std::int64_t QueryFileSize(const Text& path) {
  return QueryFileSizeWith(kPlatformCalls, path, AnsiLeadBytes());
}

std::int64_t QueryFileSize(const WideText& path) {
  return QueryFileSizeWith(kPlatformWideCalls, path);
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

WideText WideWorkingDirectory() {
  wchar_t buffer[kPathBufferSize + 1];
  const DWORD length = GetCurrentDirectoryW(kPathBufferSize, buffer);
  if (length == 0 || length >= kPathBufferSize) return WideText(L"");
  const WideText directory(buffer, length);
  const wchar_t last = buffer[length - 1];
  return last == L'\\' || last == L'/' ? directory : directory + WideText(L"\\");
}

std::int32_t SetWorkingDirectory(const WideText& path) {
  if (path.IsAbsent()) return 0;
  return SetCurrentDirectoryW(path.CStr()) ? 1 : 0;
}

}  // namespace runtime

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

// A platform handle that is closed when it goes out of scope.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The length of the folder part of a full path, separator included.
std::size_t FolderLength(const char* path, std::size_t length) {
  std::size_t folder = 0;
  for (std::size_t i = 0; i < length; ++i) {
    // The second byte of a double-byte character may be 0x5C: it is never a separator.
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length) ++i;
    else if (path[i] == '\\' || path[i] == '/') folder = i + 1;
  }
  return folder;
}

// The destination as a full path, resolved once against the working directory, so that the
// temporary file and the rename name the same folder; absent when the platform fails.
Text FullPath(const Text& path) {
  const DWORD needed = GetFullPathNameA(path.CStr(), 0, nullptr, nullptr);
  if (needed == 0) return Text();
  char* buffer = static_cast<char*>(Allocate(needed));
  if (buffer == nullptr) return Text();
  const DWORD length = GetFullPathNameA(path.CStr(), needed, buffer, nullptr);
  Text full = length > 0 && length < needed ? Text(buffer, length) : Text();
  Release(buffer);
  return full;
}

// A virus scanner or an indexer often opens a freshly written file, or the file it replaces, for
// a moment. Such a hold is waited out for a short, bounded time before a step counts as failed.
constexpr int kHoldRetries = 20;
constexpr DWORD kHoldRetryPauseMs = 100;

template <typename Step>
bool RetryWhileHeld(Step step) {
  for (int retry = 0;; ++retry) {
    if (step()) return true;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                      error == ERROR_ACCESS_DENIED;
    if (!held || retry == kHoldRetries) return false;
    Sleep(kHoldRetryPauseMs);
  }
}

// A file marked so is removed by the system when its last handle closes, also when the process
// is killed. Wine 8 keeps this mark on its server, so killing the tool removes the file there
// too; it knows no FileDispositionInfoEx.
bool MarkForDeletion(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

void AppendHex(char* out, int digits, DWORD value) {
  static const char kDigits[] = "0123456789abcdef";
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = kDigits[value & 0xF];
    value >>= 4;
  }
}

// Creates the temporary file "~" + hexadecimal digits beside the destination, no longer than the
// destination's own name where it can be (so a destination near the path limit still fits), open
// for this process alone and marked for deletion from the start. CREATE_NEW makes the name ours:
// nothing that was there before, a link included, is ever opened. Null when no file could be made.
HANDLE CreateTemporaryFile(const Text& full, std::size_t folder) {
  const std::size_t nameLength = full.Length() - folder;
  const int digits = nameLength > 9 ? 8 : nameLength > 4 ? static_cast<int>(nameLength) - 1 : 3;
  char name[1 + 8 + 1] = "~";
  name[1 + digits] = '\0';
  const Text folderText(full.CStr(), folder);

  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; ++attempt) {
    AppendHex(name + 1, digits, seed + static_cast<DWORD>(attempt) * 0x9E3779B1u);
    const Text candidate = folderText + Text(name);
    if (candidate.IsAbsent()) return nullptr;
    const HANDLE file = CreateFileA(candidate.CStr(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      if (RetryWhileHeld([file] { return MarkForDeletion(file, true); })) return file;
      CloseHandle(file);
      return nullptr;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

// Large blocks at page-aligned addresses keep the copy as fast as the platform's own.
constexpr DWORD kCopyBlockSize = 1u << 20;

// All of `from` into `to`, which is first made as long as the source (the disk then finds room
// for it in one piece, and a full disk shows at once). False on any failure, and when the source
// changed its length during the copy.
bool CopyContent(HANDLE from, HANDLE to, LONGLONG size) {
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = size;
  if (!SetFileInformationByHandle(to, FileEndOfFileInfo, &end, sizeof end)) return false;
  void* block = VirtualAlloc(nullptr, kCopyBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (block == nullptr) return false;
  LONGLONG copied = 0;
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, block, kCopyBlockSize, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(to, block, got, &written, nullptr) || written != got) {
      ok = false;
      break;
    }
    copied += got;
  }
  VirtualFree(block, 0, MEM_RELEASE);
  return ok && copied == size;
}

// What the platform's copy carries over: the source's last-write time and its attributes, except
// read-only and hidden, which would block the next update of the add-on.
bool CarryOver(const FILE_BASIC_INFO& source, HANDLE to) {
  constexpr DWORD kCarried = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO basic = {};  // zero times stay as they are
  basic.LastWriteTime = source.LastWriteTime;
  basic.FileAttributes = source.FileAttributes & kCarried;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic) != 0;
}

// The destination's full path in UTF-16: the folder part of `full` converted from the ANSI code
// page, then `fileName` where one is given, else the rest of `full`. Null when memory runs out.
wchar_t* WideDestination(const Text& full, std::size_t folder, const wchar_t* fileName) {
  const std::size_t ansiPart = fileName != nullptr ? folder : full.Length();
  const int converted =
      ansiPart == 0 ? 0
                    : MultiByteToWideChar(CP_ACP, 0, full.CStr(), static_cast<int>(ansiPart),
                                          nullptr, 0);
  if (ansiPart != 0 && converted <= 0) return nullptr;
  const std::size_t added = fileName != nullptr ? lstrlenW(fileName) : 0;
  auto* wide = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (converted + added + 1)));
  if (wide == nullptr) return nullptr;
  if (converted > 0) {
    MultiByteToWideChar(CP_ACP, 0, full.CStr(), static_cast<int>(ansiPart), wide, converted);
  }
  if (added > 0) CopyMemory(wide + converted, fileName, sizeof(wchar_t) * added);
  return wide;  // Allocate zero-fills, so the terminator is there
}

// The rename request for the destination's full path. SetFileInformationByHandle turns the name
// into a full path by the usual rules: under Wine 8 a bare name lands in the working directory,
// not the file's own folder, and a RootDirectory is refused. Null when memory runs out.
FILE_RENAME_INFO* RenameRequest(const wchar_t* destination, DWORD* size) {
  const DWORD characters = static_cast<DWORD>(lstrlenW(destination));
  *size = static_cast<DWORD>(sizeof(FILE_RENAME_INFO) + sizeof(WCHAR) * (characters + 1));
  auto* request = static_cast<FILE_RENAME_INFO*>(Allocate(*size));
  if (request == nullptr) return nullptr;
  request->ReplaceIfExists = TRUE;
  request->RootDirectory = nullptr;
  request->FileNameLength = static_cast<DWORD>(sizeof(WCHAR) * characters);
  CopyMemory(request->FileName, destination, sizeof(WCHAR) * characters);
  return request;
}

// Puts the temporary file in the destination's place in one step, through its handle. A file
// marked for deletion cannot be renamed, so the mark goes just before each attempt and comes
// back after a failed one.
bool ReplaceDestination(HANDLE temporary, const wchar_t* destination) {
  DWORD size = 0;
  FILE_RENAME_INFO* request = RenameRequest(destination, &size);
  if (request == nullptr) return false;
  const bool replaced = RetryWhileHeld([&] {
    if (!MarkForDeletion(temporary, false)) return false;
    if (SetFileInformationByHandle(temporary, FileRenameInfo, request, size)) return true;
    const DWORD error = GetLastError();
    MarkForDeletion(temporary, true);
    SetLastError(error);
    return false;
  });
  Release(request);
  return replaced;
}

// The copy itself, once the destination is known by its full path in both forms.
std::int32_t CopyOver(const Text& source, const Text& full, std::size_t folder,
                      const wchar_t* destination) {
  // What the platform's copy refuses to overwrite stays refused: a folder, and a file marked
  // read-only or hidden.
  const DWORD existing = GetFileAttributesW(destination);
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
    return 0;
  }

  OwnedHandle from(CreateFileA(source.CStr(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  FILE_BASIC_INFO basic = {};
  LARGE_INTEGER size = {};
  if (!from.IsOpen() ||
      !GetFileInformationByHandleEx(from.Get(), FileBasicInfo, &basic, sizeof basic) ||
      !GetFileSizeEx(from.Get(), &size)) {
    return 0;
  }

  // From here on the new file is reached only through this handle, never by its name again, so
  // nobody can swap what the name points at; the older destination file is touched only by the
  // one-step replace, after a complete copy whose data is on the disk.
  OwnedHandle temporary(CreateTemporaryFile(full, folder));
  if (!temporary.IsOpen()) return 0;
  bool copied = CopyContent(from.Get(), temporary.Get(), size.QuadPart) &&
                CarryOver(basic, temporary.Get());
  // The source may be the destination itself, and an open handle would block its replacement.
  from.Close();
  copied = copied && FlushFileBuffers(temporary.Get()) &&
           ReplaceDestination(temporary.Get(), destination);
  if (!copied) RetryWhileHeld([&] { return MarkForDeletion(temporary.Get(), true); });
  return copied ? 1 : 0;
}

}  // namespace

std::int64_t QueryFileSize(const Text& path) {
  return QueryFileSizeWith(kPlatformCalls, path, AnsiLeadBytes());
}

std::int32_t DuplicateFile(const Text& source, const Text& destination, const wchar_t* fileName) {
  if (source.IsAbsent() || destination.IsAbsent()) return 0;
  if (destination.IsEmpty()) return 0;
  if (fileName != nullptr && fileName[0] == L'\0') return 0;

  const Text full = FullPath(destination);
  const std::size_t folder = FolderLength(full.CStr(), full.Length());
  if (full.IsAbsent() || folder == 0 || folder == full.Length()) return 0;
  wchar_t* const wideDestination = WideDestination(full, folder, fileName);
  if (wideDestination == nullptr) return 0;
  const std::int32_t copied = CopyOver(source, full, folder, wideDestination);
  Release(wideDestination);
  return copied;
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

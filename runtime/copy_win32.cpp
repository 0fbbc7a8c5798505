// The copy of one file over another through the platform: a temporary file beside the
// destination, reached through its handle alone, put in place in one step.
#include <windows.h>

#include "runtime/file_system.h"
#include "runtime/memory.h"

namespace runtime {

namespace {

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
std::size_t FolderLength(const wchar_t* path) {
  std::size_t folder = 0;
  for (std::size_t i = 0; path[i] != L'\0'; ++i) {
    if (path[i] == L'\\' || path[i] == L'/') folder = i + 1;
  }
  return folder;
}

// The destination as a full path, resolved once against the working directory, so that the
// temporary file and the rename name the same folder; null when the platform fails.
wchar_t* FullPath(const wchar_t* path) {
  const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return nullptr;
  auto* buffer = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * needed));
  if (buffer == nullptr) return nullptr;
  const DWORD length = GetFullPathNameW(path, needed, buffer, nullptr);
  if (length > 0 && length < needed) return buffer;
  Release(buffer);
  return nullptr;
}

// `length` characters of `text` followed by `suffix`, zero-terminated; null when memory runs out.
wchar_t* Joined(const wchar_t* text, std::size_t length, const wchar_t* suffix) {
  const std::size_t added = static_cast<std::size_t>(lstrlenW(suffix));
  auto* joined = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (length + added + 1)));
  if (joined == nullptr) return nullptr;
  CopyMemory(joined, text, sizeof(wchar_t) * length);
  CopyMemory(joined + length, suffix, sizeof(wchar_t) * added);
  return joined;  // Allocate zero-fills, so the terminator is there
}

// A virus scanner or an indexer often opens a freshly written file, or the file it replaces, for
// a moment. Such a hold is waited out for a short, bounded time before a step counts as failed.
// A step returns 0 on success, else the platform's error code; so does the retry.
constexpr int kHoldRetries = 20;
constexpr DWORD kHoldRetryPauseMs = 100;

template <typename Step>
DWORD RetryWhileHeld(Step step) {
  for (int retry = 0;; ++retry) {
    const DWORD error = step();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                      error == ERROR_ACCESS_DENIED;
    if (!held || retry == kHoldRetries) return error;
    Sleep(kHoldRetryPauseMs);
  }
}

// How a file system that knows no deletion mark or no rename through a handle refuses it.
bool IsUnsupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION;
}

// A file marked so is removed by the system when its last handle closes, also when the process
// is killed. Wine 8 keeps this mark on its server, so killing the tool removes the file there
// too; it knows no FileDispositionInfoEx.
std::uint32_t PlatformMarkForDeletion(void* file, bool marked) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)
             ? 0
             : GetLastError();
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

std::uint32_t PlatformReplace(void* file, const wchar_t* destination) {
  DWORD size = 0;
  FILE_RENAME_INFO* request = RenameRequest(destination, &size);
  if (request == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  const DWORD error =
      SetFileInformationByHandle(file, FileRenameInfo, request, size) ? 0 : GetLastError();
  Release(request);
  return error;
}

constexpr CopyCalls kPlatformCopyCalls = {PlatformMarkForDeletion, PlatformReplace};

// Removes the temporary files that earlier copies into the folder of `destination` (a full path
// whose first `folderLength` characters are its folder, separator included) left behind after a power cut or a kill. Only names of the tool's own form count,
// never a folder or a link; opening one for deletion without sharing fails while any program
// holds it open, a copy that is running right now included.
void RemoveStaleTemporaryFiles(const wchar_t* destination, std::size_t folderLength) {
  static const wchar_t kPattern[] = L"~PakInstaller-*";
  auto* path = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (folderLength + MAX_PATH + 1)));
  if (path == nullptr) return;
  CopyMemory(path, destination, sizeof(wchar_t) * folderLength);
  CopyMemory(path + folderLength, kPattern, sizeof kPattern);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        continue;
      }
      char name[kTemporaryNameSize] = {};
      bool plain = true;  // only ASCII names can be ours
      for (int i = 0; found.cFileName[i] != L'\0' && plain; ++i) {
        plain = i + 1 < static_cast<int>(kTemporaryNameSize) && found.cFileName[i] < 0x80;
        if (plain) name[i] = static_cast<char>(found.cFileName[i]);
      }
      if (!plain || !IsTemporaryFileName(name)) continue;
      lstrcpynW(path + folderLength, found.cFileName, MAX_PATH);
      const HANDLE stale = CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr);
      if (stale != INVALID_HANDLE_VALUE) CloseHandle(stale);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  Release(path);
}

// The longest path the platform's calls take without the \\?\ form, less the terminating zero;
// the temporary file's path stays within it, as the destination's own does.
constexpr std::size_t kLongestPath = MAX_PATH - 1;

// The temporary file beside the destination, open for this process alone, and how it must be
// put in place.
struct Temporary {
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() { Release(path); }

  HANDLE file = nullptr;    // null when no file could be made; closed by its owner
  wchar_t* path = nullptr;  // its full path, for the by-name way
  bool marked = false;      // marked for deletion: it goes in place through its handle
};

// Creates the temporary file (see TemporaryFileName) and marks it for deletion from the start.
// CREATE_NEW makes the name ours: nothing that was there before, a link included, is ever opened.
// A file system that refuses the mark keeps an unmarked file, to be placed and removed by name; a
// mark that fails otherwise removes the file at once.
void CreateTemporaryFile(const CopyCalls& calls, const wchar_t* full, std::size_t folder,
                         Temporary& made) {
  const std::size_t room = folder < kLongestPath ? kLongestPath - folder : 0;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; ++attempt) {
    char name[kTemporaryNameSize];
    TemporaryFileName(seed + static_cast<DWORD>(attempt) * 0x9E3779B1u, room, name);
    wchar_t wideName[kTemporaryNameSize];
    for (std::size_t i = 0; i < kTemporaryNameSize; ++i) wideName[i] = name[i];  // all ASCII
    wchar_t* const candidate = Joined(full, folder, wideName);
    if (candidate == nullptr) return;
    const HANDLE file = CreateFileW(candidate, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const DWORD error = RetryWhileHeld([&] { return calls.markForDeletion(file, true); });
      if (error == 0 || IsUnsupported(error)) {
        made.file = file;
        made.path = candidate;
        made.marked = error == 0;
      } else {
        CloseHandle(file);
        DeleteFileW(candidate);
        Release(candidate);
      }
      return;
    }
    const DWORD error = GetLastError();
    Release(candidate);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return;
  }
  return;
}

// Whether the copy is to go on after `copied` of `total` bytes: always without a `progress`.
bool GoesOn(const CopyProgress* progress, LONGLONG copied, LONGLONG total) {
  return progress == nullptr || progress->step(progress->context, copied, total);
}

// Page-aligned blocks of 256 KiB keep the copy as fast as the platform's own. Under Wine on a
// virtual machine whose host takes back free memory, 1 MiB blocks were at times up to three times
// slower: the page cache then seems to take the new file's memory in pieces that large, which
// the host must first hand back.
constexpr DWORD kCopyBlockSize = 256u << 10;

// All of `from` into `to`, which is first made as long as the source (the disk then finds room
// for it in one piece, and a full disk shows at once). False on any failure, and when the source
// changed its length during the copy, or when `progress` asked to stop.
bool CopyContent(HANDLE from, HANDLE to, LONGLONG size, const CopyProgress* progress) {
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = size;
  if (!SetFileInformationByHandle(to, FileEndOfFileInfo, &end, sizeof end)) return false;
  void* block = VirtualAlloc(nullptr, kCopyBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (block == nullptr) return false;
  LONGLONG copied = 0;
  bool ok = GoesOn(progress, 0, size);
  while (ok) {
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
    ok = GoesOn(progress, copied, size);
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

// Whether the open file's current name is `destination`: a rename that reported a failure may
// still have happened (over a network), and marking the file for deletion then would remove the
// add-on just installed. Names from the platform look like \\?\C:\... or \\?\UNC\server\....
bool IsNamed(HANDLE file, const wchar_t* destination) {
  constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD needed = GetFinalPathNameByHandleW(file, nullptr, 0, kFlags);
  if (needed == 0) return false;
  auto* name = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (needed + 1)));
  if (name == nullptr) return false;
  bool same = false;
  const DWORD length = GetFinalPathNameByHandleW(file, name, needed + 1, kFlags);
  if (length > 0 && length <= needed) {
    const wchar_t* own = name;
    const wchar_t* wanted = destination;
    if (length >= 8 && CompareStringOrdinal(own, 8, L"\\\\?\\UNC\\", 8, TRUE) == CSTR_EQUAL) {
      own += 7;  // \\server\share: compared from its second backslash on
      wanted += wanted[0] == L'\\' ? 1 : 0;
    } else if (CompareStringOrdinal(own, 4, L"\\\\?\\", 4, FALSE) == CSTR_EQUAL) {
      own += 4;
    }
    same = CompareStringOrdinal(own, -1, wanted, -1, TRUE) == CSTR_EQUAL;
  }
  Release(name);
  return same;
}

enum class Placed { kReplaced, kFailed, kRefused };

// Puts the temporary file in the destination's place in one step, through its handle. A file
// marked for deletion cannot be renamed, so the mark goes just before each attempt and comes back
// after a failed one, unless the file system refused the rename as unsupported: the file then
// stays unmarked, to be placed by name.
Placed ReplaceThroughHandle(const CopyCalls& calls, HANDLE temporary, const wchar_t* destination) {
  bool refused = false;
  const DWORD error = RetryWhileHeld([&]() -> DWORD {
    DWORD failure = calls.markForDeletion(temporary, false);
    if (failure != 0) return failure;
    failure = calls.replace(temporary, destination);
    if (failure == 0 || IsNamed(temporary, destination)) return 0;
    refused = IsUnsupported(failure);
    if (!refused) calls.markForDeletion(temporary, true);
    return failure;
  });
  return error == 0 ? Placed::kReplaced : refused ? Placed::kRefused : Placed::kFailed;
}

// Puts the closed temporary file in the destination's place by name, as the copy did before it
// went through handles; written through, so the new name is on the disk when this returns.
// Removes the file by name when that fails or `copied` is false.
bool ReplaceByName(const wchar_t* temporaryPath, const wchar_t* destination, bool copied) {
  const bool moved = copied && RetryWhileHeld([&]() -> DWORD {
                       return MoveFileExW(temporaryPath, destination,
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                                  ? 0
                                  : GetLastError();
                     }) == 0;
  if (!moved) DeleteFileW(temporaryPath);
  return moved;
}

// The copy itself, once the destination is known by its full path, whose first `folder`
// characters are its folder.
std::int32_t CopyOver(const CopyCalls& calls, const wchar_t* source, const wchar_t* destination,
                      std::size_t folder, const CopyProgress* progress) {
  // What the platform's copy refuses to overwrite stays refused: a folder, and a file marked
  // read-only or hidden.
  const DWORD existing = GetFileAttributesW(destination);
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
    return 0;
  }

  OwnedHandle from(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  FILE_BASIC_INFO basic = {};
  LARGE_INTEGER size = {};
  if (!from.IsOpen() ||
      !GetFileInformationByHandleEx(from.Get(), FileBasicInfo, &basic, sizeof basic) ||
      !GetFileSizeEx(from.Get(), &size)) {
    return 0;
  }

  RemoveStaleTemporaryFiles(destination, folder);
  // From here on the new file is reached only through this handle, never by its name again, so
  // nobody can swap what the name points at; the older destination file is touched only by the
  // one-step replace, after a complete copy whose data is on the disk.
  Temporary made;
  CreateTemporaryFile(calls, destination, folder, made);
  OwnedHandle temporary(made.file);
  if (!temporary.IsOpen()) return 0;
  bool copied = CopyContent(from.Get(), temporary.Get(), size.QuadPart, progress) &&
                CarryOver(basic, temporary.Get());
  // The source may be the destination itself, and an open handle would block its replacement.
  from.Close();
  // The last moment to stop: once the data is on the disk, the copy goes through to the end.
  copied = copied && FlushFileBuffers(temporary.Get()) &&
           GoesOn(progress, size.QuadPart, size.QuadPart);
  if (made.marked) {
    const Placed placed =
        copied ? ReplaceThroughHandle(calls, temporary.Get(), destination) : Placed::kFailed;
    if (placed == Placed::kReplaced) {
      // The rename is on the disk only with its folder; a file system without a journal
      // (FAT32 and exFAT sticks) could otherwise lose it after "Fertig!". The add-on is in
      // place either way, so a failure here changes nothing of the result.
      FlushFileBuffers(temporary.Get());
      return 1;
    }
    if (placed == Placed::kFailed) {
      RetryWhileHeld([&] { return calls.markForDeletion(temporary.Get(), true); });
      return 0;
    }
  }
  // Where the file system refused the mark or the handle rename, the file goes by its name.
  temporary.Close();
  return ReplaceByName(made.path, destination, copied) ? 1 : 0;
}

}  // namespace

const CopyCalls& PlatformCopyCalls() { return kPlatformCopyCalls; }

std::int32_t DuplicateFile(const wchar_t* source, const wchar_t* destination,
                           const CopyProgress* progress) {
  return DuplicateFileWith(kPlatformCopyCalls, source, destination, progress);
}

std::int32_t DuplicateFileWith(const CopyCalls& calls, const wchar_t* source,
                               const wchar_t* destination, const CopyProgress* progress) {
  if (source == nullptr || destination == nullptr) return 0;
  if (source[0] == L'\0' || destination[0] == L'\0') return 0;

  wchar_t* const full = FullPath(destination);
  const std::size_t folder = full != nullptr ? FolderLength(full) : 0;
  const std::int32_t copied = folder != 0 && full[folder] != L'\0'
                                  ? CopyOver(calls, source, full, folder, progress)
                                  : 0;
  Release(full);
  return copied;
}

}  // namespace runtime

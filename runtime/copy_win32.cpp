// The copy of one file over another through the platform: the destination's folder opened once,
// a temporary file made in it, reached through its handle alone, put in place in one step.
#include <windows.h>
#include <winternl.h>

#include "runtime/copy_content_win32.h"
#include "runtime/file_system.h"
#include "runtime/folder_walk_win32.h"
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

// How a file system that knows no deletion mark, no rename through a handle or no lookup inside
// an open folder refuses it.
bool IsUnsupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD ErrorOf(NTSTATUS status) { return status < 0 ? RtlNtStatusToDosError(status) : 0; }

// Opens `name`, a name without any folder in it, inside the open `folder`. The lookup starts at
// the folder the handle holds, whatever has become of the path it was opened by: nobody can bend
// it by swapping a folder on that path for a link.
DWORD OpenInFolder(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, HANDLE* opened) {
  *opened = nullptr;
  UNICODE_STRING text;
  text.Length = text.MaximumLength = static_cast<USHORT>(sizeof(wchar_t) * lstrlenW(name));
  text.Buffer = const_cast<PWSTR>(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const DWORD error = ErrorOf(NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                           FILE_ATTRIBUTE_NORMAL, share, disposition,
                                           options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0));
  if (error == 0) *opened = handle;
  return error;
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

// The rename names its target relative to the open folder. SetFileInformationByHandle would turn
// the name into a full path first (and Wine 8 refuses its RootDirectory), so this goes to the
// call beneath it.
std::uint32_t PlatformReplace(void* file, void* folder, const wchar_t* name) {
  const auto characters = static_cast<std::size_t>(lstrlenW(name));
  const auto size = static_cast<ULONG>(sizeof(FILE_RENAME_INFORMATION) + sizeof(WCHAR) * characters);
  auto* request = static_cast<FILE_RENAME_INFORMATION*>(Allocate(size));
  if (request == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  request->ReplaceIfExists = TRUE;
  request->RootDirectory = folder;
  request->FileNameLength = static_cast<ULONG>(sizeof(WCHAR) * characters);
  CopyMemory(request->FileName, name, sizeof(WCHAR) * characters);
  IO_STATUS_BLOCK io = {};
  const DWORD error = ErrorOf(NtSetInformationFile(file, &io, request, size, FileRenameInformation));
  Release(request);
  return error;
}

std::uint32_t PlatformIdentify(void* file, FileIdentity* identity) {
  FILE_ID_INFO id;
  if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    identity->volume = id.VolumeSerialNumber;
    CopyMemory(&identity->high, id.FileId.Identifier + 8, 8);
    CopyMemory(&identity->low, id.FileId.Identifier, 8);
    return 0;
  }
  // Before Windows 8, and on file systems without the long form: IDs of 64 bits.
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return GetLastError();
  identity->volume = information.dwVolumeSerialNumber;
  identity->high = 0;
  identity->low = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return 0;
}

std::uint32_t PlatformMove(const wchar_t* from, const wchar_t* to) {
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                   : GetLastError();
}

constexpr CopyCalls kPlatformCopyCalls = {PlatformMarkForDeletion, PlatformReplace,
                                          PlatformIdentify, PlatformMove};

// The longest path the platform's calls take without the \\?\ form, less the terminating zero;
// the temporary file's path stays within it, as the destination's own does.
constexpr std::size_t kLongestPath = MAX_PATH - 1;

// The destination's folder, held open by its way (see FolderWay) for the whole copy: nobody can
// rename or remove it while the copy runs, and every name inside it is looked up from this handle.
struct Destination {
  Destination(HANDLE open, const wchar_t* full, std::size_t folderChars)
      : path(full), folderLength(folderChars), name(full + folderChars), folder(open) {}

  const wchar_t* path;       // full path, for the by-name way
  std::size_t folderLength;  // characters of its folder, separator included
  const wchar_t* name;       // the file's own name
  HANDLE folder;
};

// Opens the destination as it is now, for a look at it: through the folder, or by its name where
// the file system knows no lookup inside an open folder.
DWORD OpenExisting(const Destination& destination, HANDLE* opened) {
  constexpr ULONG kAnyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD error = OpenInFolder(destination.folder, destination.name, FILE_READ_ATTRIBUTES,
                                   kAnyone, FILE_OPEN, FILE_OPEN_REPARSE_POINT, opened);
  if (!IsUnsupported(error)) return error;
  *opened = CreateFileW(destination.path, FILE_READ_ATTRIBUTES, kAnyone, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (*opened != INVALID_HANDLE_VALUE) return 0;
  *opened = nullptr;
  return GetLastError();
}

// What the platform's copy refuses to overwrite: a folder, and a file marked read-only or hidden.
bool MayBeOverwritten(const Destination& destination) {
  HANDLE existing = nullptr;
  const DWORD error = OpenExisting(destination, &existing);
  if (error == ERROR_FILE_NOT_FOUND) return true;
  if (error != 0) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(existing, &information) != 0;
  CloseHandle(existing);
  return known && !(information.dwFileAttributes &
                    (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
}

enum class Same { kYes, kNo, kUnknown };

// Whether the destination is now the file whose identity is `own`, asked of the files
// themselves: a name can be spelt in many ways (a short folder name, a mapped drive, a
// junction), a file ID only one.
Same DestinationIs(const CopyCalls& calls, const FileIdentity& own,
                   const Destination& destination) {
  HANDLE existing = nullptr;
  const DWORD error = OpenExisting(destination, &existing);
  if (error == ERROR_FILE_NOT_FOUND) return Same::kNo;
  if (error != 0) return Same::kUnknown;
  FileIdentity found = {};
  const bool known = calls.identify(existing, &found) == 0;
  CloseHandle(existing);
  if (!known) return Same::kUnknown;
  return found == own ? Same::kYes : Same::kNo;
}

// The same for the file that `file` holds open.
Same IsDestination(const CopyCalls& calls, HANDLE file, const Destination& destination) {
  FileIdentity own = {};
  if (calls.identify(file, &own) != 0) return Same::kUnknown;
  return DestinationIs(calls, own, destination);
}

// The temporary file in the destination's folder, open for this process alone, and how it must
// be put in place.
struct Temporary {
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() { Release(path); }

  HANDLE file = nullptr;    // null when no file could be made; closed by its owner
  wchar_t* path = nullptr;  // its full path, for the by-name way
  bool marked = false;      // marked for deletion: it goes in place through its handle
};

// A number from the system's random source, so that nobody can have the temporary file's name
// waiting. bcrypt.dll is no library every process has, so it is asked for from the system
// folder only, never from the folder of the tool or of the add-on.
bool RandomNumber(std::uint32_t* number) {
  using GenRandom = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
  const HMODULE library = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return false;
  const auto generate = reinterpret_cast<GenRandom>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "BCryptGenRandom")));
  constexpr ULONG kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
  const bool made = generate != nullptr &&
                    generate(nullptr, reinterpret_cast<unsigned char*>(number), sizeof *number,
                             kSystemPreferredRng) >= 0;
  FreeLibrary(library);
  return made;
}

// Creates the temporary file (see TemporaryFileName) in the open folder and marks it for deletion
// from the start. Creating a new file makes the name ours: nothing that was there before, a link
// included, is ever opened or followed, and a name already taken is tried again with another
// number. Where the file system knows no lookup inside an open folder, the file is made by its
// full path instead. A file system that refuses the mark keeps an unmarked file, to be placed by
// name; a mark that fails otherwise removes the file at once.
void CreateTemporaryFile(const CopyCalls& calls, const Destination& destination,
                         Temporary& made) {
  const std::size_t folder = destination.folderLength;
  const std::size_t room = folder < kLongestPath ? kLongestPath - folder : 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::uint32_t number = 0;
    if (!RandomNumber(&number)) return;
    char name[kTemporaryNameSize];
    TemporaryFileName(number, room, name);
    wchar_t wideName[kTemporaryNameSize];
    for (std::size_t i = 0; i < kTemporaryNameSize; ++i) wideName[i] = name[i];  // all ASCII
    wchar_t* const candidate = Joined(destination.path, folder, wideName);
    if (candidate == nullptr) return;
    HANDLE file = nullptr;
    DWORD error = OpenInFolder(destination.folder, wideName, GENERIC_READ | GENERIC_WRITE | DELETE,
                               0, FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT,
                               &file);
    if (IsUnsupported(error)) {
      file = CreateFileW(candidate, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      error = file != INVALID_HANDLE_VALUE ? 0 : GetLastError();
    }
    if (error == 0) {
      error = RetryWhileHeld([&] { return calls.markForDeletion(file, true); });
      if (error == 0 || IsUnsupported(error)) {
        made.file = file;
        made.path = candidate;
        made.marked = error == 0;
        return;
      }
      // Nothing was written yet: the handle that made the file removes it.
      PlatformMarkForDeletion(file, true);
      CloseHandle(file);
      Release(candidate);
      return;
    }
    Release(candidate);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return;
  }
}

// Whether the copy is to go on after `copied` of `total` bytes: always without a `progress`.
bool GoesOn(const CopyProgress* progress, LONGLONG copied, LONGLONG total) {
  return progress == nullptr || progress->step(progress->context, copied, total);
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

enum class Placed { kReplaced, kFailed, kRefused, kUndecided };

// Puts the temporary file in the destination's place in one step, through its handle and the
// folder's. A file marked for deletion cannot be renamed, so the mark goes just before each
// attempt and comes back after a failed one. A rename that reported a failure may still have
// happened (over a network): the file itself is asked. When that cannot be told, the file stays
// unmarked, since it may be the only copy of the add-on left. A rename the file system refuses as
// unsupported leaves the file unmarked too, to be placed by name.
Placed ReplaceThroughHandle(const CopyCalls& calls, HANDLE temporary,
                            const Destination& destination) {
  Placed placed = Placed::kFailed;
  RetryWhileHeld([&]() -> DWORD {
    DWORD failure = calls.markForDeletion(temporary, false);
    if (failure != 0) return failure;
    failure = calls.replace(temporary, destination.folder, destination.name);
    if (failure == 0) {
      placed = Placed::kReplaced;
      return 0;
    }
    if (IsUnsupported(failure)) {
      placed = Placed::kRefused;
      return 0;
    }
    const Same same = IsDestination(calls, temporary, destination);
    placed = same == Same::kYes ? Placed::kReplaced
             : same == Same::kNo ? Placed::kFailed
                                 : Placed::kUndecided;
    if (placed != Placed::kFailed) return 0;
    calls.markForDeletion(temporary, true);
    return failure;
  });
  return placed;
}

// Puts the closed temporary file in the destination's place by name, as on file systems that
// refuse the handle calls; written through, so the new name is on the disk when this returns.
// `own` is the temporary file's identity, taken before it was closed: success only when the
// destination is that file afterwards, whatever the move reported. Nothing is ever removed by
// name: once the handle that proved the file ours is closed, the name may reach another user's
// file. A failed copy or move leaves the temporary file behind.
bool ReplaceByName(const CopyCalls& calls, const wchar_t* temporaryPath,
                   const Destination& destination, const FileIdentity& own, bool copied) {
  if (!copied) return false;
  RetryWhileHeld([&]() -> DWORD { return calls.move(temporaryPath, destination.path); });
  return DestinationIs(calls, own, destination) == Same::kYes;
}

// The copy itself, once the source and the destination's folder are open.
std::int32_t CopyOver(const CopyCalls& calls, OwnedHandle& from, const Destination& destination,
                      const CopyProgress* progress) {
  if (!MayBeOverwritten(destination)) return 0;

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
  Temporary made;
  CreateTemporaryFile(calls, destination, made);
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
    if (placed == Placed::kUndecided) return 0;
  }
  // Where the file system refused the mark or the handle rename, the file goes by its name.
  FileIdentity own = {};
  if (calls.identify(temporary.Get(), &own) != 0) {
    // Without its identity the file could not be told from another one put in its place later.
    if (made.marked) calls.markForDeletion(temporary.Get(), true);
    return 0;
  }
  temporary.Close();
  return ReplaceByName(calls, made.path, destination, own, copied) ? 1 : 0;
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
  std::int32_t copied = 0;
  if (folder != 0 && full[folder] != L'\0') {
    FolderWay way;
    if (way.Open(WideText(full, folder)) == WayResult::kOpened) {
      const HANDLE from = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      copied = DuplicateIntoFolder(calls, from, way.Folder(), way.FullPath(), full + folder,
                                   progress);
    }
  }
  Release(full);
  return copied;
}

std::int32_t DuplicateIntoFolder(const CopyCalls& calls, void* source, void* folder,
                                 const WideText& folderPath, const wchar_t* name,
                                 const CopyProgress* progress) {
  OwnedHandle from(source);
  if (folder == nullptr || name == nullptr || name[0] == L'\0' || folderPath.IsEmpty()) return 0;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c == L'\\' || *c == L'/') return 0;
  }
  const WideText path = folderPath + WideText(name);
  if (path.IsAbsent()) return 0;
  const Destination destination(folder, path.CStr(), folderPath.Length());
  return CopyOver(calls, from, destination, progress);
}

}  // namespace runtime

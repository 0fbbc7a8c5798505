// The way to a folder, opened one folder at a time from the volume's root.
#include <windows.h>
#include <winternl.h>

#include "runtime/folder_access_win32.h"
#include "runtime/folder_walk_win32.h"
#include "runtime/memory.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK,
                                               PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                               PUNICODE_STRING, BOOLEAN);

namespace runtime {

namespace {

constexpr FILE_INFORMATION_CLASS kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr FILE_INFORMATION_CLASS kIdBothDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(37);

struct AttributeTag {
  ULONG attributes;
  ULONG tag;
};

// The fixed part of FILE_ID_BOTH_DIR_INFORMATION; its EaSize holds a reparse point's tag.
struct DirectoryEntry {
  ULONG next;
  ULONG index;
  LARGE_INTEGER times[4];
  LARGE_INTEGER endOfFile;
  LARGE_INTEGER allocation;
  ULONG attributes;
  ULONG nameLength;
  ULONG tag;
  CCHAR shortNameLength;
  WCHAR shortName[12];
  LARGE_INTEGER id;
  WCHAR name[1];
};

// Only a tag that names another place makes a link; a file system's own tags (deduplicated or
// cloud files) keep the folder where it is.
bool NamesAnotherPlace(ULONG attributes, ULONG tag) {
  constexpr ULONG kNameSurrogate = 0x20000000;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (tag == 0 || (tag & kNameSurrogate));
}

constexpr ACCESS_MASK kPassed = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ACCESS_MASK kLast = kPassed | FILE_ADD_FILE;
constexpr int kHoldRetries = 20;
constexpr DWORD kHoldRetryPauseMs = 100;

UNICODE_STRING Counted(const wchar_t* text, std::size_t length) {
  UNICODE_STRING counted;
  counted.Length = counted.MaximumLength = static_cast<USHORT>(sizeof(wchar_t) * length);
  counted.Buffer = const_cast<PWSTR>(text);
  return counted;
}

// Opens the folder `name` (`length` characters) inside `parent`, or the NT path `name` without
// a parent. Without delete sharing nobody can rename or remove it while it is held; only a
// program renaming or removing it right now holds it against us, which is waited out briefly.
NTSTATUS OpenFolder(HANDLE parent, const wchar_t* name, std::size_t length, ACCESS_MASK access,
                    bool reparsePoint, HANDLE* opened) {
  UNICODE_STRING text = Counted(name, length);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  const ULONG options = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT |
                        (reparsePoint ? FILE_OPEN_REPARSE_POINT : 0);
  for (int retry = 0;; ++retry) {
    IO_STATUS_BLOCK io = {};
    *opened = nullptr;
    const NTSTATUS status =
        NtCreateFile(opened, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, options, nullptr, 0);
    constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);
    if (status != kSharingViolation || retry == kHoldRetries) {
      if (status < 0) *opened = nullptr;
      return status;
    }
    Sleep(kHoldRetryPauseMs);
  }
}

// Whether the folder open as `child`, named `name` in `parent`, is a link. The handle opened on
// the link itself says so; Wine's handle shows the folder a Unix symbolic link leads to, and
// only the parent's entry for the name tells of the link.
bool IsLink(HANDLE parent, HANDLE child, const wchar_t* name, std::size_t length) {
  IO_STATUS_BLOCK io = {};
  AttributeTag tag = {};
  if (NtQueryInformationFile(child, &io, &tag, sizeof tag, kAttributeTagInformation) >= 0 &&
      NamesAnotherPlace(tag.attributes, tag.tag)) {
    return true;
  }
  alignas(8) unsigned char buffer[sizeof(DirectoryEntry) + 512 * sizeof(WCHAR)];
  UNICODE_STRING text = Counted(name, length);
  io = {};
  if (NtQueryDirectoryFile(parent, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                           kIdBothDirectoryInformation, TRUE, &text, TRUE) < 0) {
    return false;
  }
  const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer);
  return NamesAnotherPlace(entry->attributes, entry->tag);
}

// The length of the root part of the full path `path` (its separator included) and the root's
// NT name; 0 when the path names no volume this walk knows: a drive ("C:\"), a drive or share
// in the long form ("\\?\C:\", "\\?\UNC\server\share\"), or a share ("\\server\share\").
std::size_t RootOf(const wchar_t* path, WideText* ntRoot) {
  const auto isLetter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
  std::size_t skip = 0;
  if (path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    skip = 4;
  }
  const wchar_t* rest = path + skip;
  if (isLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') {
    *ntRoot = WideText(L"\\??\\") + WideText(rest, 3);
    return skip + 3;
  }
  std::size_t server = 0;  // where the server's name starts
  if (skip == 4 && (rest[0] == L'U' || rest[0] == L'u') && (rest[1] == L'N' || rest[1] == L'n') &&
      (rest[2] == L'C' || rest[2] == L'c') && rest[3] == L'\\') {
    server = skip + 4;
  } else if (skip == 0 && path[0] == L'\\' && path[1] == L'\\') {
    server = 2;
  } else {
    return 0;
  }
  std::size_t end = server;
  for (int separators = 0; path[end] != L'\0'; ++end) {
    if (path[end] == L'\\' && ++separators == 2) break;
  }
  if (path[end] != L'\\' || path[server] == L'\\') return 0;
  *ntRoot = WideText(L"\\??\\UNC\\") + WideText(path + server, end + 1 - server);
  return end + 1;
}

// `full` with one backslash wherever several stand in a row after the root's `root` characters:
// each name between two backslashes is then a folder's.
WideText WithoutEmptyNames(const WideText& full, std::size_t root) {
  auto* kept = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (full.Length() + 1)));
  if (kept == nullptr) return WideText();
  const wchar_t* const path = full.CStr();
  std::size_t length = 0;
  for (std::size_t i = 0; i < full.Length(); ++i) {
    if (i >= root && path[i] == L'\\' && length > 0 && kept[length - 1] == L'\\') continue;
    kept[length++] = path[i];
  }
  WideText result(kept, length);
  Release(kept);
  return result;
}

}  // namespace

FolderWay::~FolderWay() {
  for (std::size_t i = count_; i > 0; --i) CloseHandle(handles_[i - 1]);
  Release(handles_);
}

void* FolderWay::Folder() const { return opened_ && count_ > 0 ? handles_[count_ - 1] : nullptr; }

bool FolderWay::Hold(void* handle) {
  if (count_ == capacity_) {
    const std::size_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
    auto* grown = static_cast<void**>(Allocate(sizeof(void*) * capacity));
    if (grown == nullptr) {
      CloseHandle(handle);
      return false;
    }
    for (std::size_t i = 0; i < count_; ++i) grown[i] = handles_[i];
    Release(handles_);
    handles_ = grown;
    capacity_ = capacity;
  }
  handles_[count_++] = handle;
  return true;
}

WayResult FolderWay::Open(const WideText& folder) {
  if (count_ != 0 || folder.IsAbsent() || folder.IsEmpty()) return WayResult::kMissing;
  const DWORD needed = GetFullPathNameW(folder.CStr(), 0, nullptr, nullptr);
  if (needed == 0) return WayResult::kMissing;
  auto* buffer = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (needed + 1)));
  if (buffer == nullptr) return WayResult::kMissing;
  DWORD length = GetFullPathNameW(folder.CStr(), needed, buffer, nullptr);
  if (length == 0 || length >= needed) {
    Release(buffer);
    return WayResult::kMissing;
  }
  if (buffer[length - 1] != L'\\') buffer[length++] = L'\\';  // room for it was reserved
  WideText full(buffer, length);
  Release(buffer);

  WideText ntRoot;
  const std::size_t root = RootOf(full.CStr(), &ntRoot);
  if (root == 0 || ntRoot.IsAbsent()) return WayResult::kMissing;
  full = WithoutEmptyNames(full, root);
  if (full.IsAbsent()) return WayResult::kMissing;
  const wchar_t* const path = full.CStr();
  const bool rootIsLast = root == full.Length();

  // The volume's root is no link: whatever its name leads to is the volume.
  HANDLE parent = nullptr;
  if (OpenFolder(nullptr, ntRoot.CStr(), ntRoot.Length(), rootIsLast ? kLast : kPassed, false,
                 &parent) < 0 ||
      !Hold(parent)) {
    return WayResult::kMissing;
  }
  for (std::size_t start = root; start < full.Length();) {
    std::size_t end = start;
    while (path[end] != L'\\') ++end;  // the path ends in a backslash
    const std::size_t nameLength = end - start;
    const ACCESS_MASK access = end + 1 == full.Length() ? kLast : kPassed;
    const wchar_t* const name = path + start;
    HANDLE child = nullptr;
    if (OpenFolder(parent, name, nameLength, access, true, &child) < 0) return WayResult::kMissing;
    if (IsLink(parent, child, name, nameLength)) {
      CloseHandle(child);
      // Only administrators could have put a link into a folder that standard users cannot
      // change; one that anybody else could have placed is never taken.
      if (JudgeFolder(parent) != FolderJudgement::kProtected) return WayResult::kBarred;
      if (OpenFolder(parent, name, nameLength, access, false, &child) < 0) {
        return WayResult::kMissing;
      }
    }
    if (!Hold(child)) return WayResult::kMissing;
    parent = child;
    start = end + 1;
  }
  full_ = full;
  opened_ = true;
  return WayResult::kOpened;
}

}  // namespace runtime

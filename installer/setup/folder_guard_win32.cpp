// FolderGuard.exe: the setup's judge of the folders it installs into and removes from. It goes
// down a path one folder at a time, each opened inside the one above through that one's handle
// and never through a link, and judges each by who can change it: a folder that a standard
// user could change, rename or open to others, above the tool or around it, could hand every
// .pak double-click a program of theirs, run with administrator rights.
//
//   FolderGuard.exe judge FOLDER           FOLDER, as far as it exists, and every folder above it
//   FolderGuard.exe make FOLDER SDDL       the same, then makes what is missing, FOLDER itself with
//                                          the descriptor SDDL in the same call; an existing FOLDER
//                                          gets that descriptor through its handle
//   FolderGuard.exe remove FOLDER NAME...  the same for an earlier installation, then deletes the
//                                          files NAME... in FOLDER and FOLDER when it is empty
//
// FOLDER is a full path beginning with a drive ("C:\Program Files\X"). The exit code is the
// verdict (Verdict below). When it is not kSafe, guard.txt in the current folder names the
// folder it is about, in UTF-16LE with CR LF, as the setup reads it; the setup runs this from a
// folder of its own that only administrators can change.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <winternl.h>

#include "installer/setup/folder_path.h"
#include "runtime/folder_access_win32.h"

namespace {

enum Verdict : int {
  kSafe = 0,
  kChangeable = 10,    // standard users may change the folder named
  kForeignOwner = 11,  // an account outside the administration owns it, and may open it to anyone
  kLink = 12,          // it is a link (a junction, a mount point) that may lead anywhere
  kUnknown = 13,       // who may change it cannot be read
  kFailed = 14,        // a folder could not be made or given its list, a file not deleted
  kUsage = 15,
};

// A platform handle that is closed when it goes out of scope.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  ~OwnedHandle() { Reset(nullptr); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE Get() const { return handle_; }
  HANDLE* Out() { return &handle_; }
  void Reset(HANDLE handle) {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }
  void TakeFrom(OwnedHandle& other) {
    Reset(other.handle_);
    other.handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Opens or makes the folder `name` (`length` characters, no separator in it) inside the open
// `folder`. A link there is opened as itself, never followed. The lookup starts at the folder
// the handle holds, whatever has become of the path it was opened by.
NTSTATUS OpenInFolder(HANDLE folder, const wchar_t* name, USHORT length, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, void* descriptor, HANDLE* opened) {
  UNICODE_STRING text;
  text.Length = text.MaximumLength = static_cast<USHORT>(sizeof(wchar_t) * length);
  text.Buffer = const_cast<PWSTR>(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, descriptor);
  IO_STATUS_BLOCK io = {};
  return NtCreateFile(opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                      disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000034);   // STATUS_OBJECT_NAME_NOT_FOUND
constexpr NTSTATUS kCollision = static_cast<NTSTATUS>(0xC0000035);  // STATUS_OBJECT_NAME_COLLISION

// Who can change the open folder, the one used (kItself) or one on the way to it (kAbove). Any
// account that owns a folder may give itself any right on it at any time, so only the
// administration may own it (under Wine, which keeps no owners, also the user the setup runs as).
Verdict JudgeOpenFolder(HANDLE folder, runtime::FolderRole role) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(folder, &information)) return kUnknown;
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return kLink;
  switch (runtime::JudgeFolder(folder, role)) {
    case runtime::FolderJudgement::kProtected:
      break;
    case runtime::FolderJudgement::kChangeable:
      return kChangeable;
    case runtime::FolderJudgement::kUnknown:
      return kUnknown;
  }
  return runtime::OwnedByAdministration(folder) ? kSafe : kForeignOwner;
}

// What a walk does with the last folder of the path.
enum class Last { kJudge, kMake, kRemove };

struct WalkResult {
  Verdict verdict = kSafe;
  std::size_t reached = 0;  // the length of the path up to the folder the verdict is about
  bool found = false;       // the last folder exists (or was made)
  bool made = false;        // the last folder was made with its descriptor
};

// Goes down `path` from its drive's root and judges every folder on the way, the last one as the
// folder used and the others as folders above it. With kMake, missing folders are made, the last
// one with `descriptor`;
// the last folder's handle is left in `last` (kMake: to give it the descriptor; kRemove: held,
// with delete access and without delete sharing, so nobody can rename it until it is closed).
WalkResult Walk(const wchar_t* path, Last mode, void* descriptor, OwnedHandle& last) {
  WalkResult result;
  // A drive and at least one folder on it: the root itself is nobody's install folder.
  std::size_t begin = 0;
  std::size_t end = setup::FirstNameAt(path);
  if (end == 0 || !setup::NextName(path, end, &begin, &end)) {
    result.verdict = kUsage;
    return result;
  }
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  OwnedHandle folder;
  folder.Reset(CreateFileW(root, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  result.reached = 3;
  result.verdict = folder.Get() == INVALID_HANDLE_VALUE
                       ? kUnknown
                       : JudgeOpenFolder(folder.Get(), runtime::FolderRole::kAbove);
  if (result.verdict != kSafe) return result;
  for (bool more = true; more;) {
    const wchar_t* name = path + begin;
    const auto length = static_cast<USHORT>(end - begin);
    result.reached = end;
    std::size_t nextBegin = 0;
    std::size_t nextEnd = 0;
    more = setup::NextName(path, end, &nextBegin, &nextEnd);
    const bool isLast = !more;

    ACCESS_MASK access = READ_CONTROL;
    // Folders above share everything: standard users cannot rename them anyway once judged.
    ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (isLast && mode == Last::kMake) access |= WRITE_DAC | WRITE_OWNER;
    if (isLast && mode == Last::kRemove) {
      // Reading the folder makes the sharing count: no one else gets delete access meanwhile.
      access |= DELETE | FILE_LIST_DIRECTORY;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    OwnedHandle opened;
    NTSTATUS status =
        OpenInFolder(folder.Get(), name, length, access, share, FILE_OPEN, FILE_DIRECTORY_FILE, nullptr, opened.Out());
    if (status == kNotFound && mode == Last::kMake) {
      status = OpenInFolder(folder.Get(), name, length, access, share, FILE_CREATE, FILE_DIRECTORY_FILE,
                            isLast ? descriptor : nullptr, opened.Out());
      result.made = isLast && NT_SUCCESS(status);
      // Made by someone else in between: judged as found.
      if (status == kCollision) {
        status = OpenInFolder(folder.Get(), name, length, access, share, FILE_OPEN, FILE_DIRECTORY_FILE,
                              nullptr, opened.Out());
      }
    }
    if (status == kNotFound) return result;  // nothing there yet, nothing below it
    if (!NT_SUCCESS(status)) {
      opened.Reset(nullptr);
      result.verdict = mode == Last::kMake ? kFailed : kUnknown;
      return result;
    }
    result.verdict =
        JudgeOpenFolder(opened.Get(), isLast ? runtime::FolderRole::kItself : runtime::FolderRole::kAbove);
    if (result.verdict != kSafe) return result;
    folder.TakeFrom(opened);
    begin = nextBegin;
    end = nextEnd;
  }
  result.found = true;
  last.TakeFrom(folder);
  return result;
}

// The install folder is made with its descriptor or, when it was there already (and judged
// safe), given it through the handle, so its list passes on to what it holds.
WalkResult Make(const wchar_t* path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    return WalkResult{kUsage};
  }
  OwnedHandle folder;
  WalkResult result = Walk(path, Last::kMake, descriptor, folder);
  if (result.verdict == kSafe && !result.found) result.verdict = kFailed;
  if (result.verdict == kSafe && !result.made) {
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) ||
        SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, list, nullptr) != ERROR_SUCCESS) {
      result.verdict = kFailed;
    }
  }
  LocalFree(descriptor);
  return result;
}

// A file name without any folder in it.
bool IsPlainName(const wchar_t* name) {
  if (name[0] == L'\0' || lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0) return false;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c == L'\\' || *c == L'/' || *c == L':') return false;
  }
  return true;
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Deletes the files `names` of an earlier installation inside the folder the handle holds, from
// the judgement to the last deletion, then the folder itself unless something else is in it.
WalkResult Remove(const wchar_t* path, wchar_t** names, int count) {
  for (int i = 0; i < count; ++i) {
    if (!IsPlainName(names[i])) return WalkResult{kUsage};
  }
  OwnedHandle folder;
  WalkResult result = Walk(path, Last::kRemove, nullptr, folder);
  if (result.verdict != kSafe || !result.found) return result;
  for (int i = 0; i < count; ++i) {
    OwnedHandle file;
    const NTSTATUS status =
        OpenInFolder(folder.Get(), names[i], static_cast<USHORT>(lstrlenW(names[i])), DELETE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                     nullptr, file.Out());
    if (status == kNotFound) continue;
    if (!NT_SUCCESS(status) || !MarkForDeletion(file.Get())) result.verdict = kFailed;
  }
  // Refused while the folder holds anything else, which then stays with it.
  MarkForDeletion(folder.Get());
  return result;
}

// guard.txt: the folder the verdict is about.
void Report(const wchar_t* path, std::size_t length) {
  HANDLE file = CreateFileW(L"guard.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, path, static_cast<DWORD>(sizeof(wchar_t) * length), &written, nullptr);
  WriteFile(file, L"\r\n", 2 * sizeof(wchar_t), &written, nullptr);
  CloseHandle(file);
}

WalkResult Run(int argc, wchar_t** argv) {
  if (argc < 3) return WalkResult{kUsage};
  const wchar_t* verb = argv[1];
  const wchar_t* path = argv[2];
  if (lstrcmpW(verb, L"make") == 0 && argc == 4) return Make(path, argv[3]);
  if (lstrcmpW(verb, L"remove") == 0) return Remove(path, argv + 3, argc - 3);
  if (lstrcmpW(verb, L"judge") != 0 || argc != 3) return WalkResult{kUsage};
  OwnedHandle last;
  return Walk(path, Last::kJudge, nullptr, last);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return kUsage;
  const WalkResult result = Run(argc, argv);
  if (result.verdict >= kChangeable && result.verdict <= kUnknown) Report(argv[2], result.reached);
  LocalFree(argv);
  return result.verdict;
}

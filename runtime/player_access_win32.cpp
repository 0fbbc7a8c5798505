// The player's rights, as the token of the desktop's shell holds them.
#include <windows.h>
#include <aclapi.h>

#include "runtime/player_access.h"

namespace runtime {

namespace {

bool IsElevated(HANDLE token) {
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

// The shell runs as the player who is signed in; the elevated tool runs under the same user
// with the administrators' rights added. Where the shell is elevated itself (the built-in
// administrator, or UAC off), or the tool is not, both read alike.
void* PlatformPlayerToken() {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
  const bool elevated = IsElevated(own);
  CloseHandle(own);
  if (!elevated) return nullptr;

  const HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0) return nullptr;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return nullptr;
  HANDLE token = nullptr;
  const bool opened = OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token) != 0;
  CloseHandle(process);
  if (!opened) return nullptr;
  HANDLE impersonation = nullptr;
  if (!IsElevated(token) && !DuplicateToken(token, SecurityIdentification, &impersonation)) {
    impersonation = nullptr;
  }
  CloseHandle(token);
  return impersonation;
}

void PlatformCloseToken(void* token) { CloseHandle(token); }

void* PlatformDescriptorOf(void* file) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  constexpr SECURITY_INFORMATION kWanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, kWanted, nullptr, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return nullptr;
  }
  return descriptor;
}

void PlatformReleaseDescriptor(void* descriptor) { LocalFree(descriptor); }

constexpr PlayerAccessCalls kPlatformCalls = {PlatformPlayerToken, PlatformCloseToken,
                                              PlatformDescriptorOf, PlatformReleaseDescriptor};

}  // namespace

const PlayerAccessCalls& PlatformPlayerAccessCalls() { return kPlatformCalls; }

PlayerRead PlayerMayRead(const PlayerAccessCalls& calls, void* file) {
  void* const token = calls.playerToken();
  if (token == nullptr) return PlayerRead::kNobody;
  void* const descriptor = calls.descriptorOf(file);
  bool may = false;
  if (descriptor != nullptr) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges;
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    may = AccessCheck(descriptor, token, FILE_READ_DATA, &mapping, &privileges, &privilegesSize,
                      &granted, &status) &&
          status && (granted & FILE_READ_DATA);
    calls.releaseDescriptor(descriptor);
  }
  calls.closeToken(token);
  return may ? PlayerRead::kMay : PlayerRead::kMayNot;
}

AddOnFile::AddOnFile(const PlayerAccessCalls& calls, const WideText& path) {
  if (path.IsAbsent() || path.IsEmpty()) return;
  // A folder opens only with backup semantics, which this open does not ask for.
  const HANDLE file = CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Another program holds it: it is there, only the copy will fail (message 7, not 4).
    const DWORD error = GetLastError();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if ((error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) &&
        GetFileAttributesExW(path.CStr(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      size_ = static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    }
    return;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size) || PlayerMayRead(calls, file) == PlayerRead::kMayNot) {
    CloseHandle(file);
    return;
  }
  file_ = file;
  size_ = size.QuadPart;
}

AddOnFile::~AddOnFile() {
  if (file_ != nullptr) CloseHandle(file_);
}

void* AddOnFile::Release() {
  void* const file = file_;
  file_ = nullptr;
  size_ = -1;
  return file;
}

}  // namespace runtime

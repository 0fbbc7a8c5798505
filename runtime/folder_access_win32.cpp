#include <windows.h>
// After windows.h, which they build on.
#include <aclapi.h>

#include <initializer_list>

#include "runtime/folder_access_win32.h"
#include "runtime/memory.h"

namespace runtime {
namespace {

// Whether `sid` is S-1-<authority>-<parts...>.
bool IsSid(PSID sid, BYTE authority, std::initializer_list<DWORD> parts) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  const SID_IDENTIFIER_AUTHORITY* const found = GetSidIdentifierAuthority(sid);
  for (int i = 0; i < 5; ++i)
    if (found->Value[i] != 0) return false;
  if (found->Value[5] != authority || *GetSidSubAuthorityCount(sid) != parts.size()) return false;
  DWORD index = 0;
  for (const DWORD part : parts)
    if (*GetSidSubAuthority(sid, index++) != part) return false;
  return true;
}

Trustee TrusteeOf(PSID sid) {
  constexpr BYTE kWorld = 1;
  constexpr BYTE kNt = 5;
  if (IsSid(sid, kWorld, {0}) || IsSid(sid, kNt, {11}) || IsSid(sid, kNt, {32, 545}) ||
      IsSid(sid, kNt, {4})) {
    return Trustee::kStandardUsers;
  }
  if (IsSid(sid, kNt, {32, 544}) || IsSid(sid, kNt, {18}) ||
      IsSid(sid, kNt, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u})) {
    return Trustee::kAdministration;
  }
  return Trustee::kOther;
}

// The entry as the judgement weighs it. Entries of kinds a folder does not normally carry
// (object entries, whose trustee sits elsewhere) count as allowing standard users what they hold.
AccessEntry EntryOf(const ACE_HEADER* header) {
  const auto* plain = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
  AccessEntry entry{false, (header->AceFlags & INHERIT_ONLY_ACE) != 0, Trustee::kOther,
                    plain->Mask};
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
      entry.allows = true;
      entry.trustee = TrusteeOf(const_cast<DWORD*>(&plain->SidStart));
      break;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      break;
    default:
      entry.allows = true;
      entry.trustee = Trustee::kStandardUsers;
      break;
  }
  return entry;
}

// Under Wine, which names ntdll's own version.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsOwnUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  const bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                    EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

// The descriptor of the object `handle` holds, to be freed with LocalFree; null when unreadable.
PSECURITY_DESCRIPTOR DescriptorOf(void* handle, SECURITY_INFORMATION wanted) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, wanted, nullptr, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return nullptr;
  }
  return descriptor;
}

}  // namespace

FolderJudgement JudgeDescriptor(const void* descriptor, FolderRole role) {
  auto* const sd = const_cast<void*>(descriptor);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  PACL list = nullptr;
  if (sd == nullptr || !GetSecurityDescriptorOwner(sd, &owner, &defaulted) || owner == nullptr ||
      !GetSecurityDescriptorDacl(sd, &present, &list, &defaulted)) {
    return FolderJudgement::kUnknown;
  }
  FolderSecurity folder{TrusteeOf(owner), present && list != nullptr, nullptr, 0};
  AccessEntry* entries = nullptr;
  if (folder.hasList && list->AceCount > 0) {
    entries = static_cast<AccessEntry*>(Allocate(sizeof(AccessEntry) * list->AceCount));
    if (entries == nullptr) return FolderJudgement::kUnknown;
    for (DWORD i = 0; i < list->AceCount; ++i) {
      void* header = nullptr;
      if (!GetAce(list, i, &header)) {
        Release(entries);
        return FolderJudgement::kUnknown;
      }
      entries[folder.count++] = EntryOf(static_cast<const ACE_HEADER*>(header));
    }
    folder.entries = entries;
  }
  const bool changeable = StandardUsersMayChange(folder, role);
  Release(entries);
  return changeable ? FolderJudgement::kChangeable : FolderJudgement::kProtected;
}

FolderJudgement JudgeFolder(void* handle, FolderRole role) {
  PSECURITY_DESCRIPTOR descriptor =
      DescriptorOf(handle, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  if (descriptor == nullptr) return FolderJudgement::kUnknown;
  const FolderJudgement judgement = JudgeDescriptor(descriptor, role);
  LocalFree(descriptor);
  return judgement;
}

bool DescriptorOwnedByAdministration(const void* descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (descriptor == nullptr ||
      !GetSecurityDescriptorOwner(const_cast<void*>(descriptor), &owner, &defaulted) ||
      owner == nullptr) {
    return false;
  }
  return TrusteeOf(owner) == Trustee::kAdministration || (UnderWine() && IsOwnUser(owner));
}

bool OwnedByAdministration(void* handle) {
  PSECURITY_DESCRIPTOR descriptor = DescriptorOf(handle, OWNER_SECURITY_INFORMATION);
  if (descriptor == nullptr) return false;
  const bool owned = DescriptorOwnedByAdministration(descriptor);
  LocalFree(descriptor);
  return owned;
}

}  // namespace runtime

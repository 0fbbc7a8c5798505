#pragma once
// The folder judgement over the platform: a folder's descriptor read through a handle on it.
#include "runtime/folder_access.h"

namespace runtime {

enum class FolderJudgement {
  kProtected,   // no standard user may change it
  kChangeable,  // a standard user may change it
  kUnknown,     // its descriptor could not be read, or memory ran out: treat it as changeable
};

// A SECURITY_DESCRIPTOR holding the owner and the access list, self-relative or absolute. Tests
// build one from SDDL, since Wine keeps no access lists of its own.
FolderJudgement JudgeDescriptor(const void* descriptor, FolderRole role = FolderRole::kItself);

// The folder that `handle` holds open with READ_CONTROL: asked of the handle, not of a name, so
// it is the folder that will be used.
FolderJudgement JudgeFolder(void* handle, FolderRole role = FolderRole::kItself);

// Whether the owner is Administrators, SYSTEM or TrustedInstaller. Wine keeps no owners: every
// file there reads as owned by the Wine user, and under Wine, only, the process's own user
// counts as well.
bool DescriptorOwnedByAdministration(const void* descriptor);
bool OwnedByAdministration(void* handle);

}  // namespace runtime

#pragma once
// Who may change a folder, judged from its owner and its access list, never from its name. The
// tool and its setup run elevated: a folder that any player may change is one where a player can
// plant a link or a program for the next administrator to meet. Portable: the Win32 layer reads
// the folder's descriptor and hands its entries here.
#include <cstddef>
#include <cstdint>

namespace runtime {

// Who an owner or an access entry names.
enum class Trustee {
  kStandardUsers,   // Everyone, Authenticated Users, Users, Interactive: any player
  kAdministration,  // Administrators, SYSTEM, TrustedInstaller
  kOther,           // anyone else: one user, a service, a group of the domain
};

struct AccessEntry {
  bool allows;       // an allowing entry; denying ones are weighed as if absent
  bool inheritOnly;  // applies only to what is made inside, not to the folder itself
  Trustee trustee;
  std::uint32_t mask;
};

struct FolderSecurity {
  Trustee owner;
  bool hasList;  // false: no access list at all, which lets everyone do everything
  const AccessEntry* entries;
  std::size_t count;
};

// What is judged: the folder that is used itself, or one on the way to it.
enum class FolderRole {
  // Creating files or folders in it, deleting what it holds, deleting or renaming it, changing
  // its access list or its owner all count.
  kItself,
  // A folder above: creating new entries beside the way changes nothing on it (the root of a
  // system drive lets every user make folders), so only removing or renaming entries, deleting
  // or renaming the folder, and changing its list or owner count.
  kAbove,
};

// The rights that count for each role (folder rights: FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY,
// FILE_DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER, and the generic rights that hold them).
inline constexpr std::uint32_t kRightsThatChangeItself = 0x00000002u | 0x00000004u | 0x00000040u |
                                                         0x00010000u | 0x00040000u | 0x00080000u |
                                                         0x10000000u | 0x40000000u;
inline constexpr std::uint32_t kRightsThatChangeTheWay =
    0x00000040u | 0x00010000u | 0x00040000u | 0x00080000u | 0x10000000u;

// True when a standard user may change the folder in the given role: one of them owns it, it has
// no access list, or an allowing entry that applies to the folder itself gives one of them a
// right that counts. A denying entry changes nothing here: it keeps out only those it names,
// not a player who reaches the folder through another group, so ignoring it can only make a
// folder look more open than it is.
bool StandardUsersMayChange(const FolderSecurity& folder, FolderRole role = FolderRole::kItself);

}  // namespace runtime

#include "runtime/folder_access.h"

namespace runtime {

bool StandardUsersMayChange(const FolderSecurity& folder, FolderRole role) {
  if (folder.owner == Trustee::kStandardUsers || !folder.hasList) return true;
  const std::uint32_t counted =
      role == FolderRole::kItself ? kRightsThatChangeItself : kRightsThatChangeTheWay;
  for (std::size_t i = 0; i < folder.count; ++i) {
    const AccessEntry& entry = folder.entries[i];
    if (entry.allows && !entry.inheritOnly && entry.trustee == Trustee::kStandardUsers &&
        (entry.mask & counted) != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace runtime

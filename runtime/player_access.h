#pragma once
// The add-on read with the rights of the player who opened it, not with the tool's. The tool
// runs with administrator rights, but the path it is handed is one the player controls: a
// folder on it may have become a link to any file an administrator can read (a registry hive in
// a shadow copy, say), which the copy would then put where every user can read it.
#include <cstdint>

#include "runtime/wide_text.h"

namespace runtime {

// The platform calls behind the check, so that a test can stand in for the access lists and
// tokens that Wine does not keep.
struct PlayerAccessCalls {
  // A token of the player (the user of the desktop's shell) fit for an access check, or null
  // where no shell runs or it runs with the tool's own rights: then there is nobody to read for.
  void* (*playerToken)();
  void (*closeToken)(void* token);
  // The open file's security descriptor (owner, group, access list), or null when it cannot be
  // read; released with releaseDescriptor.
  void* (*descriptorOf)(void* file);
  void (*releaseDescriptor)(void* descriptor);
};

// The platform's own calls: the shell window's process (GetShellWindow), its token, and the
// file's descriptor (GetSecurityInfo on the handle).
const PlayerAccessCalls& PlatformPlayerAccessCalls();

enum class PlayerRead { kMay, kMayNot, kNobody };

// Whether the player may read the data of the open `file` (AccessCheck for FILE_READ_DATA
// against the file's own descriptor, so a link or a hard link on the way changes nothing).
// kNobody where there is no player to read for; a descriptor that cannot be read or checked
// counts as kMayNot.
PlayerRead PlayerMayRead(const PlayerAccessCalls& calls, void* file);

// The add-on, opened once by its path for the copy, and from then on reached only through that
// handle.
class AddOnFile {
 public:
  // Opens `path` for reading. Size() is the file's size in bytes, or -1 when the path reaches
  // no file, a folder, or a file the player could not read (PlayerMayRead says kMayNot). A file
  // that another program holds without sharing has its size, but nothing to Release().
  AddOnFile(const PlayerAccessCalls& calls, const WideText& path);
  ~AddOnFile();
  AddOnFile(const AddOnFile&) = delete;
  AddOnFile& operator=(const AddOnFile&) = delete;

  std::int64_t Size() const { return size_; }
  // Hands the open file over to its next owner (DuplicateIntoFolder); null when it is not open.
  void* Release();

 private:
  void* file_ = nullptr;
  std::int64_t size_ = -1;
};

}  // namespace runtime

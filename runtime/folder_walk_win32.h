#pragma once
// The way from a volume's root down to one folder, for a process with administrator rights in a
// tree that other users may change. Every folder is opened relative to the one above it, never
// by its whole path, and held without delete sharing until the way is closed, so no folder on it
// can be renamed, removed or swapped for a link meanwhile. A link on the way (junction, symbolic
// link, mount point) is followed only where standard users cannot change the folder that holds
// it: anywhere else it may have been put there to send an administrator's writes elsewhere.
#include <cstddef>

#include "runtime/wide_text.h"

namespace runtime {

enum class WayResult {
  kOpened,   // every folder is open; Folder() is the last one
  kMissing,  // a folder on the way is not there, is a file, or could not be opened
  kBarred,   // a link in a folder that standard users may change, or whose rights are unreadable
};

class FolderWay {
 public:
  FolderWay() = default;
  ~FolderWay();  // closes every folder of the way
  FolderWay(const FolderWay&) = delete;
  FolderWay& operator=(const FolderWay&) = delete;

  // Opens the way to `folder`, a full path or one relative to the working directory, resolved
  // once (GetFullPathNameW). The last folder is opened for adding files and listing. Opens a
  // way only once; a second call gives kMissing.
  WayResult Open(const WideText& folder);

  // The last folder, open, or null when the way is not open.
  void* Folder() const;
  // The folder's full path as it was resolved, ending in a backslash: for the by-name calls
  // that some file systems need. Empty when the way is not open.
  const WideText& FullPath() const { return full_; }

 private:
  bool Hold(void* handle);

  void** handles_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
  bool opened_ = false;
  WideText full_ = WideText(L"");
};

}  // namespace runtime

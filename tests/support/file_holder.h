#pragma once
// Test support: another process that holds a file open, and running a child process with an
// exact command line. Cross build only.
#include <windows.h>

#include <string>

// Opens `path` in a separate process (hold_file.exe) with CreateFileA(access, shareMode,
// creation) and keeps it open until Release() or destruction. The constructor returns once the
// file is held or the open failed. The holder ends by itself after 60 s.
class FileHolder {
 public:
  FileHolder(const char* holderExe, const char* path, unsigned long access,
             unsigned long shareMode, unsigned long creation = OPEN_EXISTING);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  bool Held() const { return held_; }
  // Closes the file and waits for the holder to end; safe to call twice.
  void Release();

 private:
  bool held_ = false;
  HANDLE process_ = nullptr;
  HANDLE release_ = nullptr;
};

// Runs a process with exactly `commandLine` (CreateProcessA, no application name) and waits up
// to 60 s for it. Returns its exit code, or -1 when it could not be started or did not end in
// time (it is then ended). With `output`, that receives what the process wrote to stdout.
int RunChild(const char* commandLine, std::string* output);

// The full path of `fileName` in the folder of the running executable.
std::string PathBesideExecutable(const char* fileName);

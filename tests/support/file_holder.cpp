#include "tests/support/file_holder.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kChildTimeoutMs = 60000;

std::string UniqueEventName(const char* role) {
  static LONG counter = 0;
  char name[96];
  std::snprintf(name, sizeof name, "fs-hold-%lu-%ld-%s",
                static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<long>(InterlockedIncrement(&counter)), role);
  return name;
}

void CloseIfOpen(HANDLE* handle) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = nullptr;
}

}  // namespace

FileHolder::FileHolder(const char* holderExe, const char* path, unsigned long access,
                       unsigned long shareMode, unsigned long creation) {
  const std::string readyName = UniqueEventName("ready");
  const std::string releaseName = UniqueEventName("release");
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
  release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
  if (ready == nullptr || release_ == nullptr) {
    CloseIfOpen(&ready);
    CloseIfOpen(&release_);
    return;
  }

  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " %lx %lx %lx ", access, shareMode, creation);
  std::string line = std::string("\"") + holderExe + "\"" + numbers + readyName + " " +
                     releaseName + " " + path;
  std::vector<char> mutableLine(line.begin(), line.end());
  mutableLine.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    CloseIfOpen(&ready);
    CloseIfOpen(&release_);
    return;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;

  // Either the holder signals that it holds the file, or it ends because the open failed.
  const HANDLE waitFor[] = {ready, process_};
  const DWORD waited = WaitForMultipleObjects(2, waitFor, FALSE, kStartTimeoutMs);
  held_ = waited == WAIT_OBJECT_0;
  CloseIfOpen(&ready);
  if (!held_) Release();
}

FileHolder::~FileHolder() { Release(); }

void FileHolder::Release() {
  held_ = false;
  if (release_ != nullptr) SetEvent(release_);
  if (process_ != nullptr && WaitForSingleObject(process_, kStartTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 4);
    WaitForSingleObject(process_, kStartTimeoutMs);
  }
  CloseIfOpen(&process_);
  CloseIfOpen(&release_);
}

int RunChild(const char* commandLine, std::string* output) {
  if (output != nullptr) output->clear();
  // The output goes to a file, not a pipe: a pipe stays open as long as any process that
  // inherited it lives, a file is simply read once the child has ended.
  HANDLE outputFile = INVALID_HANDLE_VALUE;
  if (output != nullptr) {
    char folder[MAX_PATH];
    char name[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "out", 0, name)) return -1;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    outputFile = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (outputFile == INVALID_HANDLE_VALUE) return -1;
  }

  std::vector<char> mutableLine(commandLine, commandLine + std::strlen(commandLine) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outputFile;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, output != nullptr, 0,
                      nullptr, nullptr, &startup, &info)) {
    CloseIfOpen(&outputFile);
    return -1;
  }
  CloseHandle(info.hThread);

  int code = -1;
  if (WaitForSingleObject(info.hProcess, kChildTimeoutMs) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    if (GetExitCodeProcess(info.hProcess, &exitCode)) code = static_cast<int>(exitCode);
  } else {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, kChildTimeoutMs);
  }
  CloseHandle(info.hProcess);

  if (output != nullptr) {
    SetFilePointer(outputFile, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(outputFile, chunk, sizeof chunk, &got, nullptr) && got > 0) {
      output->append(chunk, got);
    }
    CloseIfOpen(&outputFile);
  }
  return code;
}

std::string PathBesideExecutable(const char* fileName) {
  char own[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string path(own, length < MAX_PATH ? length : 0);
  const std::size_t slash = path.find_last_of("\\/");
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  return path + fileName;
}

// Reads the run's two keys from one settings file, once, as the tool does, and prints the
// time it took in microseconds: through the tool's own store ("store"), through the earlier
// store that parsed every line into a record at open ("earlier", over the same file calls) or
// through the platform's GetPrivateProfileStringA ("profile"). "read" is the floor any reader
// stands on: one plain CreateFileA, ReadFile, CloseHandle of the whole file into a fresh
// buffer. One process per measurement, so no side profits from an earlier read in the process.
//
//   bench_settings.exe store|earlier|profile|read PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/settings.h"
#include "tests/settings/reference/settings_store.h"

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

// The size read, or 0. The buffer is not released: the floor stays as low as it can be.
DWORD ReadWhole(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const DWORD size = GetFileSize(file, nullptr);
  DWORD got = 0;
  void* buffer = std::malloc(size + 2);
  if (buffer == nullptr || !ReadFile(file, buffer, size, &got, nullptr)) got = 0;
  CloseHandle(file);
  return got;
}

// The earlier store over the file, with the file calls the tool makes.
void ReadEarlier(const char* path, runtime::Text* pakset, runtime::Text* directory) {
  reference::SettingsStore store;
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD size = GetFileSize(file, nullptr);
  char mark[3] = {};
  DWORD got = 0;
  std::int32_t encoding = reference::kSettingsPlain;
  if (ReadFile(file, mark, 3, &got, nullptr) && got == 3 &&
      reference::IsUtf8ByteOrderMark(mark)) {
    encoding = reference::kSettingsUtf8;
    size -= 3;
  } else {
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  }
  store.OpenWithFile(encoding);
  if (char* room = store.ReserveContent(size)) {
    if (!ReadFile(file, room, size, &got, nullptr)) got = 0;
    store.TakeContent(got);
  }
  store.SelectGroup("Tavelmark");
  *pakset = store.Read("default_pakset", "pak");
  *directory = store.Read("morvenholt_directory", "C:\\");
  store.Close();
  CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_settings store|earlier|profile|read PATH\n");
    return 2;
  }
  const char* mode = argv[1];
  const char* path = argv[2];
  char pakset[512] = "";
  char directory[512] = "";

  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (std::strcmp(mode, "store") == 0) {
    runtime::OpenSettings(path);
    runtime::SelectSettingsGroup("Tavelmark");
    const runtime::Text a = runtime::ReadSetting("default_pakset", "pak");
    const runtime::Text b = runtime::ReadSetting("morvenholt_directory", "C:\\");
    runtime::CloseSettings();
    lstrcpynA(pakset, a.CStr(), sizeof pakset);
    lstrcpynA(directory, b.CStr(), sizeof directory);
  } else if (std::strcmp(mode, "earlier") == 0) {
    runtime::Text a;
    runtime::Text b;
    ReadEarlier(path, &a, &b);
    lstrcpynA(pakset, a.CStr(), sizeof pakset);
    lstrcpynA(directory, b.CStr(), sizeof directory);
  } else if (std::strcmp(mode, "read") == 0) {
    wsprintfA(pakset, "%lu", ReadWhole(path));
    lstrcpyA(directory, "bytes");
  } else {
    GetPrivateProfileStringA("Tavelmark", "default_pakset", "pak", pakset, sizeof pakset, path);
    GetPrivateProfileStringA("Tavelmark", "morvenholt_directory", "C:\\", directory,
                             sizeof directory, path);
  }
  QueryPerformanceCounter(&end);

  // The values are printed so that a wrong read shows up in the report instead of a fast one.
  std::printf("%.1f %s %s\n", Microseconds(start, end), pakset, directory);
  return 0;
}

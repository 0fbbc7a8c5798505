// Reads the run's two keys from one settings file, once, as the tool does, and prints the
// time it took in microseconds: through the tool's own store ("store") or through the
// platform's GetPrivateProfileStringA ("profile"). "read" is the floor any reader stands on:
// one plain CreateFileA, ReadFile, CloseHandle of the whole file into a fresh buffer. One
// process per measurement, so no side profits from a cache of an earlier read in the process.
//
//   bench_settings.exe store|profile|read PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/settings.h"

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

// The size read, or 0. The buffer is left to the end of the process.
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_settings store|profile|read PATH\n");
    return 2;
  }
  const bool store = std::strcmp(argv[1], "store") == 0;
  const bool plain = std::strcmp(argv[1], "read") == 0;
  const char* path = argv[2];
  char pakset[512] = "";
  char directory[512] = "";

  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (store) {
    runtime::OpenSettings(path);
    runtime::SelectSettingsGroup("Tavelmark");
    const runtime::Text a = runtime::ReadSetting("default_pakset", "pak");
    const runtime::Text b = runtime::ReadSetting("morvenholt_directory", "C:\\");
    runtime::CloseSettings();
    lstrcpynA(pakset, a.CStr(), sizeof pakset);
    lstrcpynA(directory, b.CStr(), sizeof directory);
  } else if (plain) {
    // The buffer is not released inside the timing: the floor stays as low as it can be.
    const DWORD got = ReadWhole(path);
    wsprintfA(pakset, "%lu", got);
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

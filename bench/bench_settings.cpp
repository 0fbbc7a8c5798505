// Reads the run's two keys from one settings file, once, as the tool does, and prints the
// time it took in microseconds: through the tool's own store ("store") or through the
// platform's GetPrivateProfileStringA ("profile"). One process per measurement, so neither
// side profits from a cache of an earlier read in the same process.
//
//   bench_settings.exe store|profile PATH
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "runtime/settings.h"

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_settings store|profile PATH\n");
    return 2;
  }
  const bool store = std::strcmp(argv[1], "store") == 0;
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

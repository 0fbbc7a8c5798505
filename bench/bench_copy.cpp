// Copies a file over an older copy of it and prints the time in milliseconds: through the
// tool's DuplicateFile (temporary file, flushed, then replace), through a plain CopyFileA, or
// through CopyFileA followed by a flush of the destination (the same durability as the tool's),
// or through DuplicateFile with the tool's progress window shown from the first block on.
//
//   bench_copy.exe duplicate|duplicate-window|copyfile|copyfile-flush SOURCE DESTINATION
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "runtime/copy_progress_window.h"
#include "runtime/file_system.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_copy duplicate|duplicate-window|copyfile|copyfile-flush "
                         "SOURCE DESTINATION\n");
    return 2;
  }
  const bool window = std::strcmp(argv[1], "duplicate-window") == 0;
  const bool duplicate = window || std::strcmp(argv[1], "duplicate") == 0;
  CoInitialize(nullptr);  // as the tool, for the taskbar button's bar
  const bool flush = std::strcmp(argv[1], "copyfile-flush") == 0;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  wchar_t source[MAX_PATH] = {};
  wchar_t destination[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, argv[2], -1, source, MAX_PATH);
  MultiByteToWideChar(CP_ACP, 0, argv[3], -1, destination, MAX_PATH);
  bool ok = false;
  if (duplicate) {
    if (window) {
      runtime::CopyProgressWindow progress("Morvenholt-Erweiterung wird installiert",
                                           "Die Morvenholt-Erweiterung wird kopiert \x85",
                                           runtime::WideText(L"bench.pak"),
                                           "Die Morvenholt-Erweiterung '", "' wird gerade installiert.");
      progress.ShowAtOnce();
      ok = progress.Duplicate(source, destination) != 0;
    } else {
      ok = runtime::DuplicateFile(source, destination) != 0;
    }
  } else {
    ok = CopyFileA(argv[2], argv[3], FALSE) != 0;
  }
  if (ok && flush) {
    const HANDLE copy = CreateFileA(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
  }
  QueryPerformanceCounter(&end);
  std::printf("%.1f %s\n",
              static_cast<double>(end.QuadPart - start.QuadPart) * 1e3 /
                  static_cast<double>(frequency.QuadPart),
              ok ? "ok" : "failed");
  return ok ? 0 : 1;
}

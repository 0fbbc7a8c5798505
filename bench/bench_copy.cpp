// Copies a file over an older copy of it and prints the time in milliseconds: through the
// tool's DuplicateFile (temporary file, then replace) or through a plain CopyFileA.
//
//   bench_copy.exe duplicate|copyfile SOURCE DESTINATION
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "runtime/file_system.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_copy duplicate|copyfile SOURCE DESTINATION\n");
    return 2;
  }
  const bool duplicate = std::strcmp(argv[1], "duplicate") == 0;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const bool ok = duplicate ? runtime::DuplicateFile(argv[2], argv[3]) != 0
                            : CopyFileA(argv[2], argv[3], FALSE) != 0;
  QueryPerformanceCounter(&end);
  std::printf("%.1f %s\n",
              static_cast<double>(end.QuadPart - start.QuadPart) * 1e3 /
                  static_cast<double>(frequency.QuadPart),
              ok ? "ok" : "failed");
  return ok ? 0 : 1;
}

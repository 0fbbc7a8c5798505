// Copies a file over an older copy of it and prints the time in milliseconds: through the
// tool's DuplicateFile (temporary file, flushed, then replace), through a plain CopyFileA, or
// through CopyFileA followed by a flush of the destination (the same durability as the tool's),
// or through DuplicateFile with the tool's progress window shown from the first block on. With
// the window, a second figure: the longest the window kept a message waiting while it showed,
// asked from another thread as often as it answers, as the system asks before it calls a window
// "not responding".
//
//   bench_copy.exe duplicate|duplicate-window|copyfile|copyfile-flush SOURCE DESTINATION
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "runtime/copy_progress_window.h"
#include "runtime/file_system.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e3 /
         static_cast<double>(frequency.QuadPart);
}

// Sends the progress window an empty message, again and again until `done`, and keeps the
// longest time it took to be handled.
void WatchWindow(const std::atomic<bool>& done, double& longestMs) {
  while (!done.load()) {
    const HWND window = FindWindowW(L"CopyProgress", nullptr);
    DWORD process = 0;
    if (window == nullptr || (GetWindowThreadProcessId(window, &process), process) !=
                                 GetCurrentProcessId()) {
      Sleep(1);
      continue;
    }
    LARGE_INTEGER sent, handled;
    QueryPerformanceCounter(&sent);
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0) {
      QueryPerformanceCounter(&handled);
      const double ms = Milliseconds(sent, handled);
      if (ms > longestMs) longestMs = ms;
    }
    Sleep(1);
  }
}

}  // namespace

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
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  wchar_t source[MAX_PATH] = {};
  wchar_t destination[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, argv[2], -1, source, MAX_PATH);
  MultiByteToWideChar(CP_ACP, 0, argv[3], -1, destination, MAX_PATH);
  bool ok = false;
  std::atomic<bool> done{false};
  double longestWaitMs = 0;
  std::thread watcher;
  if (window) watcher = std::thread(WatchWindow, std::cref(done), std::ref(longestWaitMs));
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
  done = true;
  if (watcher.joinable()) watcher.join();
  std::printf("%.1f %s %.1f\n", Milliseconds(start, end), ok ? "ok" : "failed", longestWaitMs);
  return ok ? 0 : 1;
}

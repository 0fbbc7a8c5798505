// Measures, for one start of a program, the time from CreateProcessA until its prompt is on
// screen and takes keys (an edit box of its window has the keyboard focus), and the process's
// peak working set at that moment. Then it cancels the prompt (WM_CLOSE) and waits for the end.
//
//   bench_prompt.exe "COMMAND LINE" [WORKING DIRECTORY]
// prints: MILLISECONDS PEAK_WORKING_SET_KB EXIT_CODE
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

namespace {

struct Search {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK TakeWindowOfProcess(HWND window, LPARAM value) {
  auto* search = reinterpret_cast<Search*>(value);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && IsWindowVisible(window)) {
    search->window = window;
    return FALSE;
  }
  return TRUE;
}

// The window whose edit box has the focus, or null.
HWND PromptReadyFor(DWORD processId, DWORD threadId) {
  Search search = {processId, nullptr};
  EnumWindows(TakeWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  if (search.window == nullptr) return nullptr;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId, &info) || info.hwndFocus == nullptr) return nullptr;
  char className[16] = "";
  GetClassNameA(info.hwndFocus, className, sizeof className);
  return lstrcmpiA(className, "Edit") == 0 ? search.window : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_prompt \"COMMAND LINE\" [WORKING DIRECTORY]\n");
    return 2;
  }
  char commandLine[2048];
  lstrcpynA(commandLine, argv[1], sizeof commandLine);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};

  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                      argc > 2 ? argv[2] : nullptr, &startup, &process)) {
    std::fprintf(stderr, "bench_prompt: cannot start %s\n", argv[1]);
    return 1;
  }
  HWND prompt = nullptr;
  double elapsed = 0;
  do {
    prompt = PromptReadyFor(process.dwProcessId, process.dwThreadId);
    QueryPerformanceCounter(&now);
    elapsed = static_cast<double>(now.QuadPart - start.QuadPart) * 1e3 /
              static_cast<double>(frequency.QuadPart);
    if (prompt == nullptr) Sleep(1);
  } while (prompt == nullptr && elapsed < 20000);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
  if (prompt != nullptr) PostMessageA(prompt, WM_CLOSE, 0, 0);
  DWORD exitCode = 259;
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (prompt == nullptr) {
    std::fprintf(stderr, "bench_prompt: no prompt within 20 s\n");
    return 1;
  }
  std::printf("%.1f %lu %lu\n", elapsed,
              static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
              static_cast<unsigned long>(exitCode));
  return 0;
}

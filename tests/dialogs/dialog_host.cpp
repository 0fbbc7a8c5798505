// A small program of the dialog tests: runs ShowMessage or InputRequester as named on its
// command line, around windows of its own, and writes what it saw to a result file.
//
//   dialog_host RESULT_FILE input TITLE_HEX PROMPT_HEX INITIAL_HEX|- [flags]
// (texts as "x" followed by their bytes in hex, "-" for no text)
//   dialog_host RESULT_FILE message TITLE_HEX TEXT_HEX [flags]
//   dialog_host RESULT_FILE progress CAPTION_HEX BEFORE_HEX NAME_UTF8_HEX AFTER_HEX MS [flags]
// (the window of a copy of 1 GiB that takes MS milliseconds, its steps paced by the clock)
// flags:
//   --windows            windows of its own: "fg" (foreground), "other", "hidden", "disabled",
//                        and "thread2" made by a second thread
//   --foreground NAME    which of them is brought to the foreground before each call
//   --twice              the call twice in a row
//   --fail-alloc N       the N-th allocation of each call fails
//   --inspect            look at the running dialog from inside (fonts, room for the texts,
//                        owner, window states) and then signal the event
//                        "dialog_host_inspected_<pid>"
//   --nested             after the inspection, call InputRequester from inside the dialog
//   --dpi-change DPI     after the inspection, tell the dialog it is now on a monitor of DPI
//                        (Wine has one scale for all monitors), suggesting 100,100 and its
//                        size scaled from 96 dpi, and look again ("changed." results)
// Result lines are "key=value"; texts in hex.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/copy_progress_window.h"
#include "runtime/input_dialog.h"
#include "runtime/memory.h"
#include "runtime/message_box.h"

namespace {

std::string results;
int call_number = 0;
HANDLE inspected_event = nullptr;
bool call_nested = false;
int dpi_change = 0;

struct HostWindow {
  const char* name;
  HWND window;
};
std::vector<HostWindow> host_windows;
HWND thread2_window = nullptr;

void Result(const std::string& key, const std::string& value) {
  results += "call" + std::to_string(call_number) + "." + key + "=" + value + "\n";
}

std::string Hex(const char* bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    const auto value = static_cast<unsigned char>(bytes[i]);
    hex += digits[value >> 4];
    hex += digits[value & 15];
  }
  return hex;
}

// "-" is no text at all; otherwise "x" followed by the bytes in hex.
runtime::Text FromHex(const char* hex) {
  if (std::strcmp(hex, "-") == 0) return runtime::Text();
  if (*hex == 'x') ++hex;
  std::string bytes;
  for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    const char pair[3] = {hex[i], hex[i + 1], 0};
    bytes += static_cast<char>(std::strtol(pair, nullptr, 16));
  }
  return runtime::Text(bytes.data(), bytes.size());
}

const char* NameOf(HWND window) {
  for (const HostWindow& w : host_windows)
    if (w.window == window) return w.name;
  return window ? "unknown" : "none";
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// WM_ENABLE of the host's own windows and the dialog's destruction, in the order they happen.
std::string events;
LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    const std::string cls = ClassOf(message->hwnd);
    if (message->message == WM_ENABLE && cls == "HostWindow")
      events += std::string(events.empty() ? "" : ",") + "enable " + NameOf(message->hwnd) +
                (message->wParam ? " 1" : " 0");
    if (message->message == WM_DESTROY &&
        (cls == "InputRequester" || cls == "#32770" || cls == "CopyProgress"))
      events += std::string(events.empty() ? "" : ",") + "destroy " + cls;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND FindDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM value) WINAPI -> BOOL {
        const std::string cls = ClassOf(window);
        if (cls == "InputRequester" || cls == "#32770" || cls == "CopyProgress") {
          *reinterpret_cast<HWND*>(value) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void ReportWindowStates(const char* when) {
  for (const HostWindow& w : host_windows) {
    Result(std::string(when) + "." + w.name + ".enabled", IsWindowEnabled(w.window) ? "1" : "0");
    Result(std::string(when) + "." + w.name + ".visible", IsWindowVisible(w.window) ? "1" : "0");
  }
}

std::string SizeText(LONG width, LONG height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Per control, what cannot be read from another process: its font (the stock one, another or
// none) and the font's height, the room its text takes in that font, and its client area.
void ReportControls(HWND dialog, const std::string& prefix) {
  HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string id = std::to_string(GetDlgCtrlID(child));
    const auto font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    Result(prefix + "font." + id,
           font == stock ? "default_gui" : font == nullptr ? "none" : "other");
    LOGFONTA face{};
    if (font != nullptr && GetObjectA(font, sizeof face, &face) != 0)
      Result(prefix + "font." + id + ".height", std::to_string(face.lfHeight));
    char text[256] = {};
    const int length = GetWindowTextA(child, text, sizeof text);
    HDC dc = GetDC(child);
    HGDIOBJ before = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    SIZE size{};
    GetTextExtentPoint32A(dc, text, length, &size);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(child, dc);
    RECT client{};
    GetClientRect(child, &client);
    Result(prefix + "text." + id, SizeText(size.cx, std::max(size.cy, metrics.tmHeight)));
    Result(prefix + "client." + id, SizeText(client.right, client.bottom));
  }
}

// Runs inside the dialog's loop: the thread timer is dispatched from there.
void CALLBACK Inspect(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = FindDialog();
  if (dialog == nullptr) return;
  const std::string dialogClass = ClassOf(dialog);
  HWND last = GetDlgItem(dialog, dialogClass == "#32770"         ? IDOK
                                 : dialogClass == "CopyProgress" ? IDCANCEL
                                                                 : 1000);
  if (last == nullptr) return;  // still being built
  KillTimer(nullptr, timer);
  Result("dialog.owner", NameOf(GetWindow(dialog, GW_OWNER)));
  Result("font.dialog", SendMessageA(dialog, WM_GETFONT, 0, 0) == 0 ? "none" : "set");
  if (ClassOf(dialog) == "InputRequester") {
    Result("class.style", std::to_string(GetClassLongA(dialog, GCL_STYLE)));
    Result("class.brush", std::to_string(GetClassLongPtrA(dialog, GCLP_HBRBACKGROUND)));
    Result("class.arrow", reinterpret_cast<HCURSOR>(GetClassLongPtrA(dialog, GCLP_HCURSOR)) ==
                                  LoadCursorA(nullptr, IDC_ARROW)
                              ? "1"
                              : "0");
    Result("class.icons", std::to_string(GetClassLongPtrA(dialog, GCLP_HICON)) + "," +
                              std::to_string(GetClassLongPtrA(dialog, GCLP_HICONSM)));
    Result("class.extra", std::to_string(GetClassLongA(dialog, GCL_CBCLSEXTRA)) + "," +
                              std::to_string(GetClassLongA(dialog, GCL_CBWNDEXTRA)));
    Result("class.module_is_program",
           reinterpret_cast<HMODULE>(GetClassLongPtrA(dialog, GCLP_HMODULE)) ==
                   GetModuleHandleA(nullptr)
               ? "1"
               : "0");
    Result("window.menu", GetMenu(dialog) == nullptr ? "none" : "set");
  }
  ReportControls(dialog, "");
  ReportWindowStates("during");
  if (dpi_change > 0) {
    const bool progress = dialogClass == "CopyProgress";
    RECT suggested = {100, 100, 100 + MulDiv(progress ? 420 : 300, dpi_change, 96),
                      100 + MulDiv(progress ? 160 : 130, dpi_change, 96)};
    SendMessageA(dialog, WM_DPICHANGED, MAKEWPARAM(dpi_change, dpi_change),
                 reinterpret_cast<LPARAM>(&suggested));
    ReportControls(dialog, "changed.");
  }
  if (call_nested) {
    const runtime::Text nested = runtime::InputRequester("nested", "nested", "nested");
    Result("nested.text", Hex(nested.CStr(), nested.Length()));
    Result("nested.cancelled", runtime::InputRequesterWasCancelled() ? "1" : "0");
  }
  SetEvent(inspected_event);
}

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* name, int index, bool visible) {
  HWND window = CreateWindowExA(0, "HostWindow", name, WS_OVERLAPPEDWINDOW, 20 + 230 * index, 20,
                                220, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  // Shown without activation: only the window made foreground below ever gets the focus, so
  // no late focus event of the display hands it to another one.
  if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
  host_windows.push_back({name, window});
  return window;
}

DWORD WINAPI SecondThread(LPVOID ready) {
  thread2_window = CreateWindowExA(0, "HostWindow", "thread2", WS_OVERLAPPEDWINDOW, 20 + 230 * 4,
                                   20, 220, 120, nullptr, nullptr, GetModuleHandleA(nullptr),
                                   nullptr);
  ShowWindow(thread2_window, SW_SHOWNOACTIVATE);
  SetEvent(static_cast<HANDLE>(ready));
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  DestroyWindow(thread2_window);
  return 0;
}

void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  MSG message;
  while (GetTickCount() - start < milliseconds) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// A copy of 1 GiB that takes `ms` milliseconds, in the steps DuplicateFile takes: one before the
// first block, one after each block, one after the flush. True when it was stopped.
bool PacedCopy(const runtime::CopyProgress* progress, DWORD ms) {
  constexpr std::int64_t kTotal = std::int64_t{1} << 30;
  constexpr std::int64_t kBlock = 256 << 10;
  if (progress == nullptr) return false;
  if (!progress->step(progress->context, 0, kTotal)) return true;
  const DWORD start = GetTickCount();
  for (std::int64_t copied = 0; copied < kTotal;) {
    const std::int64_t due = kTotal * (GetTickCount() - start) / ms;
    if (copied >= due) {
      Sleep(1);
      continue;
    }
    copied = std::min(copied + kBlock, kTotal);
    if (!progress->step(progress->context, copied, kTotal)) return true;
  }
  return !progress->step(progress->context, kTotal, kTotal);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const int argc = __argc;
  char** argv = __argv;
  if (argc < 5) return 2;
  const char* resultPath = argv[1];
  const std::string action = argv[2];
  int firstFlag = action == "input" ? 6 : action == "progress" ? 8 : 5;
  if (argc < firstFlag) return 2;

  bool windows = false, twice = false, inspect = false;
  int failAlloc = 0;
  std::string foreground;
  for (int i = firstFlag; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--windows") windows = true;
    else if (flag == "--twice") twice = true;
    else if (flag == "--inspect") inspect = true;
    else if (flag == "--nested") call_nested = true;
    else if (flag == "--dpi-change" && i + 1 < argc) dpi_change = std::atoi(argv[++i]);
    else if (flag == "--fail-alloc" && i + 1 < argc) failAlloc = std::atoi(argv[++i]);
    else if (flag == "--foreground" && i + 1 < argc) foreground = argv[++i];
    else return 2;
  }

  const std::string eventName = "dialog_host_inspected_" + std::to_string(GetCurrentProcessId());
  inspected_event = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = HostProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "HostWindow";
  RegisterClassExA(&windowClass);

  HANDLE thread = nullptr;
  DWORD threadId = 0;
  if (windows) {
    MakeWindow("fg", 0, true);
    MakeWindow("other", 1, true);
    MakeWindow("hidden", 2, false);
    EnableWindow(MakeWindow("disabled", 3, true), FALSE);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread = CreateThread(nullptr, 0, SecondThread, ready, 0, &threadId);
    WaitForSingleObject(ready, 5000);
    CloseHandle(ready);
    host_windows.push_back({"thread2", thread2_window});
    if (foreground.empty()) foreground = "fg";
  }
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchMessages, nullptr, GetCurrentThreadId());

  const runtime::Text first = FromHex(argv[3]);
  const runtime::Text second = FromHex(argv[4]);
  const runtime::Text initial = action != "message" ? FromHex(argv[5]) : runtime::Text();

  for (call_number = 1; call_number <= (twice ? 2 : 1); ++call_number) {
    for (const HostWindow& w : host_windows)
      if (foreground == w.name) SetForegroundWindow(w.window);
    // The display answers a change of focus with its own events; let them arrive before the
    // call, as they would have long before a person gets to the next step.
    PumpFor(150);
    ReportWindowStates("before");
    Result("before.foreground", NameOf(GetForegroundWindow()));
    events.clear();
    if (inspect) SetTimer(nullptr, 0, 20, Inspect);
    if (failAlloc > 0) runtime::FailAllocationAfter(failAlloc);
    const DWORD start = GetTickCount();
    if (action == "progress") {
      // COM as the tool sets it up, for the taskbar button's bar.
      CoInitialize(nullptr);
      const runtime::CopyProgressWindow window(first, second, runtime::WideFromUtf8(initial),
                                               FromHex(argv[6]));
      const bool stopped = PacedCopy(window.Progress(), static_cast<DWORD>(std::atoi(argv[7])));
      Result("stopped", stopped ? "1" : "0");
    } else if (action == "input") {
      const runtime::Text answer = runtime::InputRequester(first, second, initial);
      Result("ms", std::to_string(GetTickCount() - start));
      Result("text", Hex(answer.CStr(), answer.Length()));
      Result("cancelled", runtime::InputRequesterWasCancelled() ? "1" : "0");
    } else {
      const std::int32_t answer = runtime::ShowMessage(first, second);
      Result("ms", std::to_string(GetTickCount() - start));
      Result("result", std::to_string(answer));
    }
    runtime::FailAllocationAfter(0);
    MSG quit;
    Result("quit", PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)
                       ? std::to_string(quit.wParam)
                       : "none");
    Result("events", events);
    ReportWindowStates("after");
    // A record left behind for this thread would re-enable this window now.
    if (windows) {
      EnableWindow(host_windows[1].window, FALSE);
      runtime::RestoreThreadWindows();
      Result("after.stale_entry", IsWindowEnabled(host_windows[1].window) ? "1" : "0");
      EnableWindow(host_windows[1].window, TRUE);
    }
  }

  if (hook) UnhookWindowsHookEx(hook);
  if (thread) {
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
  for (const HostWindow& w : host_windows)
    if (w.window != thread2_window) DestroyWindow(w.window);

  FILE* file = std::fopen(resultPath, "wb");
  if (file == nullptr) return 3;
  std::fwrite(results.data(), 1, results.size(), file);
  std::fclose(file);
  return 0;
}

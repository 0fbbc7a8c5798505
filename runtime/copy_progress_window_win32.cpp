#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <shobjidl.h>

#include <cstring>

#include "runtime/copy_progress.h"
#include "runtime/copy_progress_window.h"
#include "runtime/display_scale_win32.h"
#include "runtime/input_dialog_layout.h"
#include "runtime/memory.h"
#include "runtime/message_box.h"

namespace runtime {
namespace {

constexpr wchar_t kClassName[] = L"CopyProgress";
constexpr int kLabelId = 100;
constexpr int kBarId = 101;
constexpr int kLineId = 102;
constexpr int kCancelCommand = IDCANCEL;  // the button, Escape
constexpr const char* kButtonText = "Abbrechen";
constexpr const char* kStoppingText = "Wird abgebrochen \x85";
// Messages are looked at this often: a stop takes effect at once for a person, and the copy
// still runs at the disk's speed (each look is a round trip to the window system).
constexpr DWORD kPumpMs = 20;
// The taskbar button's bar moves this often at most.
constexpr DWORD kTaskbarMs = 250;
// A flood of messages must not hold up the copy: the rest wait for the next look.
constexpr int kMessagesPerLook = 64;

// The shell's taskbar list and its interface with the progress bar, named here: the library
// that names them holds every shell identifier, some 36 KB the program would carry for two.
constexpr CLSID kTaskbarList = {
    0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};
constexpr IID kTaskbarList3 = {
    0xea1afb91, 0x9e28, 0x4b86, {0x90, 0xe9, 0x9e, 0x9f, 0x8a, 0x5e, 0xef, 0xaf}};

// One window at a time per process, as the prompt.
struct State {
  bool exists = false;
  Text caption;
  WideText label;
  bool showAtOnce = false;
  bool started = false;
  bool failedToShow = false;
  CopyPace pace{0};
  DWORD lastLookMs = 0;
  HWND window = nullptr;
  HWND labelControl = nullptr;
  HWND bar = nullptr;
  HWND line = nullptr;
  HWND button = nullptr;
  HFONT stock = nullptr;  // the stock font, never released
  HFONT font = nullptr;   // the controls' font: the stock one, or one made for the dpi
  HACCEL accelerators = nullptr;
  HWND owner = nullptr;
  bool ownerDisabled = false;
  ITaskbarList3* taskbar = nullptr;
  TBPFLAG taskbarState = TBPF_NOPROGRESS;
  int taskbarPosition = -1;
  DWORD taskbarMs = 0;
  UINT taskbarButtonCreated = 0;
  int shownPosition = -1;
  char shownLine[96] = {};
  bool stopRequested = false;
  bool quit = false;
  WPARAM quitCode = 0;
};
State state;

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// The tool's Windows-1252 words in UTF-16; absent when memory runs out.
WideText ToolWide(const Text& text) {
  wchar_t* wide = WideToolText(text);
  WideText result(wide);
  Release(wide);
  return result;
}

// The progress bar's class lives in the common controls, loaded from the system folder only.
void EnsureBarClass() {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE library = LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return;
  FARPROC found = GetProcAddress(library, "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  if (found != nullptr)
    reinterpret_cast<InitFunction>(reinterpret_cast<void (*)()>(found))(&classes);
}

void SetFonts(HFONT font) {
  const HWND controls[] = {state.labelControl, state.line, state.button};
  for (HWND control : controls)
    if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
  if (state.font != nullptr && state.font != state.stock && state.font != font)
    DeleteObject(state.font);
  state.font = font;
}

void Place(HWND control, const Area& area) {
  if (control != nullptr) MoveWindow(control, area.x, area.y, area.width, area.height, TRUE);
}

void PlaceControls(const ProgressWindowLayout& layout) {
  Place(state.labelControl, layout.label);
  Place(state.bar, layout.bar);
  Place(state.line, layout.line);
  Place(state.button, layout.button);
}

// Moved to a monitor of another scale: the rectangle Windows suggests, and the controls laid
// out and lettered anew.
void MoveToDpi(HWND window, int dpi, const RECT& suggested) {
  SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceControls(LayOutProgressWindow(dpi, 0, 0));
  SetFonts(FontForDpi(state.stock, dpi));
}

void SetLine(const char* text) {
  if (std::strcmp(text, state.shownLine) == 0) return;
  const WideText wide = ToolWide(Text(text));
  if (wide.IsAbsent()) return;  // shown again at the next look
  SetWindowTextW(state.line, wide.CStr());
  lstrcpynA(state.shownLine, text, sizeof state.shownLine);
}

// The taskbar button's bar: its state when that changes, its value at most every
// kTaskbarMs and at the end, since each call may be a round trip to the shell.
void ShowTaskbarProgress(bool anew = false) {
  if (state.taskbar == nullptr) return;
  const TBPFLAG wanted = state.stopRequested ? TBPF_PAUSED : TBPF_NORMAL;
  if (anew || wanted != state.taskbarState) {
    state.taskbar->SetProgressState(state.window, wanted);
    state.taskbarState = wanted;
  }
  const DWORD now = GetTickCount();
  if (!anew && state.taskbarPosition == state.shownPosition) return;
  if (!anew && state.shownPosition != kBarSteps && now - state.taskbarMs < kTaskbarMs) return;
  state.taskbar->SetProgressValue(state.window, static_cast<ULONGLONG>(state.shownPosition),
                                  kBarSteps);
  state.taskbarPosition = state.shownPosition;
  state.taskbarMs = now;
}

// The player asked to stop: the copy ends at its next step, and the window with it.
void RequestStop() {
  if (state.stopRequested) return;
  state.stopRequested = true;
  SetLine(kStoppingText);
  if (state.button != nullptr) EnableWindow(state.button, FALSE);
  ShowTaskbarProgress();
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancelCommand) RequestStop();
      return 0;
    case WM_CLOSE:  // Alt+F4, the close box, the taskbar: the window goes once the copy stopped
      RequestStop();
      return 0;
    case WM_DPICHANGED:
      MoveToDpi(window, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      // Windows drops a taskbar button's progress when the button is made anew.
      if (message == state.taskbarButtonCreated && message != 0) ShowTaskbarProgress(true);
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, const Area& area,
                   int id, bool lettered = true) {
  HWND control = CreateWindowExW(
      0, className, text, WS_CHILD | WS_VISIBLE | style, area.x, area.y, area.width, area.height,
      state.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Module(), nullptr);
  if (control != nullptr && lettered)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), 1);
  return control;
}

void Refresh(std::int64_t copied, std::int64_t total) {
  const int position = BarPosition(copied, total);
  if (position != state.shownPosition) {
    SendMessageW(state.bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    state.shownPosition = position;
    ShowTaskbarProgress();
  }
  if (state.stopRequested) return;
  char line[sizeof state.shownLine];
  FormatCopyLine(copied, total, state.pace.SecondsLeft(), line, sizeof line);
  SetLine(line);
}

// The window, laid out for the scale of the monitor at the screen's centre, where it appears;
// the thread's other windows take no input while it shows.
bool Show(std::int64_t copied, std::int64_t total) {
  EnsureBarClass();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = Module();
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  // The program's own icon on the caption and the taskbar button, where it has one.
  windowClass.hIcon = LoadIconW(Module(), MAKEINTRESOURCEW(1));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);  // an earlier window's registration may still be in force

  DisableThreadWindows();
  state.owner = static_cast<HWND>(ForegroundOwner());
  state.ownerDisabled = state.owner != nullptr && IsWindowEnabled(state.owner);
  if (state.ownerDisabled) EnableWindow(state.owner, FALSE);

  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int dpi = MonitorDpi(POINT{screenWidth / 2, screenHeight / 2});
  const ProgressWindowLayout layout = LayOutProgressWindow(dpi, screenWidth, screenHeight);
  if (state.stock == nullptr) state.stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  state.font = FontForDpi(state.stock, dpi);
  const WideText caption = ToolWide(state.caption);
  state.window =
      CreateWindowExW(0, kClassName, caption.CStr(), WS_CAPTION | WS_SYSMENU, layout.window.x,
                      layout.window.y, layout.window.width, layout.window.height,
                      static_cast<HWND>(ForegroundOwner()), nullptr, Module(), nullptr);
  if (state.window == nullptr) {
    if (state.ownerDisabled) EnableWindow(state.owner, TRUE);
    state.ownerDisabled = false;
    RestoreThreadWindows();
    SetFonts(nullptr);
    return false;
  }
  // A name with "&" is shown as it is, not as a shortcut; a long one ends in "...".
  state.labelControl =
      CreateControl(L"STATIC", state.label.CStr(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                    layout.label, kLabelId);
  state.bar = CreateControl(PROGRESS_CLASSW, nullptr, 0, layout.bar, kBarId, false);
  SendMessageW(state.bar, PBM_SETRANGE32, 0, kBarSteps);
  state.line = CreateControl(L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, layout.line, kLineId);
  const WideText buttonText = ToolWide(Text(kButtonText));
  state.button = CreateControl(L"BUTTON", buttonText.CStr(), WS_TABSTOP | BS_PUSHBUTTON,
                               layout.button, kCancelCommand);
  Refresh(copied, total);
  ACCEL keys[1] = {{FVIRTKEY, VK_ESCAPE, kCancelCommand}};
  state.accelerators = CreateAcceleratorTableW(keys, 1);

  ShowWindow(state.window, SW_SHOW);
  SetFocus(state.button);
  SetForegroundWindow(state.window);
  BringWindowToTop(state.window);
  UpdateWindow(state.window);

  // The taskbar button shows the bar too, where the system has one (COM is set up at start).
  state.taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  void* taskbar = nullptr;
  if (SUCCEEDED(
          CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3, &taskbar))) {
    state.taskbar = static_cast<ITaskbarList3*>(taskbar);
    if (FAILED(state.taskbar->HrInit())) {
      state.taskbar->Release();
      state.taskbar = nullptr;
    }
  }
  ShowTaskbarProgress(true);
  return true;
}

// Handles what has come for the thread's windows since the last look.
void Look() {
  MSG message;
  for (int handled = 0;
       handled < kMessagesPerLook && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++handled) {
    if (message.message == WM_QUIT) {
      // The program is to end: the copy stops, and the caller's loop sees the quit after it.
      state.quit = true;
      state.quitCode = message.wParam;
      RequestStop();
      continue;
    }
    if (state.accelerators != nullptr &&
        TranslateAcceleratorW(state.window, state.accelerators, &message) != 0) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool Step(void*, std::int64_t copied, std::int64_t total) {
  const DWORD now = GetTickCount();
  if (!state.started) {
    state.pace = CopyPace(now);
    state.started = true;
  }
  state.pace.Update(now, copied, total);
  if (state.window == nullptr) {
    if (state.failedToShow || !(state.showAtOnce || state.pace.WorthShowing())) return true;
    if (!Show(copied, total)) {
      state.failedToShow = true;
      return true;
    }
  }
  // The last block and the step after the flush are always looked at: the bar shows the end,
  // and a stop asked for during the flush still counts.
  if (copied >= total || now - state.lastLookMs >= kPumpMs) {
    Refresh(copied, total);
    Look();
    state.lastLookMs = GetTickCount();
  }
  return !state.stopRequested;
}

void Close() {
  if (state.taskbar != nullptr) {
    state.taskbar->SetProgressState(state.window, TBPF_NOPROGRESS);
    state.taskbar->Release();
    state.taskbar = nullptr;
  }
  // The owner and the other windows take input again before the window goes, so the platform
  // can hand the activation back to one of them.
  if (state.ownerDisabled) EnableWindow(state.owner, TRUE);
  state.ownerDisabled = false;
  RestoreThreadWindows();
  DestroyWindow(state.window);
  state.window = state.labelControl = state.bar = state.line = state.button = nullptr;
  // A key pressed as the window went must not dismiss the message that follows, unread.
  MSG key;
  while (PeekMessageW(&key, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  if (state.accelerators != nullptr) DestroyAcceleratorTable(state.accelerators);
  state.accelerators = nullptr;
  SetFonts(nullptr);
  UnregisterClassW(kClassName, Module());
}

}  // namespace

CopyProgressWindow::CopyProgressWindow(const Text& caption, const Text& before,
                                       const WideText& name, const Text& after) {
  if (state.exists) return;
  owner_ = true;
  state = State{};
  state.exists = true;
  state.caption = caption;
  state.label = ToolWide(before) + name + ToolWide(after);
  progress_.step = Step;
  progress_.context = nullptr;
}

CopyProgressWindow::~CopyProgressWindow() {
  if (!owner_) return;
  if (state.window != nullptr) Close();
  const bool quit = state.quit;
  const WPARAM quitCode = state.quitCode;
  state = State{};
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

bool CopyProgressWindow::StopRequested() const { return owner_ && state.stopRequested; }

void CopyProgressWindow::ShowAtOnce() {
  if (owner_) state.showAtOnce = true;
}

}  // namespace runtime

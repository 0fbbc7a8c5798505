#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <oleacc.h>
#include <shobjidl.h>

#include <atomic>
#include <cstring>
#include <new>

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
// The window looks at the copy's counts this often: the bar moves smoothly, and the thread that
// shows it sleeps in between.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 50;
// The taskbar button's bar moves this often at most.
constexpr DWORD kTaskbarMs = 250;

// The shell's taskbar list and its interface with the progress bar, named here: the library
// that names them holds every shell identifier, some 36 KB the program would carry for two.
constexpr CLSID kTaskbarList = {
    0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};
constexpr IID kTaskbarList3 = {
    0xea1afb91, 0x9e28, 0x4b86, {0x90, 0xe9, 0x9e, 0x9f, 0x8a, 0x5e, 0xef, 0xaf}};
constexpr IID kUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kDispatch = {0x00020400, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Where the copy stands, shared between its thread and the window's. The rename is the point
// of no return: the copy commits just before it, the window stops only before that, and
// whichever comes first wins.
enum Phase : int { kRunning, kStopping, kCommitted };
struct Shared {
  std::atomic<std::int64_t> copied{0};
  std::atomic<std::int64_t> total{-1};  // -1 until the copy first reports
  std::atomic<int> phase{kRunning};
};
Shared shared;

// The copy's side, on its own thread: counts in, and whether it goes on. The call with every
// byte copied is the one just before the rename.
bool Step(void*, std::int64_t copied, std::int64_t total) {
  shared.copied.store(copied);
  shared.total.store(total);
  if (copied < total) return shared.phase.load() == kRunning;
  int running = kRunning;
  return shared.phase.compare_exchange_strong(running, kCommitted) || running == kCommitted;
}

// One window at a time per process, as the prompt. Touched by the window's thread only.
struct State {
  bool exists = false;
  Text caption;
  WideText label;  // the fixed words
  WideText name;   // the add-on's name, whole
  WideText reason;
  bool showAtOnce = false;
  bool ran = false;
  bool failedToShow = false;
  CopyPace pace{0};
  CopyLinePace linePace;
  HANDLE copying = nullptr;  // the copy's thread, while it runs
  HWND window = nullptr;     // made hidden at the start, shown when worth it
  bool shown = false;
  bool blocksShutdown = false;
  HWND labelControl = nullptr;
  HWND bar = nullptr;
  HWND line = nullptr;
  HWND button = nullptr;
  WNDPROC barProcedure = nullptr;
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
  bool stopShown = false;
  bool commitShown = false;
  char shownLine[96] = {};
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

HMODULE SystemLibrary(const char* name) {
  return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <typename Function>
Function SystemFunction(const char* library, const char* name) {
  HMODULE module = SystemLibrary(library);
  FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The progress bar's class lives in the common controls, loaded from the system folder only.
void EnsureBarClass() {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = SystemFunction<InitFunction>("comctl32.dll", "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  if (init != nullptr) init(&classes);
}

// What a screen reader asks of the window and of its bar: the platform's own answers, except
// that the window says it is a dialog and the bar is named by the label above it.
class Accessible final : public IAccessible {
 public:
  Accessible(IAccessible* inner, LONG role, BSTR name) : inner_(inner), role_(role), name_(name) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == kUnknown || id == kDispatch || id == kAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(id, out);  // e.g. the enumeration of the children
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --references_;
    if (left == 0) {
      inner_->Release();
      SysFreeString(name_);
      this->~Accessible();
      runtime::Release(this);
    }
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role_ == 0 || !Self(child)) return inner_->get_accRole(child, role);
    role->vt = VT_I4;
    role->lVal = role_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name_ == nullptr || !Self(child)) return inner_->get_accName(child, name);
    *name = SysAllocString(name_);
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  // Everything else as the platform answers it.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return inner_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return inner_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return inner_->GetIDsOfNames(id, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* wrong) override {
    return inner_->Invoke(member, id, locale, flags, parameters, result, exception, wrong);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return inner_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return inner_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** found) override {
    return inner_->get_accChild(child, found);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return inner_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return inner_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* value) override {
    return inner_->get_accState(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return inner_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return inner_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return inner_->get_accKeyboardShortcut(child, keys);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return inner_->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return inner_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return inner_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return inner_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return inner_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return inner_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
    return inner_->accHitTest(left, top, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return inner_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return inner_->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return inner_->put_accValue(child, value);
  }

 private:
  ~Accessible() = default;
  static bool Self(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
  }

  IAccessible* inner_;
  LONG role_;   // 0: the platform's
  BSTR name_;   // null: the platform's
  std::atomic<long> references_{1};
};

// The answer to WM_GETOBJECT for the client area of `window`: the platform's object with a
// role or a name of our own; 0 (the platform answers alone) where oleacc cannot be had.
LRESULT AccessibleAnswer(HWND window, WPARAM flags, LONG role, const wchar_t* name) {
  using Create = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  using Answer = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  const auto create = SystemFunction<Create>("oleacc.dll", "CreateStdAccessibleObject");
  const auto answer = SystemFunction<Answer>("oleacc.dll", "LresultFromObject");
  if (create == nullptr || answer == nullptr) return 0;
  void* inner = nullptr;
  if (FAILED(create(window, OBJID_CLIENT, kAccessible, &inner))) return 0;
  BSTR ownName = name != nullptr ? SysAllocString(name) : nullptr;
  void* memory = Allocate(sizeof(Accessible));
  if (memory == nullptr || (name != nullptr && ownName == nullptr)) {
    static_cast<IAccessible*>(inner)->Release();
    SysFreeString(ownName);
    runtime::Release(memory);
    return 0;
  }
  auto* accessible = new (memory) Accessible(static_cast<IAccessible*>(inner), role, ownName);
  const LRESULT result = answer(kAccessible, flags, accessible);
  accessible->Release();  // the answer holds its own reference
  return result;
}

// The label's words as one line, the name the bar has for a screen reader.
WideText LabelAsName() {
  return state.label + WideText(L" ") + state.name;
}

LRESULT CALLBACK BarProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    const WideText name = LabelAsName();
    const LRESULT answer =
        name.IsAbsent() ? 0 : AccessibleAnswer(bar, wParam, 0, name.CStr());
    if (answer != 0) return answer;
  }
  return CallWindowProcW(state.barProcedure, bar, message, wParam, lParam);
}

void SetFonts(HFONT font) {
  const HWND controls[] = {state.labelControl, state.line, state.button};
  for (HWND control : controls)
    if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
  if (state.font != nullptr && state.font != state.stock && state.font != font)
    DeleteObject(state.font);
  state.font = font;
}

int MeasureInLabel(void* context, const wchar_t* text, std::size_t length) {
  SIZE size = {};
  GetTextExtentPoint32W(static_cast<HDC>(context), text, static_cast<int>(length), &size);
  return size.cx;
}

// The fixed words on the first line, the name on the second, shortened in the middle to the
// label's width in its font.
void SetLabel() {
  if (state.labelControl == nullptr) return;
  RECT client = {};
  GetClientRect(state.labelControl, &client);
  HDC dc = GetDC(state.labelControl);
  HGDIOBJ before = SelectObject(dc, state.font);
  const WideText name = ShortenInMiddle(state.name, client.right, MeasureInLabel, dc);
  SelectObject(dc, before);
  ReleaseDC(state.labelControl, dc);
  const WideText text = state.label + WideText(L"\r\n") + name;
  if (!text.IsAbsent()) SetWindowTextW(state.labelControl, text.CStr());
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
  SetLabel();
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
  const TBPFLAG wanted = state.stopShown ? TBPF_PAUSED : TBPF_NORMAL;
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

// The player asked to stop: the copy ends at its next block, and the window with it; once the
// copy has committed, nothing changes.
void RequestStop() {
  int running = kRunning;
  if (!shared.phase.compare_exchange_strong(running, kStopping)) return;
  state.stopShown = true;
  if (state.line != nullptr) SetLine(kStoppingText);
  if (state.button != nullptr) EnableWindow(state.button, FALSE);
  ShowTaskbarProgress();
}

bool Show();

// The window's look at the copy, from its timer: also while a modal loop (moving, the system
// menu) runs, which dispatches the timer too.
void Refresh() {
  const std::int64_t total = shared.total.load();
  if (total < 0) return;  // not begun
  const std::int64_t copied = shared.copied.load();
  const DWORD now = GetTickCount();
  state.pace.Update(now, copied, total);
  if (!state.shown) {
    if (state.failedToShow || shared.phase.load() == kStopping) return;
    if (!(state.showAtOnce || state.pace.WorthShowing())) return;
    if (!Show()) {
      state.failedToShow = true;
      return;
    }
  }
  const int position = BarPosition(copied, total);
  if (position != state.shownPosition) {
    SendMessageW(state.bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    state.shownPosition = position;
    ShowTaskbarProgress();
  }
  if (!state.commitShown && shared.phase.load() == kCommitted) {
    // Past the point of no return: nothing can stop it now.
    state.commitShown = true;
    EnableWindow(state.button, FALSE);
  }
  if (state.stopShown) return;
  char line[sizeof state.shownLine];
  if (state.linePace.Due(now, copied, total, state.pace, line, sizeof line)) SetLine(line);
}

// A logoff or shutdown waits while the copy runs. One that comes anyway stops the copy and
// waits for it, so that the older add-on stays whole and no temporary file is left.
LRESULT EndSession(WPARAM ending) {
  if (ending && state.copying != nullptr) {
    RequestStop();
    WaitForSingleObject(state.copying, INFINITE);
  }
  return 0;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kRefreshTimer) Refresh();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancelCommand) RequestStop();
      return 0;
    case WM_CLOSE:  // Alt+F4, the close box, the taskbar: the window goes once the copy stopped
      RequestStop();
      return 0;
    case WM_SYSCOMMAND:
      // Alt alone would put the window in menu mode, where Escape only leaves that mode. With
      // no menu bar there is nothing to choose: Escape stops the copy at once. Alt+Space still
      // opens the system menu.
      if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == 0) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
      return state.copying == nullptr;
    case WM_ENDSESSION:
      return EndSession(wParam);
    case WM_GETOBJECT:
      if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
        const LRESULT answer = AccessibleAnswer(window, wParam, ROLE_SYSTEM_DIALOG, nullptr);
        if (answer != 0) return answer;
      }
      return DefWindowProcW(window, message, wParam, lParam);
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

int ScreenDpi() {
  return MonitorDpi(POINT{GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2});
}

// The window, hidden, from the copy's start: it holds off a logoff from then on, and hears the
// timer. Laid out for the scale of the monitor at the screen's centre, where it appears.
bool Create() {
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

  const ProgressWindowLayout layout = LayOutProgressWindow(
      ScreenDpi(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  const WideText caption = ToolWide(state.caption);
  state.window =
      CreateWindowExW(0, kClassName, caption.CStr(), WS_CAPTION | WS_SYSMENU, layout.window.x,
                      layout.window.y, layout.window.width, layout.window.height,
                      static_cast<HWND>(ForegroundOwner()), nullptr, Module(), nullptr);
  if (state.window == nullptr) return false;
  // Explorer runs with the player's rights and this tool with an administrator's: without
  // this, the window never hears that its taskbar button was made anew.
  state.taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
  const auto filter = SystemFunction<Filter>("user32.dll", "ChangeWindowMessageFilterEx");
  if (filter != nullptr && state.taskbarButtonCreated != 0)
    filter(state.window, state.taskbarButtonCreated, MSGFLT_ALLOW, nullptr);
  if (!state.reason.IsAbsent())
    state.blocksShutdown = ShutdownBlockReasonCreate(state.window, state.reason.CStr()) != 0;
  SetTimer(state.window, kRefreshTimer, kRefreshMs, nullptr);
  return true;
}

// The controls, and the window shown; the thread's other windows take no input while it shows.
bool Show() {
  EnsureBarClass();
  DisableThreadWindows();
  state.owner = static_cast<HWND>(ForegroundOwner());
  state.ownerDisabled = state.owner != nullptr && IsWindowEnabled(state.owner);
  if (state.ownerDisabled) EnableWindow(state.owner, FALSE);

  const int dpi = ScreenDpi();
  const ProgressWindowLayout layout = LayOutProgressWindow(dpi, 0, 0);
  if (state.stock == nullptr) state.stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  state.font = FontForDpi(state.stock, dpi);
  // A name with "&" is shown as it is, not as a shortcut.
  state.labelControl = CreateControl(L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, layout.label,
                                     kLabelId);
  state.bar = CreateControl(PROGRESS_CLASSW, nullptr, 0, layout.bar, kBarId, false);
  state.line = CreateControl(L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, layout.line, kLineId);
  const WideText buttonText = ToolWide(Text(kButtonText));
  state.button = CreateControl(L"BUTTON", buttonText.CStr(), WS_TABSTOP | BS_PUSHBUTTON,
                               layout.button, kCancelCommand);
  if (state.labelControl == nullptr || state.bar == nullptr || state.line == nullptr ||
      state.button == nullptr) {
    if (state.ownerDisabled) EnableWindow(state.owner, TRUE);
    state.ownerDisabled = false;
    RestoreThreadWindows();
    return false;
  }
  SetLabel();
  SendMessageW(state.bar, PBM_SETRANGE32, 0, kBarSteps);
  state.barProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      state.bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProcedure)));
  ACCEL keys[1] = {{FVIRTKEY, VK_ESCAPE, kCancelCommand}};
  state.accelerators = CreateAcceleratorTableW(keys, 1);
  state.shown = true;

  ShowWindow(state.window, SW_SHOW);
  SetFocus(state.button);
  SetForegroundWindow(state.window);
  BringWindowToTop(state.window);
  UpdateWindow(state.window);

  // The taskbar button shows the bar too, where the system has one (COM is set up at start).
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

// Handles what has come for the thread's windows.
void Look() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
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

void Close() {
  if (state.window == nullptr) return;
  KillTimer(state.window, kRefreshTimer);
  if (state.blocksShutdown) ShutdownBlockReasonDestroy(state.window);
  if (state.taskbar != nullptr) {
    state.taskbar->SetProgressState(state.window, TBPF_NOPROGRESS);
    state.taskbar->Release();
    state.taskbar = nullptr;
  }
  // The owner and the other windows take input again before the window goes, so the platform
  // can hand the activation back to one of them.
  if (state.ownerDisabled) EnableWindow(state.owner, TRUE);
  state.ownerDisabled = false;
  if (state.shown) RestoreThreadWindows();
  DestroyWindow(state.window);
  state.window = state.labelControl = state.bar = state.line = state.button = nullptr;
  // A key pressed as the window went must not dismiss the message that follows, unread.
  MSG key;
  while (state.shown && PeekMessageW(&key, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  if (state.accelerators != nullptr) DestroyAcceleratorTable(state.accelerators);
  state.accelerators = nullptr;
  SetFonts(nullptr);
  UnregisterClassW(kClassName, Module());
}

struct Job {
  CopyProgressWindow::Copy copy;
  void* context;
  CopyProgress progress;
  std::int32_t result;
};

DWORD WINAPI RunJob(LPVOID context) {
  auto* job = static_cast<Job*>(context);
  job->result = job->copy(job->context, &job->progress);
  return 0;
}

struct Files {
  const wchar_t* source;
  const wchar_t* destination;
};

std::int32_t DuplicateFiles(void* context, const CopyProgress* progress) {
  const auto* files = static_cast<const Files*>(context);
  return DuplicateFile(files->source, files->destination, progress);
}

}  // namespace

CopyProgressWindow::CopyProgressWindow(const Text& caption, const Text& label,
                                       const WideText& name, const Text& reasonBefore,
                                       const Text& reasonAfter) {
  if (state.exists) return;
  owner_ = true;
  state = State{};
  state.exists = true;
  state.caption = caption;
  state.label = ToolWide(label);
  state.name = name;
  state.reason = ToolWide(reasonBefore) + name + ToolWide(reasonAfter);
}

CopyProgressWindow::~CopyProgressWindow() {
  if (!owner_) return;
  Close();
  const bool quit = state.quit;
  const WPARAM quitCode = state.quitCode;
  state = State{};
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

std::int32_t CopyProgressWindow::Run(Copy copy, void* context) {
  if (!owner_ || state.ran) return copy(context, nullptr);
  state.ran = true;
  shared.copied.store(0);
  shared.total.store(-1);
  shared.phase.store(kRunning);
  state.pace = CopyPace(GetTickCount());
  Job job = {copy, context, {Step, nullptr}, 0};
  if (!Create()) return copy(context, nullptr);
  state.copying = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
  if (state.copying == nullptr) {
    Close();
    return copy(context, nullptr);
  }
  // The thread waits for the copy or a message, whichever comes first.
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjectsEx(1, &state.copying, INFINITE, QS_ALLINPUT,
                                                    MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0 + 1) {
      Look();
      continue;
    }
    if (woken != WAIT_OBJECT_0) WaitForSingleObject(state.copying, INFINITE);
    break;
  }
  CloseHandle(state.copying);
  state.copying = nullptr;
  // The bar at the end the copy came to, if the window showed it.
  if (state.shown) Refresh();
  Close();
  return job.result;
}

std::int32_t CopyProgressWindow::Duplicate(const wchar_t* source, const wchar_t* destination) {
  Files files = {source, destination};
  return Run(DuplicateFiles, &files);
}

void CopyProgressWindow::ShowAtOnce() {
  if (owner_) state.showAtOnce = true;
}

}  // namespace runtime

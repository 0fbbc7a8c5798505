#include <windows.h>

#include "runtime/display_scale_win32.h"
#include "runtime/input_dialog.h"
#include "runtime/input_dialog_layout.h"
#include "runtime/memory.h"
#include "runtime/message_box.h"
#include "runtime/wide_text.h"

namespace runtime {
namespace {

constexpr char kClassName[] = "InputRequester";
constexpr wchar_t kWideClassName[] = L"InputRequester";
constexpr int kEditId = 10;
constexpr int kOkCommand = 1000;
constexpr int kCancelCommand = 1001;

// One dialog at a time per process.
HFONT dialog_font = nullptr;  // the stock font, fetched once, never released
HWND edit_box = nullptr;
HWND prompt_label = nullptr;
HWND ok_button = nullptr;
HFONT shown_font = nullptr;  // the controls' font: the stock font, or one made for another dpi
int shown_dpi = USER_DEFAULT_SCREEN_DPI;  // the scale the controls are laid out for
HWND owner = nullptr;
bool owner_disabled = false;
volatile LONG finished = 0;
bool waiting_for_message = false;  // the loop sits in GetMessageW
bool running = false;
bool last_cancelled = true;

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// Gives the controls `font` and lets go of the one they showed before, if it was made here.
void ShowFont(HFONT font) {
  const HWND controls[] = {prompt_label, edit_box, ok_button};
  for (HWND control : controls)
    if (control != nullptr) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
  if (shown_font != nullptr && shown_font != dialog_font && shown_font != font)
    DeleteObject(shown_font);
  shown_font = font;
}

void Place(HWND control, const Area& area) {
  if (control != nullptr) MoveWindow(control, area.x, area.y, area.width, area.height, TRUE);
}

// Moved to a monitor of another scale: the window takes the rectangle Windows suggests for it,
// and the controls are laid out and lettered anew for the new dpi.
void MoveToDpi(HWND dialog, int dpi, const RECT& suggested) {
  SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  shown_dpi = dpi;
  const InputDialogLayout layout = LayOutInputDialog(dpi, 0, 0);
  Place(prompt_label, layout.label);
  Place(edit_box, layout.edit);
  Place(ok_button, layout.button);
  ShowFont(FontForDpi(dialog_font, dpi));
}

// The OK command: a new buffer with the edit box's text goes into the window's result slot.
void TakeEnteredText(HWND dialog) {
  auto* slot = reinterpret_cast<wchar_t**>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  if (slot == nullptr) return;
  const int length = GetWindowTextLengthW(edit_box);
  auto* buffer = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * (static_cast<std::size_t>(length) + 1)));
  if (buffer == nullptr) return;  // the call then ends as after a cancel
  GetWindowTextW(edit_box, buffer, length + 1);
  Release(*slot);
  *slot = buffer;
}

// The owner and the other windows take input again before the dialog goes, so the platform
// can hand the activation back to one of them.
void CloseDialog(HWND dialog) {
  if (owner_disabled) {
    EnableWindow(owner, TRUE);
    owner_disabled = false;
  }
  RestoreThreadWindows();
  DestroyWindow(dialog);
}

LRESULT CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kOkCommand:
          TakeEnteredText(dialog);
          CloseDialog(dialog);
          break;
        case kCancelCommand:
          CloseDialog(dialog);
          break;
        default:
          break;
      }
      return 0;
    case WM_CLOSE:
      CloseDialog(dialog);
      return 0;
    case WM_DPICHANGED:
      MoveToDpi(dialog, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      UnregisterClassA(kClassName, Module());
      finished = 1;
      // A close request SENT from another process is handled inside GetMessageA, which then
      // goes on waiting for a posted message that never comes: this one wakes the loop.
      if (waiting_for_message) PostMessageA(nullptr, WM_NULL, 0, 0);
      return 0;
    default:
      return DefWindowProcW(dialog, message, wParam, lParam);
  }
}

// A Unicode window, so that its caption keeps letters the ANSI code page lacks.
void RegisterDialogClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = DialogProcedure;
  windowClass.hInstance = Module();
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWideClassName;
  RegisterClassExW(&windowClass);  // an earlier call's registration may still be in force
}

// The caption and the label are the tool's Windows-1252 texts: set through the Unicode calls,
// they show the same letters on every system.
void SetToolText(HWND window, const Text& text) {
  wchar_t* wide = WideToolText(text);
  if (wide != nullptr) SetWindowTextW(window, wide);
  Release(wide);
}

HWND CreateControl(HWND dialog, const char* className, const char* text, DWORD exStyle,
                   DWORD style, const Area& area, int id) {
  HWND control = CreateWindowExA(exStyle, className, text, style, area.x, area.y, area.width,
                                 area.height, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Module(),
                                 nullptr);
  if (control != nullptr)
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(shown_font), 1);
  return control;
}

// Runs the dialog's loop until its window is gone. False when the loop ended for another
// reason (a quit message, a failing GetMessageA) while the window still stands.
bool RunLoop(HWND dialog, HACCEL accelerators) {
  MSG message;
  while (finished == 0) {
    waiting_for_message = true;
    // The Unicode calls, so that a letter typed or given by an input method reaches the edit
    // box as it is, also where the ANSI code page has no such letter.
    const BOOL fetched = GetMessageW(&message, nullptr, 0, 0);
    waiting_for_message = false;
    if (fetched == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // the caller's loop must see it too
      return false;
    }
    if (fetched == -1) return false;
    if (accelerators == nullptr || TranslateAcceleratorW(dialog, accelerators, &message) == 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

}  // namespace

WideText WideInputRequester(const Text& title, const Text& prompt, const Text& initialText) {
  last_cancelled = true;
  // The state above exists once; a call from inside a running dialog would overwrite it.
  if (running) return WideText(L"");
  running = true;

  const Text titleCopy = title;
  const Text promptCopy = prompt;
  const Text initialCopy = initialText;

  if (dialog_font == nullptr) dialog_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  RegisterDialogClass();
  finished = 0;

  DisableThreadWindows();
  owner = static_cast<HWND>(ForegroundOwner());
  owner_disabled = false;
  if (owner != nullptr && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    owner_disabled = true;
  }

  wchar_t* slot = nullptr;
  // Laid out for the scale of the monitor at the screen's centre, where the prompt appears.
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int dpi = MonitorDpi(POINT{screenWidth / 2, screenHeight / 2});
  InputDialogLayout layout = LayOutInputDialog(dpi, screenWidth, screenHeight);
  // Set before the window exists: should it change monitors while being made, both follow.
  shown_dpi = dpi;
  shown_font = FontForDpi(dialog_font, dpi);
  HWND dialog = CreateWindowExA(0, kClassName, titleCopy.CStr(), WS_VISIBLE | WS_CAPTION,
                                layout.window.x, layout.window.y, layout.window.width,
                                layout.window.height, static_cast<HWND>(ForegroundOwner()),
                                nullptr, Module(), nullptr);
  if (dialog == nullptr) {
    if (owner_disabled) EnableWindow(owner, TRUE);
    owner_disabled = false;
    RestoreThreadWindows();
  } else {
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&slot));
    layout = LayOutInputDialog(shown_dpi, screenWidth, screenHeight);
    prompt_label = CreateControl(dialog, "STATIC", promptCopy.CStr(), 0,
                                 WS_CHILD | WS_VISIBLE | SS_SIMPLE, layout.label, 0);
    // A Unicode edit box: it holds any letter the player types.
    edit_box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, layout.edit.x,
                               layout.edit.y, layout.edit.width, layout.edit.height, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), Module(),
                               nullptr);
    if (edit_box != nullptr)
      SendMessageW(edit_box, WM_SETFONT, reinterpret_cast<WPARAM>(shown_font), 1);
    SetToolText(dialog, titleCopy);
    SetToolText(prompt_label, promptCopy);
    SetFocus(edit_box);
    // The initial text is in the system's code page, as config.pref gives it.
    const WideText initialWide = WideFromAnsi(initialCopy);
    if (!initialWide.IsAbsent()) {
      SendMessageW(edit_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(initialWide.CStr()));
      // The caret goes after the last character with nothing selected, so typing appends.
      const auto end = static_cast<WPARAM>(initialWide.Length());
      SendMessageW(edit_box, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
    ok_button = CreateControl(dialog, "BUTTON", "OK", 0,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                              layout.button, kOkCommand);

    ACCEL keys[2] = {{FVIRTKEY, VK_RETURN, kOkCommand}, {FVIRTKEY, VK_ESCAPE, kCancelCommand}};
    HACCEL accelerators = CreateAcceleratorTableA(keys, 2);
    SetForegroundWindow(dialog);
    BringWindowToTop(dialog);

    if (!RunLoop(dialog, accelerators) && IsWindow(dialog)) {
      // Ended without the user: nothing confirmed, and no window stays disabled.
      Release(slot);
      slot = nullptr;
      CloseDialog(dialog);
    }
    if (accelerators != nullptr) DestroyAcceleratorTable(accelerators);
  }
  edit_box = prompt_label = ok_button = nullptr;
  ShowFont(nullptr);  // the controls are gone; a font made for this dialog goes with them

  WideText result(L"");
  if (slot != nullptr) {
    result = WideText(slot);
    Release(slot);
    // A text that could not be copied is lost: report no confirmation, so nothing acts on it.
    last_cancelled = result.IsAbsent();
  }
  running = false;
  return result;
}

Text InputRequester(const Text& title, const Text& prompt, const Text& initialText) {
  const Text answer = BestFitAnsi(WideInputRequester(title, prompt, initialText));
  if (!answer.IsAbsent()) return answer;
  // A text that could not be converted is lost, as one that could not be copied.
  last_cancelled = true;
  return Text("");
}

bool InputRequesterWasCancelled() { return last_cancelled; }

}  // namespace runtime

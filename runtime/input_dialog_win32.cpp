#include <windows.h>

#include "runtime/input_dialog.h"
#include "runtime/memory.h"
#include "runtime/message_box.h"

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
HWND owner = nullptr;
bool owner_disabled = false;
volatile LONG finished = 0;
bool waiting_for_message = false;  // the loop sits in GetMessageA
bool running = false;
bool last_cancelled = true;

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// The OK command: a new buffer with the edit box's text goes into the window's result slot.
void TakeEnteredText(HWND dialog) {
  auto* slot = reinterpret_cast<char**>(GetWindowLongA(dialog, GWL_USERDATA));
  if (slot == nullptr) return;
  const int length = GetWindowTextLengthA(edit_box);
  auto* buffer = static_cast<char*>(Allocate(static_cast<std::size_t>(length) + 1));
  if (buffer == nullptr) return;  // the call then ends as after a cancel
  GetWindowTextA(edit_box, buffer, length + 1);
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
// they show the same letters on every system. (The edit box keeps the ANSI calls: its text is in
// the system's code page, as the answer must be.)
void SetToolText(HWND window, const Text& text) {
  wchar_t* wide = WideToolText(text);
  if (wide != nullptr) SetWindowTextW(window, wide);
  Release(wide);
}

HWND CreateControl(HWND dialog, const char* className, const char* text, DWORD exStyle,
                   DWORD style, int x, int y, int width, int height, int id) {
  HWND control = CreateWindowExA(exStyle, className, text, style, x, y, width, height, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Module(),
                                 nullptr);
  if (control != nullptr)
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialog_font), 1);
  return control;
}

// Runs the dialog's loop until its window is gone. False when the loop ended for another
// reason (a quit message, a failing GetMessageA) while the window still stands.
bool RunLoop(HWND dialog, HACCEL accelerators) {
  MSG message;
  while (finished == 0) {
    waiting_for_message = true;
    const BOOL fetched = GetMessageA(&message, nullptr, 0, 0);
    waiting_for_message = false;
    if (fetched == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // the caller's loop must see it too
      return false;
    }
    if (fetched == -1) return false;
    if (accelerators == nullptr || TranslateAcceleratorA(dialog, accelerators, &message) == 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return true;
}

}  // namespace

Text InputRequester(const Text& title, const Text& prompt, const Text& initialText) {
  last_cancelled = true;
  // The state above exists once; a call from inside a running dialog would overwrite it.
  if (running) return Text("");
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

  char* slot = nullptr;
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - 150;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - 65;
  HWND dialog = CreateWindowExA(0, kClassName, titleCopy.CStr(), WS_VISIBLE | WS_CAPTION, x, y,
                                300, 130, static_cast<HWND>(ForegroundOwner()), nullptr, Module(),
                                nullptr);
  if (dialog == nullptr) {
    if (owner_disabled) EnableWindow(owner, TRUE);
    owner_disabled = false;
    RestoreThreadWindows();
  } else {
    SetWindowLongA(dialog, GWL_USERDATA, reinterpret_cast<LONG>(&slot));
    CreateControl(dialog, "STATIC", promptCopy.CStr(), 0, WS_CHILD | WS_VISIBLE | SS_SIMPLE, 10,
                  10, 280, 22, 0);
    edit_box = CreateControl(dialog, "EDIT", nullptr, WS_EX_CLIENTEDGE,
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 32, 275, 21,
                             kEditId);
    SetToolText(dialog, titleCopy);
    SetToolText(GetDlgItem(dialog, 0), promptCopy);  // the label, the only child with id 0
    SetFocus(edit_box);
    if (!initialCopy.IsAbsent()) {
      SendMessageA(edit_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(initialCopy.CStr()));
      // The caret goes after the last byte with nothing selected, so typing appends.
      const auto end = static_cast<WPARAM>(initialCopy.Length());
      SendMessageA(edit_box, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
    CreateControl(dialog, "BUTTON", "OK", 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                  110, 67, 80, 25, kOkCommand);

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
  edit_box = nullptr;

  Text result("");
  if (slot != nullptr) {
    result = Text(slot);
    Release(slot);
    // A text that could not be copied is lost: report no confirmation, so nothing acts on it.
    last_cancelled = result.IsAbsent();
  }
  running = false;
  return result;
}

bool InputRequesterWasCancelled() { return last_cancelled; }

}  // namespace runtime

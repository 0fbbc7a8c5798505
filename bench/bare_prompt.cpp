// The yardstick for the start-to-prompt figure: a bare Win32 program that opens a window
// equivalent to the tool's pak-set prompt (same size, label, edit box, button, Enter/Escape)
// and does nothing else. Escape or a close request ends it. Built a second time with
// WITH_TOOL_STARTUP and the tool's manifest, it also makes the platform calls the tool's
// start-up must make (common controls 6.0, COM), so the report can tell their cost apart.
#include <windows.h>
#include <objbase.h>

namespace {

bool finished = false;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == 1000 || LOWORD(wParam) == 1001) DestroyWindow(window);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      finished = true;
      PostMessageA(nullptr, WM_NULL, 0, 0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef WITH_TOOL_STARTUP
  HMODULE commonControls = LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (commonControls != nullptr) {
    using InitFunction = void(WINAPI*)();
    FARPROC init = GetProcAddress(commonControls, "InitCommonControls");
    if (init != nullptr) reinterpret_cast<InitFunction>(reinterpret_cast<void (*)()>(init))();
  }
  CoInitialize(nullptr);
#endif
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "BarePrompt";
  RegisterClassExA(&windowClass);

  HWND window = CreateWindowExA(0, "BarePrompt", "Pak-Set", WS_VISIBLE | WS_CAPTION,
                                GetSystemMetrics(SM_CXSCREEN) / 2 - 150,
                                GetSystemMetrics(SM_CYSCREEN) / 2 - 65, 300, 130, nullptr,
                                nullptr, instance, nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND label = CreateWindowExA(0, "STATIC", "Bitte Namen des Pak-Set Ordners angeben.",
                               WS_CHILD | WS_VISIBLE | SS_SIMPLE, 10, 10, 280, 22, window,
                               nullptr, instance, nullptr);
  HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                              ES_AUTOHSCROLL, 10, 32, 275, 21, window,
                              reinterpret_cast<HMENU>(10), instance, nullptr);
  HWND button = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                                BS_DEFPUSHBUTTON, 110, 67, 80, 25, window,
                                reinterpret_cast<HMENU>(1000), instance, nullptr);
  const HWND controls[] = {label, edit, button};
  for (HWND control : controls) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
  }
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pak"));
  SendMessageA(edit, EM_SETSEL, 3, 3);
  SetFocus(edit);
  ACCEL keys[] = {{FVIRTKEY, VK_RETURN, 1000}, {FVIRTKEY, VK_ESCAPE, 1001}};
  HACCEL table = CreateAcceleratorTableA(keys, 2);
  SetForegroundWindow(window);
  BringWindowToTop(window);

  MSG message;
  while (!finished && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(window, table, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  DestroyAcceleratorTable(table);
  ExitProcess(0);
}

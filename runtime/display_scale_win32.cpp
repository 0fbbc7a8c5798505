#include "runtime/display_scale_win32.h"

namespace runtime {

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return USER_DEFAULT_SCREEN_DPI;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// The scale of the monitor holding `point`. Windows 8.1 and later tell it per monitor; the call
// is looked up at run time, so the program still starts where it is missing, and shcore.dll
// comes from the system folder only (Windows 7 has none, and one beside the program must not
// stand in for it).
int MonitorDpi(POINT point) {
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI: the scale the user chose
  UINT dpiX = 0, dpiY = 0;
  if (HMODULE shcore = LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    FARPROC found = GetProcAddress(shcore, "GetDpiForMonitor");
    if (found == nullptr ||
        reinterpret_cast<GetDpiForMonitorFunction>(reinterpret_cast<void (*)()>(found))(
            MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY), kEffectiveDpi, &dpiX, &dpiY) !=
            S_OK) {
      dpiY = 0;
    }
    FreeLibrary(shcore);
  }
  return dpiY > 0 ? static_cast<int>(dpiY) : SystemDpi();
}

HFONT FontForDpi(HFONT stock, int dpi) {
  const int systemDpi = SystemDpi();
  LOGFONTA face{};
  if (dpi == systemDpi || GetObjectA(stock, sizeof face, &face) == 0) return stock;
  face.lfHeight = MulDiv(face.lfHeight, dpi, systemDpi);
  face.lfWidth = MulDiv(face.lfWidth, dpi, systemDpi);
  HFONT made = CreateFontIndirectA(&face);
  return made != nullptr ? made : stock;
}

}  // namespace runtime

#include "tests/ui_driver/ui_driver.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ui {
namespace {

// Every message to the program under test is sent with a timeout, so a hung program fails the
// test instead of hanging it.
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kPollMs = 5;

// Polls `done` until it holds or `timeoutMs` has passed; one last look after the deadline.
template <typename Condition>
bool PollUntil(int timeoutMs, Condition done) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) return done();
    Sleep(kPollMs);
  }
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                     DWORD_PTR* result = nullptr) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs,
                             result ? result : &ignored) != 0;
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
    case VK_INSERT: case VK_DELETE: case VK_PRIOR: case VK_NEXT:
      input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
      break;
    default:
      break;
  }
  if (up) input.ki.dwFlags |= KEYEVENTF_KEYUP;
  return input;
}

INPUT UnicodeInput(wchar_t character, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = static_cast<WORD>(character);
  input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

const WORD kModifierKeys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
const unsigned kModifierBits[] = {kShift, kCtrl, kAlt};

void AddKeyPress(std::vector<INPUT>& inputs, WORD vk, unsigned modifiers) {
  for (int i = 0; i < 3; ++i)
    if (modifiers & kModifierBits[i]) inputs.push_back(KeyInput(kModifierKeys[i], false));
  inputs.push_back(KeyInput(vk, false));
  inputs.push_back(KeyInput(vk, true));
  for (int i = 2; i >= 0; --i)
    if (modifiers & kModifierBits[i]) inputs.push_back(KeyInput(kModifierKeys[i], true));
}

bool Send(std::vector<INPUT>& inputs) {
  if (inputs.empty()) return true;
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  return sent == inputs.size();
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string RectText(const RECT& r) {
  return Format("%ld,%ld %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

// ---- Programs -----------------------------------------------------------------------------

Program::~Program() {
  Kill();
  if (process_) CloseHandle(process_);
}

bool Program::Start(const std::string& commandLine, const std::string& workingDirectory,
                    const std::string& applicationPath) {
  if (Running()) return false;
  if (process_) CloseHandle(process_);  // an earlier program that has exited
  process_ = nullptr;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(applicationPath.empty() ? nullptr : applicationPath.c_str(), line.data(),
                      nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                      &info))
    return false;
  Adopt(info);
  return true;
}

void Program::Adopt(const PROCESS_INFORMATION& info) {
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
}

bool Program::StartUnicode(const std::string& commandLine, const std::string& workingDirectory) {
  if (Running()) return false;
  if (process_) CloseHandle(process_);
  process_ = nullptr;
  std::wstring line = WideFromUtf8(commandLine);
  const std::wstring folder = WideFromUtf8(workingDirectory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return false;
  Adopt(info);
  return true;
}

bool Program::Open(const std::string& document) {
  if (Running()) return false;
  if (process_) CloseHandle(process_);
  process_ = nullptr;
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = document.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info) || info.hProcess == nullptr) return false;
  process_ = info.hProcess;
  id_ = GetProcessId(process_);
  threadId_ = 0;
  return true;
}

bool Program::WaitForExit(int timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  if (WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(process_, exitCode);
  return true;
}

void Program::Kill() {
  if (!Running()) return;
  TerminateProcess(process_, 0xDEAD);
  WaitForSingleObject(process_, 5000);
}

bool Program::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::string WindowsPath(const std::string& linuxPath) {
  std::string path = "Z:" + linuxPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string ArtifactPath(const std::string& fileName) {
  static const std::string directory = [] {
    std::string dir = WindowsPath(UI_DRIVER_ARTIFACT_DIR);
    CreateDirectoryA(dir.c_str(), nullptr);  // already there is fine
    return dir;
  }();
  return directory + "\\" + fileName;
}

// ---- Finding windows ----------------------------------------------------------------------

std::vector<HWND> TopLevelWindows(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM value) WINAPI -> BOOL {
        auto* s = reinterpret_cast<Search*>(value);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->processId) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(DWORD processId, const char* className, const char* caption, int timeoutMs) {
  HWND match = nullptr;
  PollUntil(timeoutMs, [&] {
    for (HWND window : TopLevelWindows(processId)) {
      if (!IsWindowVisible(window)) continue;
      if (className && ClassOf(window) != className) continue;
      if (caption && CaptionOf(window) != caption) continue;
      match = window;
      return true;
    }
    return false;
  });
  return match;
}

HWND WaitForCaptionContaining(const std::string& captionPart, int timeoutMs) {
  struct Search {
    const std::string& part;
    HWND found;
  } search{captionPart, nullptr};
  PollUntil(timeoutMs, [&] {
    EnumWindows(
        [](HWND window, LPARAM value) WINAPI -> BOOL {
          auto* s = reinterpret_cast<Search*>(value);
          if (IsWindowVisible(window) && CaptionOf(window).find(s->part) != std::string::npos) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

bool WaitForWindowGone(HWND window, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !IsWindow(window); });
}

HWND ChildById(HWND parent, int id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (GetDlgCtrlID(child) == id) return child;
  return nullptr;
}

HWND WaitForChild(HWND parent, int id, int timeoutMs) {
  HWND child = nullptr;
  PollUntil(timeoutMs, [&] { return (child = ChildById(parent, id)) != nullptr; });
  return child;
}

// ---- Reading windows ----------------------------------------------------------------------

std::string ClassOf(HWND window) {
  char name[256] = {};
  int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// The text may change between asking its length and reading it, when another thread of the
// program sets it: a buffer that comes back full may hold a cut text, and is read again, larger.
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, kSendTimeoutMs, &length)) return "";
  for (std::size_t size = length + 2;; size *= 2) {
    std::vector<char> buffer(size, '\0');
    DWORD_PTR copied = 0;
    if (!SendWithTimeout(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer.data()),
                         kSendTimeoutMs, &copied))
      return "";
    if (copied + 1 < size || size > 65536) return std::string(buffer.data(), std::min<std::size_t>(copied, size - 1));
  }
}

std::string CaptionOf(HWND window) { return TextOf(window); }

std::string UnicodeTextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length))
    return "";
  for (std::size_t size = length + 2;; size *= 2) {  // as TextOf
    std::vector<wchar_t> buffer(size, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_NORMAL, kSendTimeoutMs, &copied))
      return "";
    if (copied + 1 < size || size > 65536)
      return Utf8FromWide(std::wstring(buffer.data(), std::min<std::size_t>(copied, size - 1)));
  }
}

std::wstring WideFrom(const std::string& bytes, UINT codePage) {
  const int size = bytes.empty() ? 0
                                 : MultiByteToWideChar(codePage, 0, bytes.data(),
                                                       static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                        size);
  }
  return wide;
}

std::wstring WideFromUtf8(const std::string& utf8) { return WideFrom(utf8, CP_UTF8); }

std::string Utf8FromWide(const std::wstring& wide) {
  const int size = wide.empty() ? 0
                                : WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                                      static_cast<int>(wide.size()), nullptr, 0,
                                                      nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                        nullptr, nullptr);
  }
  return utf8;
}

std::string Utf8From(const std::string& bytes, UINT codePage) {
  return Utf8FromWide(WideFrom(bytes, codePage));
}

WindowInfo Describe(HWND window) {
  WindowInfo info;
  info.window = window;
  info.className = ClassOf(window);
  info.caption = CaptionOf(window);
  GetWindowRect(window, &info.rect);
  GetClientRect(window, &info.client);
  info.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  info.exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  info.owner = GetWindow(window, GW_OWNER);
  info.enabled = IsWindowEnabled(window) != 0;
  info.visible = IsWindowVisible(window) != 0;
  info.threadId = GetWindowThreadProcessId(window, &info.processId);
  return info;
}

std::vector<Control> Children(HWND parent) {
  std::vector<Control> controls;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Control control;
    control.window = child;
    control.className = ClassOf(child);
    control.text = TextOf(child);
    GetWindowRect(child, &control.rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&control.rect), 2);
    control.id = GetDlgCtrlID(child);
    control.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    control.exStyle = static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE));
    control.enabled = IsWindowEnabled(child) != 0;
    control.visible = IsWindowVisible(child) != 0;
    controls.push_back(control);
  }
  return controls;
}

std::string MessageBoxText(HWND box) {
  HWND text = ChildById(box, 0xFFFF);
  return text ? TextOf(text) : "";
}

bool EditSelection(HWND edit, DWORD* start, DWORD* end) {
  // Pointers in wParam and lParam do not cross processes; the result packs both positions.
  DWORD_PTR packed = 0;
  if (!SendWithTimeout(edit, EM_GETSEL, 0, 0, kSendTimeoutMs, &packed)) return false;
  if (start) *start = LOWORD(packed);
  if (end) *end = HIWORD(packed);
  return true;
}

HWND FocusOf(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

HWND ActiveOf(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(threadId, &info) ? info.hwndActive : nullptr;
}

bool WaitForFocus(HWND window, int timeoutMs) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  const HWND root = GetAncestor(window, GA_ROOT);
  return PollUntil(timeoutMs, [&] {
    return FocusOf(thread) == window && GetForegroundWindow() == root;
  });
}

// ---- Keyboard and mouse -------------------------------------------------------------------

bool PressKey(WORD vk, unsigned modifiers) {
  std::vector<INPUT> inputs;
  AddKeyPress(inputs, vk, modifiers);
  return Send(inputs);
}

bool TypeText(const std::string& text) {
  std::vector<INPUT> inputs;
  for (char byte : text) {
    const auto value = static_cast<unsigned char>(byte);
    SHORT key = value < 0x80 ? VkKeyScanA(byte) : -1;
    const unsigned shiftState = key == -1 ? 0 : static_cast<unsigned>(HIBYTE(key));
    // Only plain and shifted keys count as typing; a layout that needs Ctrl or Alt for a
    // character would turn it into a command.
    if (key != -1 && (shiftState & ~1u) == 0) {
      AddKeyPress(inputs, LOBYTE(key), (shiftState & 1u) ? kShift : kNoModifier);
      continue;
    }
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) != 1) return false;
    inputs.push_back(UnicodeInput(wide, false));
    inputs.push_back(UnicodeInput(wide, true));
  }
  return Send(inputs);
}

bool TypeUtf8(const std::string& utf8) {
  std::vector<INPUT> inputs;
  for (const wchar_t unit : WideFromUtf8(utf8)) {
    const SHORT key = unit < 0x80 ? VkKeyScanW(unit) : -1;
    const unsigned shiftState = key == -1 ? 0 : static_cast<unsigned>(HIBYTE(key));
    if (key != -1 && (shiftState & ~1u) == 0) {
      AddKeyPress(inputs, LOBYTE(key), (shiftState & 1u) ? kShift : kNoModifier);
      continue;
    }
    inputs.push_back(UnicodeInput(unit, false));
    inputs.push_back(UnicodeInput(unit, true));
  }
  return Send(inputs);
}

bool WaitForUnicodeText(HWND window, const std::string& expected, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return UnicodeTextOf(window) == expected; });
}

bool WaitForText(HWND window, const std::string& expected, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return TextOf(window) == expected; });
}

bool ClickAt(int x, int y) { return MouseTo(x, y, kClick); }

bool MouseTo(int x, int y, Button button) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (width < 2 || height < 2) return false;
  std::vector<INPUT> inputs(button == kClick ? 3 : button == kNoButton ? 1 : 2);
  for (INPUT& input : inputs) input.type = INPUT_MOUSE;
  // Absolute coordinates run from 0 to 65535 across the primary screen.
  inputs[0].mi.dx = (x * 65535 + (width - 1) / 2) / (width - 1);
  inputs[0].mi.dy = (y * 65535 + (height - 1) / 2) / (height - 1);
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  if (button == kPress || button == kClick) inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  if (button == kRelease) inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  if (button == kClick) inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return Send(inputs);
}

bool ClickButton(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return false;
  return ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool SendClick(HWND button, int timeoutMs) {
  return SendWithTimeout(button, BM_CLICK, 0, 0, static_cast<UINT>(timeoutMs));
}

bool PostClick(HWND button) { return PostMessageA(button, BM_CLICK, 0, 0) != 0; }

bool PostClose(HWND window) { return PostMessageA(window, WM_CLOSE, 0, 0) != 0; }

bool SendClose(HWND window, int timeoutMs) {
  return SendWithTimeout(window, WM_CLOSE, 0, 0, static_cast<UINT>(timeoutMs));
}

// ---- Screenshots --------------------------------------------------------------------------

bool SaveScreenArea(const RECT& area, const std::string& pngPath) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // top-down rows
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool captured = false;
  if (memory && bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    captured = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top,
                      SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  std::vector<unsigned char> rgb;
  if (captured) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    rgb.resize(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    const auto* source = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned char* bgr = source + stride * y + 3 * x;
        unsigned char* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        out[0] = bgr[2];
        out[1] = bgr[1];
        out[2] = bgr[0];
      }
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!captured) return false;

  std::vector<unsigned char> png = EncodePng(rgb.data(), width, height);
  FILE* file = std::fopen(pngPath.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

bool SaveScreenshot(HWND window, const std::string& pngPath) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return false;
  return SaveScreenArea(r, pngPath);
}

// ---- Transcript ---------------------------------------------------------------------------

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    const auto value = static_cast<unsigned char>(c);
    hex += digits[value >> 4];
    hex += digits[value & 15];
  }
  return hex;
}

std::string FromHex(const std::string& hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) break;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    const auto value = static_cast<unsigned char>(c);
    if (value >= 0x20 && value < 0x7F && value != '\\')
      out += c;
    else
      out += Format("\\x%02x", value);
  }
  return out;
}

void Transcript::Line(const std::string& line) {
  text_ += line;
  text_ += '\n';
}

void Transcript::Window(const std::string& what, HWND window) {
  const WindowInfo info = Describe(window);
  Line(Format("%s: class=%s caption=\"%s\" rect=%s client=%ldx%ld style=%08lx exstyle=%08lx "
              "owner=%p enabled=%d visible=%d",
              what.c_str(), info.className.c_str(), Printable(info.caption).c_str(),
              RectText(info.rect).c_str(), info.client.right, info.client.bottom, info.style,
              info.exStyle, static_cast<void*>(info.owner), info.enabled, info.visible));
  for (const Control& c : Children(window))
    Line(Format("  child id=%d class=%s text=\"%s\" rect=%s style=%08lx exstyle=%08lx",
                c.id, c.className.c_str(), Printable(c.text).c_str(), RectText(c.rect).c_str(),
                c.style, c.exStyle));
}

bool Transcript::Save(const std::string& path) const {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = true;
  for (char c : text_) {
    if (c == '\n') ok = ok && std::fputc('\r', file) != EOF;
    ok = ok && std::fputc(c, file) != EOF;
  }
  return std::fclose(file) == 0 && ok;
}

}  // namespace ui

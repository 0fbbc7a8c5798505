#include "tests/installer/installer_session.h"

#include <commctrl.h>

#include "tests/ui_driver/ui_driver.h"

namespace installer_test {
namespace {

constexpr int kEditId = 10;
constexpr int kPromptOkId = 1000;
constexpr int kLabelId = 0;
constexpr int kBoxTextId = 0xFFFF;
constexpr int kProgressLabelId = 100;
constexpr int kProgressBarId = 101;
constexpr int kProgressLineId = 102;

// The first visible top-level window of the process, or null.
HWND VisibleWindow(DWORD processId) {
  for (HWND window : ui::TopLevelWindows(processId)) {
    if (IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// True when the screen area of `window` holds at least one dark pixel (text drawn on it).
bool HasDarkPixel(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return false;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool dark = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
      const auto* pixel = static_cast<const unsigned char*>(bits);
      for (int i = 0; i < width * height && !dark; ++i, pixel += 4) {
        dark = pixel[0] < 80 && pixel[1] < 80 && pixel[2] < 80;
      }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return dark;
}

}  // namespace

bool WaitUntilPainted(HWND window, int timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    bool painted = true;
    for (const ui::Control& child : ui::Children(window)) {
      if (child.visible && !child.text.empty() && !HasDarkPixel(child.window)) painted = false;
    }
    if (painted) return true;
    if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
    Sleep(10);
  }
}

namespace {

class Runner {
 public:
  Runner(const SessionOptions& options, Session& session) : options_(options), session_(session) {}

  void Run() {
    if (!options_.openedDocument.empty()) {
      if (!program_.Open(options_.openedDocument)) {
        Fail("the shell did not open " + ui::Printable(options_.openedDocument) + ", error " +
             std::to_string(GetLastError()));
        return;
      }
    } else if (!(options_.unicode
                     ? program_.StartUnicode(options_.commandLine, options_.workingDirectory)
                     : program_.Start(options_.commandLine, options_.workingDirectory))) {
      Fail("the tool could not be started: " + ui::Printable(options_.commandLine));
      return;
    }
    session_.started = true;
    DWORD idleSince = GetTickCount();
    while (session_.failure.empty()) {
      DWORD code = 0;
      if (program_.WaitForExit(0, &code)) {
        session_.exited = true;
        session_.exitCode = code;
        return;
      }
      HWND window = VisibleWindow(program_.Id());
      if (window == nullptr) {
        if (GetTickCount() - idleSince > static_cast<DWORD>(options_.timeoutMs)) {
          Fail("the tool neither showed a window nor ended");
        }
        Sleep(5);
        continue;
      }
      const std::string className = ui::ClassOf(window);
      if (className == "InputRequester") {
        HandlePrompt(window);
      } else if (className == "CopyProgress") {
        HandleProgress(window);
      } else if (className == "#32770") {
        HandleBox(window);
      } else {
        Fail("an unexpected window of class " + className + ": " +
             ui::Printable(ui::CaptionOf(window)));
      }
      idleSince = GetTickCount();
    }
    program_.Kill();
  }

 private:
  // A window's text as the session records it: ANSI bytes, or UTF-8 in a Unicode session.
  std::string Read(HWND window) const {
    return options_.unicode ? ui::UnicodeTextOf(window) : ui::TextOf(window);
  }

  void Fail(const std::string& what) {
    if (session_.failure.empty()) session_.failure = what;
  }

  // The copy's window goes by itself when the copy ends, maybe in mid-shot: that is no failure.
  void Screenshot(HWND window, const std::string& kind) {
    if (options_.screenshotPrefix.empty()) return;
    if (!WaitUntilPainted(window, options_.timeoutMs) && IsWindow(window)) {
      Fail("the " + kind + " never painted its texts");
    }
    ++shots_;
    const std::string name =
        options_.screenshotPrefix + "-" + std::to_string(shots_) + "-" + kind + ".png";
    if (!ui::SaveScreenshot(window, ui::ArtifactPath(name)) && IsWindow(window)) {
      Fail("screenshot " + name + " failed");
    }
  }

  void HandlePrompt(HWND prompt) {
    const int t = options_.timeoutMs;
    session_.order.push_back("prompt");
    HWND edit = ui::WaitForChild(prompt, kEditId, t);
    HWND ok = ui::WaitForChild(prompt, kPromptOkId, t);
    if (edit == nullptr || ok == nullptr) return Fail("the prompt's edit box or OK button is missing");
    if (!ui::WaitForFocus(edit, t)) return Fail("the prompt's edit box never got the focus");

    Prompt seen;
    seen.caption = Read(prompt);
    seen.label = Read(ui::ChildById(prompt, kLabelId));
    seen.initialText = Read(edit);
    ui::EditSelection(edit, &seen.selectionStart, &seen.selectionEnd);
    session_.prompts.push_back(seen);
    Screenshot(prompt, "prompt");
    if (options_.onPrompt) options_.onPrompt(prompt);

    const Answer& answer = options_.answer;
    switch (answer.action) {
      case PromptAction::kEnter:
        ui::PressKey(VK_RETURN);
        break;
      case PromptAction::kReplace:
        ui::PressKey(VK_HOME);
        ui::PressKey(VK_END, ui::kShift);
        if (answer.text.empty()) {
          ui::PressKey(VK_DELETE);
        } else {
          options_.unicode ? ui::TypeUtf8(answer.text) : ui::TypeText(answer.text);
        }
        if (!(options_.unicode ? ui::WaitForUnicodeText(edit, answer.text, t)
                               : ui::WaitForText(edit, answer.text, t))) {
          return Fail("the prompt never showed the typed answer; it shows " +
                      ui::Printable(ui::TextOf(edit)));
        }
        Screenshot(prompt, "prompt-answered");
        ui::PressKey(VK_RETURN);
        break;
      case PromptAction::kAppend:
        ui::TypeText(answer.text);
        if (!ui::WaitForText(edit, seen.initialText + answer.text, t)) {
          return Fail("the prompt never showed the typed answer; it shows " +
                      ui::Printable(ui::TextOf(edit)));
        }
        Screenshot(prompt, "prompt-answered");
        ui::ClickButton(ok);
        break;
      case PromptAction::kEscape:
        ui::PressKey(VK_ESCAPE);
        break;
      case PromptAction::kCloseRequest:
        ui::PostClose(prompt);
        break;
    }
    session_.answeredAt = GetTickCount();
    if (!ui::WaitForWindowGone(prompt, t)) Fail("the prompt stayed open after the answer");
  }

  // Reads the bar and the line once, noting what changed.
  void Sample(ProgressSeen& seen, HWND bar, HWND line) {
    DWORD_PTR position = 0;
    if (SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 200, &position) &&
        (seen.positions.empty() || seen.positions.back() != static_cast<int>(position))) {
      seen.positions.push_back(static_cast<int>(position));
      movedAt_ = GetTickCount();
    }
    const std::string text = Read(line);
    if (!text.empty() && (seen.lines.empty() || seen.lines.back() != text)) seen.lines.push_back(text);
    if (text == "Wird abgebrochen \x85") seen.stopLine = true;
  }

  // Holds the left button on the caption and moves the mouse for a second and a half: the
  // window's thread runs the platform's move loop meanwhile.
  void Drag(ProgressSeen& seen, HWND window, HWND bar, HWND line) {
    RECT before{};
    GetWindowRect(window, &before);
    const int x = (before.left + before.right) / 2;
    const int y = before.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    ui::MouseTo(x, y, ui::kPress);
    seen.risesWhileDragged = 0;
    const DWORD start = GetTickCount();
    for (int i = 1; GetTickCount() - start < 1500 && IsWindow(window); ++i) {
      ui::MouseTo(x - 2 * (i % 50), y + i % 20);
      Sleep(30);
      const std::size_t known = seen.positions.size();
      Sample(seen, bar, line);
      if (seen.positions.size() > known && known > 0) ++seen.risesWhileDragged;
    }
    RECT after{};
    GetWindowRect(window, &after);
    ui::MouseTo(x - 2 * 25, y, ui::kRelease);
    seen.draggedBy = static_cast<int>(before.left - after.left);
  }

  // Asks Wine to end the session, as a logoff does, and notes how wineboot ended.
  void EndSession(ProgressSeen& seen) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    char command[] = "wineboot.exe --end-session";
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
      return Fail("wineboot could not be started");
    }
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(options_.timeoutMs)) == WAIT_OBJECT_0)
      GetExitCodeProcess(process.hProcess, &seen.endSessionCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }

  // Watches the copy's window until it goes, recording every position of its bar and every
  // text of its line; presses Escape, drags it or ends the session where the options say.
  void HandleProgress(HWND window) {
    const int t = options_.timeoutMs;
    session_.order.push_back("progress");
    HWND button = ui::WaitForChild(window, IDCANCEL, t);
    HWND bar = ui::ChildById(window, kProgressBarId);
    HWND line = ui::ChildById(window, kProgressLineId);
    if (button == nullptr || bar == nullptr || line == nullptr) {
      return Fail("the copy's window lacks its bar, its line or its button");
    }
    session_.progress.emplace_back();
    ProgressSeen& seen = session_.progress.back();
    seen.caption = Read(window);
    seen.label = Read(ui::ChildById(window, kProgressLabelId));
    seen.button = Read(button);
    DWORD_PTR end = 0;
    SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, t, &end);
    seen.barEnd = static_cast<int>(end);
    Screenshot(window, "progress");
    bool laterShot = false;
    bool acted = false;
    movedAt_ = GetTickCount();
    const ProgressAction action = options_.progressAction;
    while (IsWindow(window) && session_.failure.empty()) {
      Sample(seen, bar, line);
      // Later in the copy, once the time left shows.
      if (!laterShot && !seen.lines.empty() && seen.lines.back().find("noch") != std::string::npos &&
          IsWindow(window)) {
        laterShot = true;
        Screenshot(window, "progress-later");
      }
      const bool risen = seen.positions.size() >= 3;
      // The bar's last step: the last blocks, the flush and the rename are near. The window may
      // go between two looks, so what it showed last need not be the full bar.
      const bool nearEnd = !seen.positions.empty() && seen.positions.back() >= seen.barEnd - 1;
      const bool pressesEscape = action == ProgressAction::kEscape || action == ProgressAction::kAltEscape;
      // A stop waits for the time left too, which shows only once the copy's pace is known.
      if (!acted && ((pressesEscape && risen && laterShot) ||
                     (action == ProgressAction::kEscapeWhenFull && nearEnd))) {
        acted = true;
        if (!ui::WaitForFocus(button, t)) {
          if (IsWindow(window)) return Fail("the copy's window never got the focus");
          break;  // gone meanwhile: too late to press
        }
        if (action == ProgressAction::kAltEscape) ui::PressKey(VK_MENU);
        ui::PressKey(VK_ESCAPE);
        seen.pressedAt = GetTickCount();
      }
      if (!acted && risen && action == ProgressAction::kDrag) {
        acted = true;
        Drag(seen, window, bar, line);
      }
      if (!acted && risen && action == ProgressAction::kEndSession) {
        acted = true;
        EndSession(seen);
      }
      if (GetTickCount() - movedAt_ > static_cast<DWORD>(t)) Fail("the copy's bar stood still");
      Sleep(2);
    }
    seen.goneAt = GetTickCount();
    const bool mustPress = action == ProgressAction::kEscape || action == ProgressAction::kAltEscape;
    if ((action != ProgressAction::kWatch && action != ProgressAction::kEscapeWhenFull && !acted) ||
        (mustPress && seen.pressedAt == 0)) {
      Fail("the copy's window went before it could be worked");
    }
  }

  void HandleBox(HWND box) {
    const int t = options_.timeoutMs;
    session_.order.push_back("box");
    HWND ok = ui::WaitForChild(box, IDOK, t);
    if (ui::WaitForChild(box, kBoxTextId, t) == nullptr || ok == nullptr) {
      return Fail("a message box without its text or OK button");
    }
    session_.boxSeenAt.push_back(GetTickCount());
    session_.boxes.push_back({Read(box), Read(ui::ChildById(box, kBoxTextId))});
    if (!ui::WaitForFocus(ok, t)) return Fail("the message box's OK button never got the focus");
    Screenshot(box, "box");
    if (options_.boxAction == BoxAction::kClickOk) {
      ui::ClickButton(ok);
    } else {
      ui::PressKey(VK_RETURN);
    }
    if (!ui::WaitForWindowGone(box, t)) Fail("a message box stayed open after OK");
  }

  const SessionOptions& options_;
  Session& session_;
  ui::Program program_;
  int shots_ = 0;
  DWORD movedAt_ = 0;  // when the copy's bar last moved
};

}  // namespace

Session RunSession(const SessionOptions& options) {
  Session session;
  Runner(options, session).Run();
  return session;
}

std::string Describe(const Session& session) {
  std::string out = session.started ? "started" : "not started";
  for (const Prompt& p : session.prompts) {
    out += "; prompt caption=\"" + ui::Printable(p.caption) + "\" label=\"" +
           ui::Printable(p.label) + "\" initial=\"" + ui::Printable(p.initialText) + "\"";
  }
  for (const ProgressSeen& p : session.progress) {
    out += "; progress caption=\"" + ui::Printable(p.caption) + "\" label=\"" +
           ui::Printable(p.label) + "\" " + std::to_string(p.positions.size()) + " positions";
    if (!p.positions.empty()) out += " up to " + std::to_string(p.positions.back());
    if (!p.lines.empty()) out += " last line \"" + ui::Printable(p.lines.back()) + "\"";
  }
  for (const Box& b : session.boxes) {
    out += "; box \"" + ui::Printable(b.title) + "\": \"" + ui::Printable(b.text) + "\"";
  }
  out += session.exited ? "; exit code " + std::to_string(session.exitCode) : "; did not exit";
  if (!session.failure.empty()) out += "; FAILURE: " + session.failure;
  return out;
}

}  // namespace installer_test

#pragma once
// The UI test driver: sees and drives the windows of another process the way a person (or an
// accessibility client) does. It runs inside a test executable under Wine, beside the program
// under test in the same prefix and display:
//   - finds windows by process id, class and caption, and reads what a person would see
//     (caption, texts, rectangles, styles, owner, enabled and visible state, focus);
//   - types and clicks through SendInput, so keys reach the target's GetMessageA,
//     TranslateAcceleratorA and TranslateMessage with the real key state (Shift, Ctrl and Alt
//     held down are seen by an accelerator table, unlike posted WM_KEYDOWN messages);
//   - sends or posts the messages that automation tools send (WM_CLOSE, BM_CLICK);
//   - saves PNG screenshots of windows and writes a transcript of every step.
//
// Every wait takes a timeout in milliseconds and polls; nothing here blocks for good on the
// program under test (messages are sent with SendMessageTimeout). Texts are the ANSI bytes of
// the windows, unchanged (0xFC stays 0xFC). Nothing throws.
//
// Typical use:
//   ui::Program program;
//   ASSERT_TRUE(program.Start("\"Z:\\...\\PakInstaller.exe\" \"Z:\\tmp\\a.pak\"", "Z:\\tmp"));
//   HWND box = ui::WaitForWindow(program.Id(), "#32770", nullptr, 5000);
//   EXPECT_EQ(ui::MessageBoxText(box), "Fertig!");
//   ui::SaveScreenshot(box, ui::ArtifactPath("installer_done.png"));
//   ui::ClickButton(ui::ChildById(box, IDOK));
//   DWORD code = 0;
//   EXPECT_TRUE(program.WaitForExit(5000, &code));
#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// ---- Programs -----------------------------------------------------------------------------

// A started program. The destructor ends it (TerminateProcess) if it still runs, so a failed
// test never leaves a window on the shared display for the next one.
class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  // Starts a program with exactly `commandLine` (CreateProcessA's command line, no quoting
  // added; the first token names the program unless `applicationPath` is given) in
  // `workingDirectory` (empty: the driver's own). Paths are Windows paths, e.g. Z:\work\...
  // False when the program cannot be started, or the one started before still runs.
  bool Start(const std::string& commandLine, const std::string& workingDirectory = "",
             const std::string& applicationPath = "");
  // The same through CreateProcessW, as the shell starts a program: `commandLine` in UTF-8 may
  // name files whose names the ANSI code page cannot hold.
  bool StartUnicode(const std::string& commandLine, const std::string& workingDirectory = "");
  // Opens `document` the way a double-click in Explorer does: ShellExecuteExA with the file
  // and no program, so the shell's file association picks the program. False when the shell
  // starts nothing (no association) or the program started before still runs.
  bool Open(const std::string& document);
  // Waits until the program has exited; its exit code goes to `exitCode` when given.
  // False on timeout (the program keeps running).
  bool WaitForExit(int timeoutMs, DWORD* exitCode = nullptr);
  // Ends the program if it still runs (exit code 0xDEAD) and waits for it.
  void Kill();
  bool Running() const;

  HANDLE Handle() const { return process_; }
  DWORD Id() const { return id_; }
  DWORD MainThreadId() const { return threadId_; }  // 0 after Open

 private:
  void Adopt(const PROCESS_INFORMATION& info);  // keeps the new process, lets its thread go

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  DWORD threadId_ = 0;
};

// "Z:" followed by the Linux path with backslashes: how a Linux path reads under Wine.
std::string WindowsPath(const std::string& linuxPath);

// A path in the build folder's artefact directory (build/<name>/screenshots/, as a Windows
// path), creating the directory on first use. Screenshots and transcripts go there.
std::string ArtifactPath(const std::string& fileName);

// ---- Finding windows ----------------------------------------------------------------------

// The process's top-level windows (visible or not), in Z order.
std::vector<HWND> TopLevelWindows(DWORD processId);

// Waits for a visible top-level window of `processId` whose class is `className` and whose
// caption is `caption` (either may be null: any), and returns it; null on timeout.
HWND WaitForWindow(DWORD processId, const char* className, const char* caption, int timeoutMs);

// Waits for a visible top-level window of any process whose caption contains `captionPart`:
// a window of a program that the one under test started (an editor opened on a file). Null on
// timeout.
HWND WaitForCaptionContaining(const std::string& captionPart, int timeoutMs);

// Waits until `window` no longer exists (IsWindow is false). False on timeout.
bool WaitForWindowGone(HWND window, int timeoutMs);

// The direct child of `parent` with control id `id`, or null.
HWND ChildById(HWND parent, int id);
// Waits for that child; null on timeout.
HWND WaitForChild(HWND parent, int id, int timeoutMs);

// ---- Reading windows ----------------------------------------------------------------------

std::string ClassOf(HWND window);
// The window text through WM_GETTEXT (works across processes, also for edit controls).
std::string TextOf(HWND window);
// Same as TextOf: the caption of a top-level window.
std::string CaptionOf(HWND window);
// The window text through the Unicode WM_GETTEXT, in UTF-8: letters outside the driver's own
// ANSI code page come back as they are.
std::string UnicodeTextOf(HWND window);

// Texts between UTF-8, UTF-16 and a code page's bytes ("" where a conversion fails).
std::wstring WideFrom(const std::string& bytes, UINT codePage);
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
std::string Utf8From(const std::string& bytes, UINT codePage);

struct WindowInfo {
  HWND window = nullptr;
  std::string className;
  std::string caption;
  RECT rect{};  // outer rectangle in screen coordinates
  RECT client{};  // client rectangle (0, 0, width, height)
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND owner = nullptr;  // GetWindow(GW_OWNER)
  bool enabled = false;
  bool visible = false;
  DWORD processId = 0;
  DWORD threadId = 0;
};
WindowInfo Describe(HWND window);

struct Control {
  HWND window = nullptr;
  std::string className;  // e.g. "Static", "Edit", "Button" as the platform spells it
  std::string text;       // WM_GETTEXT
  RECT rect{};            // in the parent's client coordinates
  int id = 0;             // GetDlgCtrlID (0xFFFF for a message box's text)
  DWORD style = 0;
  DWORD exStyle = 0;
  bool enabled = false;
  bool visible = false;
};
// The direct children of `parent`, in Z order (creation order for these dialogs).
std::vector<Control> Children(HWND parent);

// The body text of a message box (class "#32770"): its static control with id 0xFFFF, byte
// for byte. Empty when there is none.
std::string MessageBoxText(HWND box);

// An edit control's selection (EM_GETSEL): start and end in characters. False when the
// message cannot be sent.
bool EditSelection(HWND edit, DWORD* start, DWORD* end);

// The keyboard focus and the active window of `threadId` (GetGUIThreadInfo); null when the
// thread has none.
HWND FocusOf(DWORD threadId);
HWND ActiveOf(DWORD threadId);

// Waits until `window` has the keyboard focus of its thread and its top-level window is the
// foreground window, i.e. keys typed now reach it. Type only after this is true.
bool WaitForFocus(HWND window, int timeoutMs);

// ---- Keyboard and mouse (real input through SendInput) ------------------------------------

enum Modifiers : unsigned {
  kNoModifier = 0,
  kShift = 1,
  kCtrl = 2,
  kAlt = 4,
};

// Presses and releases `vk` with the given modifiers held down (pressed before, released
// after, in reverse order). Returns false when SendInput did not take every event.
bool PressKey(WORD vk, unsigned modifiers = kNoModifier);

// Types `text` (ANSI bytes) as key presses: each byte the keyboard layout has a key for is
// typed as that key (with Shift when the layout needs it); other bytes (e.g. 0xFC on a US
// layout) as KEYEVENTF_UNICODE input. False when SendInput did not take every event.
bool TypeText(const std::string& text);
// The same for UTF-8 text: a letter no key makes arrives as an input method delivers it.
bool TypeUtf8(const std::string& utf8);

// Waits until the Unicode text of `window`, in UTF-8, is `expected`.
bool WaitForUnicodeText(HWND window, const std::string& expected, int timeoutMs);

// Waits until the text of `window` (WM_GETTEXT) is `expected`. Input is handled in the order
// it was sent, so once a typed marker shows, every key sent before it has been handled too:
// the way to prove that a key did nothing. False on timeout.
bool WaitForText(HWND window, const std::string& expected, int timeoutMs);

// A real left click at the centre of `window` (mouse moved there, pressed, released).
bool ClickButton(HWND window);
// A real left click at a point in screen coordinates.
bool ClickAt(int x, int y);
// The mouse moved to a point in screen coordinates, and there the left button pressed, released,
// both or neither: the pieces of a drag.
enum Button { kNoButton, kPress, kRelease, kClick };
bool MouseTo(int x, int y, Button button = kNoButton);

// BM_CLICK sent (not posted) to a button, as automation tools do. False on timeout.
bool SendClick(HWND button, int timeoutMs = 5000);
// BM_CLICK posted: for a button whose click runs a message loop of its own (a wizard page
// built at run time), which a sent click would wait for.
bool PostClick(HWND button);
// WM_CLOSE posted, or sent (returns once the target has handled it; false on timeout).
bool PostClose(HWND window);
bool SendClose(HWND window, int timeoutMs = 5000);

// ---- Screenshots --------------------------------------------------------------------------

// Saves the screen area of `window`'s outer rectangle as a PNG file (24-bit RGB). The screen
// is captured as it is: the window is not raised first, so whatever covers it is in the shot.
bool SaveScreenshot(HWND window, const std::string& pngPath);
// Saves a screen rectangle as a PNG file.
bool SaveScreenArea(const RECT& area, const std::string& pngPath);

// Encodes RGB pixels (3 bytes per pixel, rows top to bottom) as a PNG file image (stored
// deflate blocks, no compression). Portable; exposed for tests.
std::vector<unsigned char> EncodePng(const unsigned char* rgb, int width, int height);

// ---- Transcript ---------------------------------------------------------------------------

// The bytes of `bytes` as lower-case hex pairs ("pak" -> "70616b").
std::string Hex(const std::string& bytes);
// The bytes that `hex` spells; stops at the first pair that is not hex.
std::string FromHex(const std::string& hex);
// Printable ASCII as it is, other bytes as \xNN: for readable failure messages.
std::string Printable(const std::string& bytes);

// A record of what the test did and saw, one line per step. Save writes it to a file (CR LF
// lines); tests check Text() or the file.
class Transcript {
 public:
  void Line(const std::string& line);
  // One line "<what>: class=... caption=... rect=... style=... exstyle=... owner=...
  // enabled=... visible=..." for a window, and one line per child control.
  void Window(const std::string& what, HWND window);
  const std::string& Text() const { return text_; }
  bool Save(const std::string& path) const;

 private:
  std::string text_;
};

}  // namespace ui

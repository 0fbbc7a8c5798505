#pragma once
// One run of the real PakInstaller.exe, worked like a person works it: every window the tool
// shows is read back, photographed and answered, in the order it appears, until the process
// ends. Used by the end-to-end tests and by scripts/run-sample.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace installer_test {

// How the pak-set prompt is answered when it shows.
enum class PromptAction {
  kEnter,        // press Enter on whatever the box holds
  kReplace,      // select everything, type `text`, press Enter
  kAppend,       // type `text` after the initial text, click OK
  kEscape,       // press Escape
  kCloseRequest  // send WM_CLOSE, as the task bar or another tool would
};

// What is done with the window of a long copy.
enum class ProgressAction {
  kWatch,           // watch it until it goes
  kEscape,          // press Escape once its bar has risen
  kEscapeWhenFull,  // press Escape in the bar's last step, if the window is still there
  kDrag,            // drag it by its caption for a second and a half once its bar has risen
  kAltEscape,       // tap Alt, then press Escape, once its bar has risen
  kEndSession,      // end the session (`wineboot --end-session`) once its bar has risen
};

// How message boxes are dismissed.
enum class BoxAction { kEnter, kClickOk };

struct Answer {
  PromptAction action = PromptAction::kEnter;
  std::string text;
};

struct Prompt {
  std::string caption;
  std::string label;
  std::string initialText;
  DWORD selectionStart = 0;
  DWORD selectionEnd = 0;
};

struct Box {
  std::string title;
  std::string text;
};

// The window of a long copy, as it was seen.
struct ProgressSeen {
  std::string caption;
  std::string label;
  std::string button;
  std::vector<int> positions;  // every position of the bar seen, in order
  int barEnd = 0;              // the bar's range ends here
  std::vector<std::string> lines;  // every text of the line under the bar seen, in order
  DWORD pressedAt = 0;  // GetTickCount when Escape was pressed; 0: it was not (or too late)
  DWORD goneAt = 0;            // when the window was gone
  int risesWhileDragged = -1;  // how often the bar rose during the drag; -1: no drag
  int draggedBy = 0;           // how far the drag moved the window, in pixels across
  DWORD endSessionCode = 0xFFFFFFFF;  // wineboot's exit code after ending the session
  bool stopLine = false;       // the line said that the copy is being stopped
};

struct Session {
  bool started = false;
  std::vector<Prompt> prompts;  // normally none or one
  std::vector<Box> boxes;       // in the order they were shown
  std::vector<ProgressSeen> progress;  // normally none; one for a long copy
  // The order of everything seen: "prompt", "progress" and "box", for readable failures.
  std::vector<std::string> order;
  // GetTickCount when the prompt's answer had been sent, and when each box was first seen (in
  // the order of `boxes`): how long the work between them took, as a person waits for it.
  DWORD answeredAt = 0;
  std::vector<DWORD> boxSeenAt;
  bool exited = false;
  DWORD exitCode = 0xFFFFFFFF;
  std::string failure;  // empty when every wait succeeded
};

struct SessionOptions {
  std::string commandLine;       // CreateProcessA's, exactly
  // The shell's way: `commandLine` is UTF-8 and goes to CreateProcessW, and every text of the
  // tool's windows is read through the Unicode calls, in UTF-8.
  bool unicode = false;
  // When set, the tool is not started with `commandLine`: the shell opens this add-on the way a
  // double-click in Explorer does, and the file association names the program.
  std::string openedDocument;
  std::string workingDirectory;  // where the tool is started from ("" = ours)
  Answer answer;
  BoxAction boxAction = BoxAction::kEnter;
  ProgressAction progressAction = ProgressAction::kWatch;
  std::string screenshotPrefix;  // "" = no screenshots; else ArtifactPath(prefix + "-N-kind.png")
  int timeoutMs = 15000;         // for each single wait
  // Runs once the prompt has been read and photographed, before it is answered: the moment in
  // which something else on the machine may change what the tool finds next. Empty: nothing.
  std::function<void(HWND prompt)> onPrompt;
};

// A window is on screen before its children have painted: waits until every visible child
// with a text shows some of it (dark text on a light face), so a screenshot shows the texts.
bool WaitUntilPainted(HWND window, int timeoutMs);

// Starts the tool and works it until it ends (or a wait times out, when it is killed).
Session RunSession(const SessionOptions& options);

// Readable one-line account of a session for assertion messages.
std::string Describe(const Session& session);

}  // namespace installer_test

// ui_driver.exe: the UI driver as a program, for scripts and for looking at windows by hand.
//
//   ui_driver SCRIPT TRANSCRIPT
//
// Runs SCRIPT one command a line (blank lines and lines starting with # are skipped), writes
// one transcript line per command ("ok ..." or "FAILED ...", plus what was read), and stops at
// the first failure. Exit code 0 when every command succeeded, 1 on a failure, 2 on bad usage.
// Texts may hold \xNN escapes (\x5c for a backslash); ids are decimal.
//
//   cd DIR                       working directory for the next start
//   start COMMAND LINE           start a program with exactly this command line
//   wait-window CLASS|* [CAPTION]  wait for a visible top-level window of the program
//   describe                     the window and its controls, into the transcript
//   expect-caption TEXT          the window's caption is TEXT
//   expect-message TEXT          a message box's body text is TEXT
//   expect-text ID TEXT          the control's text (WM_GETTEXT) is TEXT
//   wait-text ID TEXT            wait until the control's text is TEXT
//   wait-focus ID                wait until the control has the keyboard focus
//   type TEXT                    type the text as key presses
//   key [shift+][ctrl+][alt+]NAME  press a key: enter escape tab back space delete left right
//                                home end, or a single letter or digit
//   click ID                     a real mouse click at the control's centre
//   send-click ID                BM_CLICK sent to the control
//   post-close | send-close      WM_CLOSE to the window
//   screenshot FILE.png          PNG of the window
//   wait-gone                    wait until the window no longer exists
//   wait-exit [CODE]             wait until the program exits (with exit code CODE)
//   expect-line FILE LINE        FILE (e.g. a result the program wrote) has the line LINE
//   timeout MS                   timeout of every later wait (default 5000)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ui_driver/ui_driver.h"

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      const std::string pair = ui::FromHex(text.substr(i + 2, 2));
      if (pair.size() == 1) {
        out += pair;
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

struct KeyName {
  const char* name;
  WORD vk;
};
const KeyName kKeys[] = {
    {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"tab", VK_TAB},   {"back", VK_BACK},
    {"space", VK_SPACE},  {"delete", VK_DELETE}, {"left", VK_LEFT}, {"right", VK_RIGHT},
    {"home", VK_HOME},    {"end", VK_END},
};

bool ParseKey(std::string combo, WORD* vk, unsigned* modifiers) {
  *modifiers = ui::kNoModifier;
  const struct {
    const char* prefix;
    unsigned bit;
  } prefixes[] = {{"shift+", ui::kShift}, {"ctrl+", ui::kCtrl}, {"alt+", ui::kAlt}};
  for (bool found = true; found;) {
    found = false;
    for (const auto& p : prefixes)
      if (combo.rfind(p.prefix, 0) == 0) {
        *modifiers |= p.bit;
        combo.erase(0, std::string(p.prefix).size());
        found = true;
      }
  }
  for (const KeyName& k : kKeys)
    if (combo == k.name) return *vk = k.vk, true;
  if (combo.size() == 1 && ((combo[0] >= 'a' && combo[0] <= 'z') || (combo[0] >= '0' && combo[0] <= '9'))) {
    *vk = static_cast<WORD>(combo[0] >= 'a' ? combo[0] - 'a' + 'A' : combo[0]);
    return true;
  }
  return false;
}

class Session {
 public:
  // Runs one command; false (with the reason in `error`) when it failed.
  bool Run(const std::string& line, std::string* error) {
    const std::size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    // "ID TEXT" arguments
    const std::size_t split = rest.find(' ');
    const int id = std::atoi(rest.c_str());
    const std::string idText = split == std::string::npos ? "" : Unescape(rest.substr(split + 1));

    if (command == "timeout") return (timeout_ = std::atoi(rest.c_str())) > 0;
    if (command == "cd") return directory_ = rest, true;
    if (command == "start") {
      if (!program_.Start(rest, directory_)) return Fail(error, "cannot start");
      return Note("pid " + std::to_string(program_.Id()));
    }
    if (command == "wait-exit") {
      DWORD code = 0;
      if (!program_.WaitForExit(timeout_, &code)) return Fail(error, "still running");
      Note("exit code " + std::to_string(code));
      if (!rest.empty() && code != static_cast<DWORD>(std::atoi(rest.c_str())))
        return Fail(error, "exit code " + std::to_string(code));
      return true;
    }
    if (command == "wait-window") {
      const std::string cls = rest.substr(0, split);
      const std::string caption = idText;
      window_ = ui::WaitForWindow(program_.Id(), cls == "*" ? nullptr : cls.c_str(),
                                  split == std::string::npos ? nullptr : caption.c_str(), timeout_);
      if (!window_) return Fail(error, "no such window");
      return Note("class " + ui::ClassOf(window_) + " caption \"" +
                  ui::Printable(ui::CaptionOf(window_)) + "\"");
    }
    if (command == "expect-line") {
      FILE* file = std::fopen(rest.substr(0, split).c_str(), "rb");
      if (!file) return Fail(error, "cannot read the file");
      bool found = false;
      char buffer[4096];
      while (!found && std::fgets(buffer, sizeof buffer, file)) {
        std::string text = buffer;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        found = text == idText;
      }
      std::fclose(file);
      return found || Fail(error, "no such line");
    }
    if (!window_) return Fail(error, "no window yet (wait-window first)");
    if (command == "describe") {
      ui::Transcript description;
      description.Window("window", window_);
      notes_ += description.Text();
      return true;
    }
    if (command == "expect-caption") return Expect(ui::CaptionOf(window_), Unescape(rest), error);
    if (command == "expect-message") return Expect(ui::MessageBoxText(window_), Unescape(rest), error);
    if (command == "post-close") return ui::PostClose(window_) || Fail(error, "not posted");
    if (command == "send-close") return ui::SendClose(window_, timeout_) || Fail(error, "timed out");
    if (command == "screenshot") return ui::SaveScreenshot(window_, rest) || Fail(error, "not saved");
    if (command == "wait-gone") return ui::WaitForWindowGone(window_, timeout_) || Fail(error, "still there");
    if (command == "type") return ui::TypeText(Unescape(rest)) || Fail(error, "input refused");
    if (command == "key") {
      WORD vk = 0;
      unsigned modifiers = 0;
      if (!ParseKey(rest, &vk, &modifiers)) return Fail(error, "unknown key");
      return ui::PressKey(vk, modifiers) || Fail(error, "input refused");
    }
    HWND control = ui::WaitForChild(window_, id, timeout_);
    if (!control) return Fail(error, "no control with id " + std::to_string(id));
    if (command == "expect-text") return Expect(ui::TextOf(control), idText, error);
    if (command == "wait-text")
      return ui::WaitForText(control, idText, timeout_) ||
             Fail(error, "text is \"" + ui::Printable(ui::TextOf(control)) + "\"");
    if (command == "wait-focus") return ui::WaitForFocus(control, timeout_) || Fail(error, "no focus");
    if (command == "click") return ui::ClickButton(control) || Fail(error, "input refused");
    if (command == "send-click") return ui::SendClick(control, timeout_) || Fail(error, "timed out");
    return Fail(error, "unknown command");
  }

  // What the last command read, for the transcript.
  std::string TakeNotes() {
    std::string notes;
    notes.swap(notes_);
    return notes;
  }

 private:
  static bool Fail(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
  }
  bool Note(const std::string& note) {
    notes_ += "  " + note + "\n";
    return true;
  }
  bool Expect(const std::string& actual, const std::string& expected, std::string* error) {
    if (actual == expected) return true;
    return Fail(error, "got \"" + ui::Printable(actual) + "\"");
  }

  ui::Program program_;
  std::string directory_;
  HWND window_ = nullptr;
  int timeout_ = 5000;
  std::string notes_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ui_driver SCRIPT TRANSCRIPT\n");
    return 2;
  }
  FILE* script = std::fopen(argv[1], "rb");
  if (!script) {
    std::fprintf(stderr, "ui_driver: cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<std::string> lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, script)) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines.push_back(line);
  }
  std::fclose(script);

  ui::ArtifactPath("");  // makes the artefact directory that scripts write into
  Session session;
  ui::Transcript transcript;
  int status = 0;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] == '#') continue;
    std::string error;
    const bool ok = session.Run(line, &error);
    transcript.Line((ok ? "ok " : "FAILED ") + line + (ok ? "" : ": " + error));
    std::string notes = session.TakeNotes();
    if (!notes.empty()) {
      notes.pop_back();
      transcript.Line(notes);
    }
    if (!ok) {
      status = 1;
      break;
    }
  }
  transcript.Save(argv[2]);
  std::fputs(transcript.Text().c_str(), stdout);
  return status;
}

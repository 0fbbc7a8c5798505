// Plays the person at the screen for scripts/run-sample when there is no display to show the
// tool to: starts PakInstaller.exe on an add-on, accepts the offered pak-set name, dismisses
// each box and prints what it saw (Windows-1252 bytes, one line per window).
//
//   sample_driver.exe TOOL.exe ADDON.pak
#include <cstdio>
#include <string>

#include "tests/installer/installer_session.h"
#include "tests/ui_driver/ui_driver.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sample_driver TOOL.exe ADDON.pak\n");
    return 2;
  }
  installer_test::SessionOptions options;
  options.commandLine = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
  options.answer = {installer_test::PromptAction::kEnter, ""};
  options.screenshotPrefix = "sample";
  const installer_test::Session session = installer_test::RunSession(options);

  std::size_t box = 0;
  for (const std::string& step : session.order) {
    if (step == "prompt" && !session.prompts.empty()) {
      const installer_test::Prompt& prompt = session.prompts.front();
      std::printf("prompt  \"%s\": %s [%s]  -> Enter\n", prompt.caption.c_str(),
                  prompt.label.c_str(), prompt.initialText.c_str());
    } else if (step == "box" && box < session.boxes.size()) {
      const installer_test::Box& shown = session.boxes[box++];
      std::printf("box     \"%s\": %s  -> OK\n", shown.title.c_str(), shown.text.c_str());
    }
  }
  if (!session.failure.empty()) {
    std::printf("failed: %s\n", session.failure.c_str());
    return 1;
  }
  std::printf("exit code %lu\n", static_cast<unsigned long>(session.exitCode));
  std::printf("screenshots in %s\n", ui::ArtifactPath("").c_str());
  return session.exitCode == 0 ? 0 : 1;
}

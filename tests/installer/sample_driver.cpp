// Plays the player for scripts/run-sample: installs the tool with its setup (silently, with
// an exact command line), then opens the sample add-on the way a double-click in Explorer
// does (the shell's file association starts the tool). Without --by-hand it also accepts the
// offered pak-set name, dismisses each box and prints what it saw (Windows-1252 bytes, one
// line per window); with --by-hand a person at the display answers, and it waits for the end.
//
//   sample_driver.exe [--by-hand] SETUP.exe GAME_FOLDER ADDON.pak
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/installer/installer_session.h"
#include "tests/ui_driver/ui_driver.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: sample_driver [--by-hand] SETUP.exe GAME_FOLDER ADDON.pak\n");
  return 2;
}

bool InstallSilently(const std::string& setupExe, const std::string& gameFolder) {
  const std::string arguments = "/S \"/GAME=" + gameFolder + "\"";  // the folder may hold blanks
  std::printf("setup   %s %s\n", setupExe.c_str(), arguments.c_str());
  ui::Program setup;
  const DWORD start = GetTickCount();
  DWORD code = 0xDEAD;
  if (!setup.Start("\"" + setupExe + "\" " + arguments) || !setup.WaitForExit(60000, &code)) {
    std::printf("failed: the setup did not run\n");
    return false;
  }
  std::printf("        -> exit code %lu after %lu ms\n", static_cast<unsigned long>(code),
              static_cast<unsigned long>(GetTickCount() - start));
  return code == 0;
}

int OpenByHand(const std::string& addOn) {
  ui::Program tool;
  if (!tool.Open(addOn)) {
    std::printf("failed: the shell did not open %s\n", addOn.c_str());
    return 1;
  }
  std::printf("the prompt is on your display: answer it there\n");
  tool.WaitForExit(3600 * 1000);  // an hour: the person takes their time
  return 0;
}

int OpenAndAnswer(const std::string& addOn) {
  installer_test::SessionOptions options;
  options.openedDocument = addOn;
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

}  // namespace

int main(int argc, char** argv) {
  const bool byHand = argc > 1 && std::strcmp(argv[1], "--by-hand") == 0;
  if (argc != (byHand ? 5 : 4)) return Usage();
  char** args = argv + (byHand ? 2 : 1);
  if (!InstallSilently(args[0], args[1])) return 1;
  std::printf("shell   opens %s\n", args[2]);
  return byHand ? OpenByHand(args[2]) : OpenAndAnswer(args[2]);
}

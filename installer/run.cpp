#include "installer/run.h"

#include <cstdint>

#include "installer/messages.h"
#include "runtime/command_line.h"
#include "runtime/file_system.h"
#include "runtime/input_dialog.h"
#include "runtime/message_box.h"
#include "runtime/settings.h"
#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace installer {
namespace {

using runtime::Text;

// The settings file lies beside the program; game directory and pak-set name come from here.
constexpr const char* kSettingsFileName = "config.pref";
constexpr const char* kSettingsGroup = "Tavelmark";
constexpr const char* kDefaultPakSetKey = "default_pakset";
constexpr const char* kGameDirectoryKey = "morvenholt_directory";
constexpr const char* kDefaultPakSet = "pak";
constexpr const char* kAddOnExtension = "pak";

// The pak-set folder is appended to the game directory directly, so "C:\Game" would become
// "C:\Gamepak\". A directory that passed the existence check gets its separator here.
Text WithTrailingSeparator(const Text& directory, const runtime::LeadBytes& leadBytes) {
  if (directory.IsEmpty() || runtime::EndsInSeparator(directory, leadBytes)) {
    return directory;
  }
  return directory + "\\";
}

// Every parameter with one blank in front, then the leading blanks trimmed: an unquoted path
// that the command line split at single blanks comes back whole.
Text JoinedParameters() {
  Text joined = "";
  const std::int32_t count = runtime::ParameterCount();
  for (std::int32_t index = 1; index <= count; ++index) {
    joined = joined + " " + runtime::NextParameter();
  }
  return runtime::TrimLeadingSpaces(joined);
}

void ShowResult(bool installed, const Text& fileName) {
  namespace m = messages;
  if (installed) {
    runtime::ShowMessage(m::kInstalledTitle, m::kInstalledBefore, fileName, m::kInstalledAfter);
  } else {
    runtime::ShowMessage(m::kNotInstalledTitle, m::kNotInstalledBefore, fileName,
                         m::kNotInstalledAfter);
  }
}

// Everything from the directory check to the final message; returning ends the run.
void InstallAddOn(const Text& defaultAnswer, const Text& configuredGameDirectory) {
  namespace m = messages;
  // On a double-byte system the second byte of a character may be 0x5C: never a separator.
  const runtime::LeadBytes leadBytes = runtime::AnsiLeadBytes();

  if (runtime::QueryFileSize(configuredGameDirectory) != runtime::kDirectory) {
    runtime::ShowMessage(m::kBadGameDirectoryTitle, m::kBadGameDirectoryText);
    return;
  }
  const Text gameDirectory = WithTrailingSeparator(configuredGameDirectory, leadBytes);

  const Text addOnPath = JoinedParameters();
  if (addOnPath == "") {
    runtime::ShowMessage(m::kNoAddOnTitle, m::kNoAddOnText);
    return;
  }
  if (!(runtime::LowerCase(runtime::PathExtension(addOnPath, leadBytes), leadBytes) ==
        kAddOnExtension)) {
    runtime::ShowMessage(m::kNotAnAddOnTitle, m::kNotAnAddOnText);
    return;
  }

  // The user is asked before the add-on's existence is tested, as users of the tool know it.
  const Text answer = runtime::InputRequester(m::kPromptTitle, m::kPromptText, defaultAnswer);
  if (runtime::InputRequesterWasCancelled()) {
    // The user said no: install nothing and say nothing more.
    return;
  }
  // Always one backslash more, even after one the user typed; Windows accepts the double one.
  const Text pakSetFolder = answer + "\\";
  const Text fileName = runtime::PathFileName(addOnPath, leadBytes);
  // A name outside the ANSI code page is reached through its short name; the checks above and
  // the messages keep the ANSI text.
  const runtime::PlatformFile source = runtime::AddOnFile(addOnPath);

  bool installed = false;
  if (runtime::QueryFileSize(source.path) <= 0) {
    runtime::ShowMessage(m::kAddOnMissingTitle, m::kAddOnMissingText);
  } else if (runtime::QueryFileSize(gameDirectory + pakSetFolder) != runtime::kDirectory) {
    runtime::ShowMessage(m::kPakSetMissingTitle, m::kPakSetMissingText);
  } else {
    const runtime::WideText wideSource = runtime::WideFromAnsi(source.path);
    const runtime::WideText wideDestination =
        source.fileName != nullptr
            ? runtime::WideFromAnsi(gameDirectory + pakSetFolder) + runtime::WideText(source.fileName)
            : runtime::WideFromAnsi(gameDirectory + pakSetFolder + fileName);
    installed = runtime::DuplicateFile(wideSource.CStr(), wideDestination.CStr()) != 0;
  }
  ShowResult(installed, fileName);
}

}  // namespace

void Run() {
  // Relative paths, a relative add-on path on the command line too, mean the program's folder.
  runtime::SetWorkingDirectory(
      runtime::PathDirectory(runtime::ProgramPath(), runtime::AnsiLeadBytes()));

  // A missing or unreadable file, or a missing group, leaves every key at its default.
  runtime::OpenSettings(runtime::WorkingDirectory() + kSettingsFileName);
  runtime::SelectSettingsGroup(kSettingsGroup);
  const Text defaultAnswer = runtime::ReadSetting(kDefaultPakSetKey, kDefaultPakSet);
  const Text gameDirectory = runtime::ReadSetting(kGameDirectoryKey, runtime::WorkingDirectory());
  runtime::CloseSettings();

  InstallAddOn(defaultAnswer, gameDirectory);

  // Closing again does nothing on the closed store; it keeps every way out of the run alike.
  runtime::CloseSettings();
}

}  // namespace installer

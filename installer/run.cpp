#include "installer/run.h"

#include <cstdint>

#include "installer/messages.h"
#include "runtime/command_line.h"
#include "runtime/copy_progress_window.h"
#include "runtime/file_system.h"
#include "runtime/folder_walk_win32.h"
#include "runtime/input_dialog.h"
#include "runtime/message_box.h"
#include "runtime/player_access.h"
#include "runtime/settings.h"
#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace installer {
namespace {

using runtime::Text;
using runtime::WideText;

// The settings file lies beside the program; game directory and pak-set name come from here.
constexpr const wchar_t* kSettingsFileName = L"config.pref";
constexpr const char* kSettingsGroup = "Tavelmark";
constexpr const char* kDefaultPakSetKey = "default_pakset";
constexpr const char* kGameDirectoryKey = "morvenholt_directory";
constexpr const char* kDefaultPakSet = "pak";
constexpr const char* kAddOnExtension = "pak";
// No value holds a line break, so this default says that config.pref names no game directory.
constexpr const char* kNoValue = "\n";

// The pak-set folder is appended to the game directory directly, so "C:\Game" would become
// "C:\Gamepak\". A directory that passed the existence check gets its separator here.
WideText WithTrailingSeparator(const WideText& directory) {
  if (directory.IsEmpty()) return directory;
  const wchar_t last = directory.CStr()[directory.Length() - 1];
  return last == L'\\' || last == L'/' ? directory : directory + WideText(L"\\");
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

void ShowResult(bool installed, const WideText& fileName) {
  namespace m = messages;
  if (installed) {
    runtime::ShowMessage(m::kInstalledTitle, m::kInstalledBefore, fileName, m::kInstalledAfter);
  } else {
    runtime::ShowMessage(m::kNotInstalledTitle, m::kNotInstalledBefore, fileName,
                         m::kNotInstalledAfter);
  }
}

// The copy the progress window runs on a thread of its own: the opened add-on into the last
// folder of the held way.
struct CopyInto {
  void* addOn;
  const runtime::FolderWay* way;
  const wchar_t* name;
};

std::int32_t CopyIntoWay(void* context, const runtime::CopyProgress* progress) {
  const auto* into = static_cast<const CopyInto*>(context);
  return runtime::DuplicateIntoFolder(runtime::PlatformCopyCalls(), into->addOn,
                                      into->way->Folder(), into->way->FullPath(), into->name,
                                      progress);
}

// Everything from the directory check to the final message; returning ends the run. The rules
// read the ANSI texts; every name that reaches the file system is the player's own, in UTF-16.
void InstallAddOn(const Text& defaultAnswer, const WideText& configuredGameDirectory) {
  namespace m = messages;
  // On a double-byte system the second byte of a character may be 0x5C: never a separator.
  const runtime::LeadBytes leadBytes = runtime::AnsiLeadBytes();

  if (runtime::QueryFileSize(configuredGameDirectory) != runtime::kDirectory) {
    runtime::ShowMessage(m::kBadGameDirectoryTitle, m::kBadGameDirectoryText);
    return;
  }
  const WideText gameDirectory = WithTrailingSeparator(configuredGameDirectory);

  const Text addOnPath = JoinedParameters();
  if (addOnPath == "") {
    runtime::ShowMessage(m::kNoAddOnTitle, m::kNoAddOnText);
    return;
  }
  // Windows builds the ANSI command line from the Unicode one by best fit, with the call used
  // here. Where that gives this very path, the Unicode path is the file the player opened; where
  // it does not, the rules above were read off another text, and no file is guessed at.
  const WideText playersPath = runtime::WideJoinedParameters();
  const bool samePath =
      !playersPath.IsAbsent() && runtime::CommandLineAnsi(playersPath) == addOnPath;
  // The extension is that of the name the file really has: best fit turns the fullwidth letters
  // of "x.ｐａｋ" into "pak".
  if (!(runtime::LowerCase(runtime::PathExtension(addOnPath, leadBytes), leadBytes) ==
        kAddOnExtension) ||
      (samePath && !runtime::HasAddOnExtension(playersPath))) {
    runtime::ShowMessage(m::kNotAnAddOnTitle, m::kNotAnAddOnText);
    return;
  }

  // The user is asked before the add-on's existence is tested, as users of the tool know it.
  const WideText answer =
      runtime::WideInputRequester(m::kPromptTitle, m::kPromptText, defaultAnswer);
  if (runtime::InputRequesterWasCancelled()) {
    // The user said no: install nothing and say nothing more.
    return;
  }
  // Always one backslash more, even after one the user typed; Windows accepts the double one.
  const WideText pakSetFolder = answer + WideText(L"\\");
  const WideText fileName =
      !playersPath.IsAbsent() ? runtime::WidePathFileName(playersPath)
                              : runtime::WideFromAnsi(runtime::PathFileName(addOnPath, leadBytes));

  bool installed = false;
  // Opened once, with the player's rights: the copy reads the file that was checked here.
  runtime::AddOnFile addOn(runtime::PlatformPlayerAccessCalls(),
                           samePath ? playersPath : WideText());
  if (addOn.Size() <= 0) {
    runtime::ShowMessage(m::kAddOnMissingTitle, m::kAddOnMissingText);
  } else if (runtime::QueryFileSize(gameDirectory + pakSetFolder) != runtime::kDirectory) {
    runtime::ShowMessage(m::kPakSetMissingTitle, m::kPakSetMissingText);
  } else {
    // Held from the volume's root to the pak-set folder until the copy ends; a link on the way
    // that anybody could have placed ends the install here, with nothing written.
    runtime::FolderWay way;
    if (way.Open(gameDirectory + pakSetFolder) == runtime::WayResult::kOpened) {
      // A long copy shows its progress and may be stopped; the window is gone before the result.
      runtime::CopyProgressWindow progress(m::kCopyingTitle, m::kCopyingLabel, fileName,
                                           m::kCopyingReasonBefore, m::kCopyingReasonAfter);
      CopyInto into{addOn.Release(), &way, fileName.CStr()};
      installed = progress.Run(CopyIntoWay, &into) != 0;
    }
  }
  ShowResult(installed, fileName);
}

}  // namespace

void Run() {
  namespace m = messages;
  // Relative paths, a relative add-on path on the command line too, mean the program's folder,
  // named as it is whatever the ANSI code page can hold. Without it the settings would come
  // from whatever folder the tool was started in.
  const WideText programFolder = runtime::WidePathDirectory(runtime::WideProgramPath());
  if (programFolder.IsEmpty() || runtime::SetWorkingDirectory(programFolder) == 0 ||
      runtime::WideWorkingDirectory().IsEmpty()) {
    runtime::ShowMessage(m::kBadGameDirectoryTitle, m::kBadGameDirectoryText);
    return;
  }

  // A missing or unreadable file, or a missing group, leaves every key at its default.
  runtime::OpenSettings(runtime::WideWorkingDirectory() + WideText(kSettingsFileName));
  runtime::SelectSettingsGroup(kSettingsGroup);
  const Text defaultAnswer = runtime::ReadSetting(kDefaultPakSetKey, kDefaultPakSet);
  const Text gameDirectory = runtime::ReadSetting(kGameDirectoryKey, kNoValue);
  runtime::CloseSettings();

  // Without a game directory in config.pref, the program's own folder is the game folder.
  InstallAddOn(defaultAnswer, gameDirectory == kNoValue ? runtime::WideWorkingDirectory()
                                                        : runtime::WideFromAnsi(gameDirectory));

  // Closing again does nothing on the closed store; it keeps every way out of the run alike.
  runtime::CloseSettings();
}

}  // namespace installer

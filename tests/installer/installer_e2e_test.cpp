// The real PakInstaller.exe, started with a real command line in a folder laid out for each
// scenario, worked through its windows like a person, and judged by what it showed, its exit
// code and what changed on disk. Each scenario's whole folder is compared before and after, so
// a stray copy, a leftover temporary file or a touched config.pref fails it too.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/installer/installer_checks.h"
#include "tests/installer/installer_session.h"
#include "tests/ui_driver/ui_driver.h"

namespace installer_test {
namespace {

namespace fs = std::filesystem;

const std::string kAddOn = "MVPAK\x01\x00 trains of the northern line\r\n\x1a\xff";
const std::string kOlderAddOn = "MVPAK\x01 older trains";
const std::string kOtherAddOn = "MVPAK\x02 the wrong trains";
constexpr const char* kDirectory = "<dir>";
// Layout entries made on the Unix side: "<link>" and a folder below {root} make the entry a
// symbolic link to that folder (what Windows programs under Wine walk through as a junction);
// "<mode>" and Unix mode bits give the folder those (0777: every user may change it).
const std::string kLink = "<link>";
const std::string kMode = "<mode>";

// The executable under test: this build's, or the same build as released (signed) when
// PAKINSTALLER_EXE names it.
std::string ExecutableUnderTest() {
  const char* released = std::getenv("PAKINSTALLER_EXE");
  return released != nullptr && *released != '\0' ? released : INSTALLER_EXE;
}

// A file (or, with kDirectory as content, a folder; or a link or mode, above) below the
// scenario's folder.
struct Entry {
  std::string path;
  std::string content;
};

struct Scenario {
  const char* name;
  // config.pref beside the tool ({root} is the scenario folder); null: there is none.
  const char* config;
  std::vector<Entry> layout;  // on top of tool\PakInstaller.exe, game\pak\, game\pak64\, the add-on
  const char* arguments;      // after the tool's quoted path; {root} as above
  Answer answer;
  const char* expectedInitialText;  // null: no prompt may show
  std::vector<Box> boxes;           // exactly these, in this order
  std::vector<Entry> changes;       // the only files that may be created or replaced
  const char* startIn = "";         // folder the tool is started from, below {root}
  const char* holdOpen = nullptr;   // a file held open without sharing during the run
  BoxAction boxAction = BoxAction::kEnter;
  // The ANSI code page the row needs; it runs only in a test process under it (the tool inherits
  // it): 1252 in the bench, 932 and 950 in installer_e2e_cp932 and installer_e2e_cp950.
  unsigned codePage = 1252;
  // Started the shell's way (SessionOptions::unicode): the layout's paths, the arguments and the
  // texts expected are UTF-8. config.pref stays bytes in the code page, as a player saves it.
  bool unicode = false;
  const char* toolFolder = "tool";  // the folder below {root} that holds the tool and config.pref
  // Non-zero: downloads\trains.pak is an add-on of this many bytes (kAddOn, then zeros; sparse),
  // whose copy shows its window, which is worked as `progress` says.
  std::int64_t bigAddOn = 0;
  ProgressAction progress = ProgressAction::kWatch;
};

// A big add-on in a scenario's snapshot: what it holds, without holding it in memory.
constexpr std::int64_t kBigFile = 64 << 20;
std::string BigAddOn(std::int64_t size) { return "<the big add-on of " + std::to_string(size) + " bytes>"; }

// What a file of more than kBigFile bytes holds: BigAddOn(size), or its size alone when it is
// not kAddOn followed by zeros.
std::string Summarize(const fs::path& path, std::int64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  bool same = in.read(block.data(), static_cast<std::streamsize>(kAddOn.size())) &&
              std::string(block.data(), kAddOn.size()) == kAddOn;
  std::int64_t read = static_cast<std::int64_t>(kAddOn.size());
  while (same && in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize got = in.gcount();
    for (std::streamsize i = 0; i < got && same; ++i) same = block[static_cast<std::size_t>(i)] == 0;
    read += got;
  }
  if (same && read == size) return BigAddOn(size);
  return "<" + std::to_string(size) + " bytes, not the big add-on>";
}

// The Unix name of a path of the test's.
std::string UnixName(const fs::path& path) { return installer_test::UnixName(path.wstring()); }

// Whether the folder's access list lets Everyone add files: Wine makes the list up from the
// mode bits, so this is how a changed mode shows.
bool EveryoneMayAddFiles(const fs::path& folder) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.wstring().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  bool may = false;
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* entry = nullptr;
    may = may || (GetAce(list, i, reinterpret_cast<void**>(&entry)) &&
                  entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                  EqualSid(&entry->SidStart, everyone) && (entry->Mask & FILE_ADD_FILE));
  }
  FreeSid(everyone);
  LocalFree(descriptor);
  return may;
}

// A row started through CreateProcessW under `codePage`.
Scenario Unicode(unsigned codePage, Scenario scenario) {
  scenario.codePage = codePage;
  scenario.unicode = true;
  return scenario;
}

const char* const kConfig =
    "; Morvenholt\r\n[Tavelmark]\r\nmorvenholt_directory = {root}game\\\r\ndefault_pakset = pak\r\n";
const char* const kAddOnArgument = "\"{root}downloads\\trains.pak\"";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Every file and folder below `root`, by relative path, with its bytes (kDirectory for folders).
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = ui::Utf8FromWide(fs::relative(item.path(), root).wstring());
    const std::int64_t size =
        item.is_directory() ? 0 : static_cast<std::int64_t>(fs::file_size(item.path()));
    entries[relative] = item.is_directory() ? kDirectory
                        : size > kBigFile   ? Summarize(item.path(), size)
                                            : ReadBytes(item.path());
  }
  return entries;
}

std::string Listing(const std::map<std::string, std::string>& entries) {
  std::string out;
  for (const auto& [path, content] : entries) {
    if (content == kDirectory) {
      out += "\n  " + path + " (folder)";
    } else if (content.size() > 100) {
      out += "\n  " + path + " (" + std::to_string(content.size()) + " bytes)";
    } else {
      out += "\n  " + path + " = \"" + ui::Printable(content) + "\"";
    }
  }
  return out;
}

// A file held open the way another program holding it would: no sharing at all.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// A box as a Unicode session reads it: the tool's Windows-1252 words in UTF-8, with `name`
// (UTF-8) where the box has the byte 0x01.
Box Utf8Box(const Box& box, const std::string& name = "") {
  return {ui::Utf8From(box.title, 1252), Replace(ui::Utf8From(box.text, 1252), "\x01", name)};
}
Box InstalledUtf8(const std::string& name) { return Utf8Box(Installed("\x01"), name); }

Answer Enter() { return {PromptAction::kEnter, ""}; }
constexpr std::int64_t kBigAddOnSize = (std::int64_t{4} << 30) + (std::int64_t{40} << 20);
Answer Typed(const char* text) { return {PromptAction::kReplace, text}; }

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      // The road of one typical run, and what the prompt offers.
      {"installs_into_default_pakset", kConfig, {}, kAddOnArgument, Enter(), "pak",
       {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}},
      {"replaces_an_older_copy", kConfig, {{"game\\pak\\trains.pak", kOlderAddOn}}, kAddOnArgument,
       Enter(), "pak", {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}, "", nullptr,
       BoxAction::kClickOk},
      {"typed_answer_picks_the_folder", kConfig, {}, kAddOnArgument, Typed("pak64"), "pak",
       {Installed("trains.pak")}, {{"game\\pak64\\trains.pak", kAddOn}}},
      {"typing_appends_to_the_initial_text", kConfig, {}, kAddOnArgument,
       {PromptAction::kAppend, "64"}, "pak", {Installed("trains.pak")},
       {{"game\\pak64\\trains.pak", kAddOn}}},
      {"default_pakset_is_offered",
       "[Tavelmark]\r\nmorvenholt_directory={root}game\\\r\ndefault_pakset=pak64\r\n", {},
       kAddOnArgument, Enter(), "pak64", {Installed("trains.pak")},
       {{"game\\pak64\\trains.pak", kAddOn}}},
      {"missing_default_pakset_offers_pak", "[Tavelmark]\nmorvenholt_directory={root}game\\\n", {},
       kAddOnArgument, Enter(), "pak", {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}},
      {"empty_default_pakset_leaves_the_box_empty",
       "[Tavelmark]\r\nmorvenholt_directory={root}game\\\r\ndefault_pakset=\r\n", {},
       kAddOnArgument, Enter(), "", {Installed("trains.pak")}, {{"game\\trains.pak", kAddOn}}},
      {"confirmed_empty_answer_copies_into_the_game_directory", kConfig, {}, kAddOnArgument,
       Typed(""), "pak", {Installed("trains.pak")}, {{"game\\trains.pak", kAddOn}}},
      {"answer_ending_in_a_backslash", kConfig, {}, kAddOnArgument, Typed("pak64\\"), "pak",
       {Installed("trains.pak")}, {{"game\\pak64\\trains.pak", kAddOn}}},
      {"upper_case_extension_passes", kConfig, {{"downloads\\Trains.PAK", kAddOn}},
       "\"{root}downloads\\Trains.PAK\"", Enter(), "pak", {Installed("Trains.PAK")},
       {{"game\\pak\\Trains.PAK", kAddOn}}},

      // A cancelled prompt installs nothing and says nothing more.
      {"escape_installs_nothing", kConfig, {}, kAddOnArgument, {PromptAction::kEscape, ""}, "pak",
       {}, {}},
      {"close_request_installs_nothing", kConfig, {}, kAddOnArgument,
       {PromptAction::kCloseRequest, ""}, "pak", {}, {}},

      // The game directory: checked first, and given its backslash when it lacks one.
      {"missing_game_directory", "[Tavelmark]\r\nmorvenholt_directory={root}nosuch\\\r\n", {},
       kAddOnArgument, Enter(), nullptr, {kBadGameDirectory}, {}},
      {"empty_game_directory_ignores_the_command_line",
       "[Tavelmark]\r\nmorvenholt_directory=\r\n", {}, "", Enter(), nullptr, {kBadGameDirectory},
       {}},
      {"game_directory_that_is_a_file", "[Tavelmark]\r\nmorvenholt_directory={root}game.txt\r\n",
       {{"game.txt", "x"}}, kAddOnArgument, Enter(), nullptr, {kBadGameDirectory}, {}},
      {"game_directory_without_trailing_backslash",
       "[Tavelmark]\r\nmorvenholt_directory={root}game\r\n", {}, kAddOnArgument, Enter(), "pak",
       {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}},
      {"game_directory_in_slashes_without_trailing_one",
       "[Tavelmark]\r\nmorvenholt_directory={slashed-root}game\r\n", {}, kAddOnArgument, Enter(),
       "pak", {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}},
      // The players' guide warns of this one: the directory check takes no trailing slash.
      {"game_directory_with_trailing_slash_is_rejected",
       "[Tavelmark]\r\nmorvenholt_directory={root}game/\r\n", {}, kAddOnArgument, Enter(), nullptr,
       {kBadGameDirectory}, {}},
      {"no_config_uses_the_program_folder", nullptr, {{"tool\\pak", kDirectory}}, kAddOnArgument,
       Enter(), "pak", {Installed("trains.pak")}, {{"tool\\pak\\trains.pak", kAddOn}}},
      {"no_config_and_no_pak_folder_beside_the_program", nullptr, {}, kAddOnArgument, Enter(),
       "pak", {kPakSetMissing, NotInstalled("trains.pak")}, {}},

      // The argument.
      {"no_parameters", kConfig, {}, "", Enter(), nullptr, {kNoAddOn}, {}},
      {"blank_parameters_only", kConfig, {}, "\"\" \"  \"", Enter(), nullptr, {kNoAddOn}, {}},
      {"double_extension_is_no_add_on", kConfig, {{"downloads\\trains.pak.zip", kAddOn}},
       "\"{root}downloads\\trains.pak.zip\"", Enter(), nullptr, {kNotAnAddOn}, {}},
      {"no_extension_is_no_add_on", kConfig, {{"downloads\\trains", kAddOn}},
       "\"{root}downloads\\trains\"", Enter(), nullptr, {kNotAnAddOn}, {}},
      {"unquoted_path_with_blanks_is_joined", kConfig, {{"My Games\\Add Ons\\trains.pak", kAddOn}},
       "{root}My Games\\Add Ons\\trains.pak", Enter(), "pak", {Installed("trains.pak")},
       {{"game\\pak\\trains.pak", kAddOn}}},
      {"relative_path_means_the_program_folder", kConfig,
       {{"tool\\downloads\\trains.pak", kAddOn}, {"elsewhere\\downloads\\trains.pak", kOtherAddOn}},
       "downloads\\trains.pak", Enter(), "pak", {Installed("trains.pak")},
       {{"game\\pak\\trains.pak", kAddOn}}, "elsewhere"},

      // Checks after the prompt: message 4 or 5, then always 7.
      {"missing_add_on", kConfig, {}, "\"{root}downloads\\express.pak\"", Enter(), "pak",
       {kAddOnMissing, NotInstalled("express.pak")}, {}},
      {"empty_add_on", kConfig, {{"downloads\\empty.pak", ""}}, "\"{root}downloads\\empty.pak\"",
       Enter(), "pak", {kAddOnMissing, NotInstalled("empty.pak")}, {}},
      {"folder_named_like_an_add_on", kConfig, {{"downloads\\folder.pak", kDirectory}},
       "\"{root}downloads\\folder.pak\"", Enter(), "pak",
       {kAddOnMissing, NotInstalled("folder.pak")}, {}},
      {"two_add_ons_are_one_path", kConfig, {{"downloads\\ships.pak", kAddOn}},
       "\"{root}downloads\\trains.pak\" \"{root}downloads\\ships.pak\"", Enter(), "pak",
       {kAddOnMissing, NotInstalled("ships.pak")}, {}},
      {"missing_pakset_folder", kConfig, {}, kAddOnArgument, Typed("pak128"), "pak",
       {kPakSetMissing, NotInstalled("trains.pak")}, {}},
      // A big add-on: its copy shows a window, and Escape there stops it, losing nothing. A
      // little over 4 GiB, so that no count of 32 bits can hold its size.
      [] {
        Scenario s{"big_add_on_shows_its_progress", kConfig, {{"game\\pak\\trains.pak", kOlderAddOn}},
                   kAddOnArgument, Enter(), "pak", {Installed("trains.pak")},
                   {{"game\\pak\\trains.pak", BigAddOn(kBigAddOnSize)}}};
        s.bigAddOn = kBigAddOnSize;
        return s;
      }(),
      [] {
        Scenario s{"escape_stops_a_big_copy_and_keeps_the_older_copy", kConfig,
                   {{"game\\pak\\trains.pak", kOlderAddOn}}, kAddOnArgument, Enter(), "pak",
                   {NotInstalled("trains.pak")}, {}};
        s.bigAddOn = kBigAddOnSize;
        s.progress = ProgressAction::kEscape;
        return s;
      }(),
      // The window's thread only shows: moving the window, a tap on Alt and a logoff leave the
      // copy running, and Escape after Alt still stops it.
      [] {
        Scenario s{"dragged_window_keeps_copying", kConfig, {{"game\\pak\\trains.pak", kOlderAddOn}},
                   kAddOnArgument, Enter(), "pak", {Installed("trains.pak")},
                   {{"game\\pak\\trains.pak", BigAddOn(kBigAddOnSize)}}};
        s.bigAddOn = kBigAddOnSize;
        s.progress = ProgressAction::kDrag;
        return s;
      }(),
      [] {
        Scenario s{"alt_then_escape_stops_a_big_copy", kConfig,
                   {{"game\\pak\\trains.pak", kOlderAddOn}}, kAddOnArgument, Enter(), "pak",
                   {NotInstalled("trains.pak")}, {}};
        s.bigAddOn = kBigAddOnSize;
        s.progress = ProgressAction::kAltEscape;
        return s;
      }(),
      [] {
        Scenario s{"logoff_waits_for_a_big_copy", kConfig, {{"game\\pak\\trains.pak", kOlderAddOn}},
                   kAddOnArgument, Enter(), "pak", {Installed("trains.pak")},
                   {{"game\\pak\\trains.pak", BigAddOn(kBigAddOnSize)}}};
        s.bigAddOn = kBigAddOnSize;
        s.progress = ProgressAction::kEndSession;
        return s;
      }(),
      {"failed_overwrite_keeps_the_older_copy", kConfig, {{"game\\pak\\trains.pak", kOlderAddOn}},
       kAddOnArgument, Enter(), "pak", {NotInstalled("trains.pak")}, {}, "",
       "game\\pak\\trains.pak"},

      // Links on the way to the pak-set folder. In a folder every user may change, anybody could
      // have put one there to send the administrator's copy into another program's folder: the
      // prompt as ever, then only message 7, and nothing written behind the link. Where only
      // administrators can change the folder, a link is theirs and is followed.
      {"game_folder_every_user_may_change", kConfig, {{"game", kMode + "0777"}}, kAddOnArgument,
       Enter(), "pak", {Installed("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}},
      {"link_as_pakset_folder_in_a_folder_every_user_may_change", kConfig,
       {{"elsewhere\\pak\\trains.pak", kOtherAddOn}, {"game\\mods", kLink + "elsewhere\\pak"},
        {"game", kMode + "0777"}},
       kAddOnArgument, Typed("mods"), "pak", {NotInstalled("trains.pak")}, {}},
      {"link_as_game_folder_in_a_folder_every_user_may_change",
       "[Tavelmark]\r\nmorvenholt_directory={root}open\\game\\\r\n",
       {{"elsewhere\\pak\\trains.pak", kOtherAddOn}, {"open", kDirectory},
        {"open\\game", kLink + "elsewhere"}, {"open", kMode + "0777"}},
       kAddOnArgument, Enter(), "pak", {NotInstalled("trains.pak")}, {}},
      {"link_in_a_folder_only_administrators_may_change", kConfig,
       {{"elsewhere\\pak", kDirectory}, {"game\\mods", kLink + "elsewhere\\pak"},
        {"game", kMode + "0755"}},
       kAddOnArgument, Typed("mods"), "pak", {Installed("trains.pak")},
       {{"elsewhere\\pak\\trains.pak", kAddOn}, {"game\\mods\\trains.pak", kAddOn}}},

      // Names outside the ANSI code page, as the shell passes them: the ANSI command line holds
      // look-alikes (Dogan, Lódz, ??); the file is reached by its own name in UTF-16, installed
      // under it and named in the message as the player sees it.
      Unicode(1252, {"unicode_folder_outside_the_code_page", kConfig,
                     {{"downloads\\Do\xc4\x9f" "an\\trains.pak", kAddOn}},  // Doğan
                     "\"{root}downloads\\Do\xc4\x9f" "an\\trains.pak\"", Enter(), "pak",
                     {InstalledUtf8("trains.pak")}, {{"game\\pak\\trains.pak", kAddOn}}}),
      Unicode(1252, {"unicode_program_folder_outside_the_code_page", kConfig, {}, kAddOnArgument,
                     Enter(), "pak", {InstalledUtf8("trains.pak")},
                     {{"game\\pak\\trains.pak", kAddOn}}, "", nullptr, BoxAction::kEnter, 0, false,
                     "Do\xc4\x9f" "an"}),
      Unicode(1252, {"unicode_name_outside_the_code_page", kConfig,
                     {{"downloads\\\xc5\x81\xc3\xb3" "d\xc5\xba.pak", kAddOn}},  // Łódź.pak
                     "\"{root}downloads\\\xc5\x81\xc3\xb3" "d\xc5\xba.pak\"", Enter(), "pak",
                     {InstalledUtf8("\xc5\x81\xc3\xb3" "d\xc5\xba.pak")},
                     {{"game\\pak\\\xc5\x81\xc3\xb3" "d\xc5\xba.pak", kAddOn}}}),
      Unicode(1252, {"cjk_name_on_a_german_system", kConfig,
                     {{"downloads\\\xe8\xa1\xa8\xe7\xa4\xba.pak", kAddOn}},  // 表示.pak
                     "\"{root}downloads\\\xe8\xa1\xa8\xe7\xa4\xba.pak\"", Enter(), "pak",
                     {InstalledUtf8("\xe8\xa1\xa8\xe7\xa4\xba.pak")},
                     {{"game\\pak\\\xe8\xa1\xa8\xe7\xa4\xba.pak", kAddOn}}}),
      Unicode(1252, {"cyrillic_name_on_a_german_system", kConfig,
                     {{"downloads\\\xd0\x9f\xd0\xbe\xd0\xb5\xd0\xb7\xd0\xb4.pak", kAddOn}},  // Поезд
                     "\"{root}downloads\\\xd0\x9f\xd0\xbe\xd0\xb5\xd0\xb7\xd0\xb4.pak\"", Enter(),
                     "pak", {InstalledUtf8("\xd0\x9f\xd0\xbe\xd0\xb5\xd0\xb7\xd0\xb4.pak")},
                     {{"game\\pak\\\xd0\x9f\xd0\xbe\xd0\xb5\xd0\xb7\xd0\xb4.pak", kAddOn}}}),
      // The best fit of the name is a file of its own; it must stay untouched.
      Unicode(1252, {"look_alike_beside_the_add_on", kConfig,
                     {{"downloads\\\xc5\x9ctorm.pak", kAddOn},  // Ŝtorm.pak
                      {"downloads\\Storm.pak", kOtherAddOn}},
                     "\"{root}downloads\\\xc5\x9ctorm.pak\"", Enter(), "pak",
                     {InstalledUtf8("\xc5\x9ctorm.pak")},
                     {{"game\\pak\\\xc5\x9ctorm.pak", kAddOn}}}),
      // Best fit makes "pak" of the fullwidth letters; the file's own name has no such extension.
      Unicode(1252, {"fullwidth_extension_is_no_add_on", kConfig,
                     {{"downloads\\x.\xef\xbd\x90\xef\xbd\x81\xef\xbd\x8b", kAddOn}},  // x.ｐａｋ
                     "\"{root}downloads\\x.\xef\xbd\x90\xef\xbd\x81\xef\xbd\x8b\"", Enter(),
                     nullptr, {Utf8Box(kNotAnAddOn)}, {}}),
      // Typed as an input method delivers it, beside the folder its best fit names.
      Unicode(1252, {"typed_name_outside_the_code_page", kConfig,
                     {{"game\\\xc5\x81\xc3\xb3" "d\xc5\xba", kDirectory}, {"game\\L\xc3\xb3" "dz", kDirectory}},
                     kAddOnArgument, Typed("\xc5\x81\xc3\xb3" "d\xc5\xba"), "pak",
                     {InstalledUtf8("trains.pak")},
                     {{"game\\\xc5\x81\xc3\xb3" "d\xc5\xba\\trains.pak", kAddOn}}}),

      // Double-byte code pages: the second byte of 表 (95 5C in 932), ソ (83 5C) and 許 (B3 5C
      // in 950) is 0x5C, the backslash; the tool's own words keep their umlauts.
      Unicode(932, {"cp932_second_byte_is_a_backslash", kConfig,
                    {{"downloads\\\xe8\xa1\xa8\xe7\xa4\xba.pak", kAddOn}},  // 表示.pak
                    "\"{root}downloads\\\xe8\xa1\xa8\xe7\xa4\xba.pak\"", Enter(), "pak",
                    {InstalledUtf8("\xe8\xa1\xa8\xe7\xa4\xba.pak")},
                    {{"game\\pak\\\xe8\xa1\xa8\xe7\xa4\xba.pak", kAddOn}}}),
      Unicode(932, {"cp932_unquoted_path_with_a_blank", kConfig,
                    // ソフト 表.pak
                    {{"AddOns\\\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88 \xe8\xa1\xa8.pak", kAddOn}},
                    "{root}AddOns\\\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88 \xe8\xa1\xa8.pak", Enter(),
                    "pak", {InstalledUtf8("\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88 \xe8\xa1\xa8.pak")},
                    {{"game\\pak\\\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88 \xe8\xa1\xa8.pak",
                      kAddOn}}}),
      Unicode(932, {"cp932_game_directory_without_trailing_backslash",
                    "[Tavelmark]\r\nmorvenholt_directory={root}\x95\x5c\r\n",  // {root}表
                    {{"\xe8\xa1\xa8\\pak", kDirectory}}, kAddOnArgument, Enter(), "pak",
                    {InstalledUtf8("trains.pak")}, {{"\xe8\xa1\xa8\\pak\\trains.pak", kAddOn}}}),
      Unicode(932, {"cp932_pakset_name_from_config",
                    "[Tavelmark]\r\nmorvenholt_directory={root}game\\\r\n"
                    "default_pakset=\x95\x5c\r\n",  // 表
                    {{"game\\\xe8\xa1\xa8", kDirectory}}, kAddOnArgument, Enter(), "\xe8\xa1\xa8",
                    {InstalledUtf8("trains.pak")}, {{"game\\\xe8\xa1\xa8\\trains.pak", kAddOn}}}),
      Unicode(932, {"cp932_missing_game_directory",
                    "[Tavelmark]\r\nmorvenholt_directory={root}nosuch\\\r\n", {}, kAddOnArgument,
                    Enter(), nullptr, {Utf8Box(kBadGameDirectory)}, {}}),
      Unicode(932, {"cp932_missing_add_on", kConfig, {},
                    "\"{root}downloads\\\xe8\xa1\xa8\xe7\xa4\xba.pak\"", Enter(), "pak",
                    {Utf8Box(kAddOnMissing),
                     Utf8Box(NotInstalled("\x01"), "\xe8\xa1\xa8\xe7\xa4\xba.pak")},
                    {}}),
      // A config.pref saved as UTF-8: its values in the system's code page, a folder and a
      // pak-set named in Japanese, Russian, and German where the code page is UTF-8.
      Unicode(932, {"cp932_utf8_config_game_directory",
                    "\xef\xbb\xbf[Tavelmark]\r\nmorvenholt_directory={root}\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0\\\r\n",
                    {{"\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0\\pak", kDirectory}}, kAddOnArgument, Enter(),
                    "pak", {InstalledUtf8("trains.pak")},
                    {{"\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0\\pak\\trains.pak", kAddOn}}}),  // ゲーム
      Unicode(932, {"cp932_utf8_config_default_pakset",
                    "\xef\xbb\xbf[Tavelmark]\r\nmorvenholt_directory={root}game\\\r\n"
                    "default_pakset=\xe8\xa1\xa8\r\n",
                    {{"game\\\xe8\xa1\xa8", kDirectory}}, kAddOnArgument, Enter(), "\xe8\xa1\xa8",
                    {InstalledUtf8("trains.pak")}, {{"game\\\xe8\xa1\xa8\\trains.pak", kAddOn}}}),
      Unicode(1251, {"cp1251_utf8_config_game_directory",
                    "\xef\xbb\xbf[Tavelmark]\r\nmorvenholt_directory={root}\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b\\\r\n",
                    {{"\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b\\pak", kDirectory}}, kAddOnArgument, Enter(),
                    "pak", {InstalledUtf8("trains.pak")},
                    {{"\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b\\pak\\trains.pak", kAddOn}}}),  // Игры
      Unicode(65001, {"cp65001_utf8_config_game_directory",
                      "\xef\xbb\xbf[Tavelmark]\r\nmorvenholt_directory={root}Spiele\\M\xc3\xb6rvenholt\\\r\n",
                      {{"Spiele\\M\xc3\xb6rvenholt\\pak", kDirectory}}, kAddOnArgument, Enter(),
                      "pak", {InstalledUtf8("trains.pak")},
                      {{"Spiele\\M\xc3\xb6rvenholt\\pak\\trains.pak", kAddOn}}}),
      // UTF-8 as the code page: an add-on whose name no single-byte code page holds.
      Unicode(65001, {"cp65001_name_in_any_script", kConfig,
                      {{"downloads\\\xc5\x81\xc3\xb3" "d\xc5\xba \xe8\xa1\xa8.pak", kAddOn}},
                      "\"{root}downloads\\\xc5\x81\xc3\xb3" "d\xc5\xba \xe8\xa1\xa8.pak\"", Enter(), "pak",
                      {InstalledUtf8("\xc5\x81\xc3\xb3" "d\xc5\xba \xe8\xa1\xa8.pak")},
                      {{"game\\pak\\\xc5\x81\xc3\xb3" "d\xc5\xba \xe8\xa1\xa8.pak", kAddOn}}}),
      Unicode(950, {"cp950_second_byte_is_a_backslash", kConfig,
                    {{"downloads\\\xe8\xa8\xb1\xe5\x8f\xaf.pak", kAddOn}},  // 許可.pak
                    "\"{root}downloads\\\xe8\xa8\xb1\xe5\x8f\xaf.pak\"", Enter(), "pak",
                    {InstalledUtf8("\xe8\xa8\xb1\xe5\x8f\xaf.pak")},
                    {{"game\\pak\\\xe8\xa8\xb1\xe5\x8f\xaf.pak", kAddOn}}}),
  };
  return scenarios;
}

// gtest names a failing case by its parameter.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// The window of a big add-on's copy: named as the player sees it, its bar rising to the end
// (or stopped within a moment of Escape), its line counting the megabytes and the time left.
void ExpectProgress(const Session& session, const Scenario& scenario, const std::string& account) {
  ASSERT_EQ(session.progress.size(), 1u) << account;
  const ProgressSeen& seen = session.progress.front();
  const bool stopped =
      scenario.progress == ProgressAction::kEscape || scenario.progress == ProgressAction::kAltEscape;
  if (scenario.progress == ProgressAction::kDrag) {
    EXPECT_GT(seen.draggedBy, 20) << "the window did not move; " << account;
    EXPECT_GE(seen.risesWhileDragged, 3) << "the bar stood still while dragged; " << account;
  }
  if (scenario.progress == ProgressAction::kEndSession) {
    EXPECT_NE(seen.endSessionCode, 0u) << "the session was let go; " << account;
    EXPECT_NE(seen.endSessionCode, 0xFFFFFFFFu) << "wineboot did not end; " << account;
  }
  EXPECT_EQ(ui::Hex(seen.caption), ui::Hex(kProgressCaption)) << ui::Printable(seen.caption);
  EXPECT_EQ(ui::Hex(seen.label), ui::Hex(ProgressLabel("trains.pak"))) << ui::Printable(seen.label);
  EXPECT_EQ(seen.button, "Abbrechen");
  EXPECT_EQ(seen.barEnd, 1000);
  EXPECT_GE(seen.positions.size(), 3u) << account;
  for (std::size_t i = 1; i < seen.positions.size(); ++i) {
    EXPECT_LT(seen.positions[i - 1], seen.positions[i]) << "the bar went back; " << account;
  }
  const std::string total = std::to_string(scenario.bigAddOn >> 20);
  const std::string megabytes = total.substr(0, total.size() - 3) + "." + total.substr(total.size() - 3);
  bool timeLeft = false;
  for (const std::string& line : seen.lines) {
    // What the line says once Escape is taken, if it is read in the moment before the window goes.
    if (stopped && line == "Wird abgebrochen \x85") continue;
    timeLeft = timeLeft || line.find(" MB \x96 noch etwa ") != std::string::npos;
    EXPECT_NE(line.find(" von " + megabytes + " MB"), std::string::npos) << ui::Printable(line);
  }
  EXPECT_TRUE(timeLeft) << "the time left never showed; " << account;
  ASSERT_FALSE(seen.lines.empty());
  if (stopped) {
    EXPECT_LT(seen.positions.back(), seen.barEnd) << account;
    const long took = static_cast<long>(seen.goneAt - seen.pressedAt);
    std::printf("[ figure   ] %s: Escape to the window gone: %ld ms\n", scenario.name, took);
    EXPECT_LT(took, 1000) << "Escape took " << took << " ms to stop the copy";
  } else {
    // The window goes at once after the rename, so the last look may have come a block early.
    EXPECT_GE(seen.positions.back() * 100, seen.barEnd * 95) << account;
  }
}

// Lays out the scenario's folder, works the tool through it and checks everything it saw and
// changed. Fatal failures end only this function; callers add checks of their own after it.
void RunAndCheck(const Scenario& scenario) {
  if (GetACP() != scenario.codePage) {
    GTEST_SKIP() << "needs code page " << scenario.codePage << ", this process has " << GetACP();
  }
  const fs::path root = fs::path(ui::WindowsPath(SCENARIO_ROOT)) / scenario.name;
  const std::string rootText = root.string() + "\\";
  std::error_code ignored;
  // Links of an earlier run go first: removing the folders would only go through them. Only an
  // existing folder, whose removal is rm's last step, tells when rm is done.
  const std::string unixRoot = UnixName(root);
  if (!unixRoot.empty() && fs::exists(root)) {
    ASSERT_TRUE(RunUnix("Z:\\bin\\rm", "rm -rf \"" + unixRoot + "\"", [&] { return !fs::exists(root); }));
  }
  fs::remove_all(root, ignored);

  const fs::path tool = root / ui::WideFromUtf8(scenario.toolFolder);
  WriteBytes(tool / "PakInstaller.exe", ReadBytes(ui::WindowsPath(ExecutableUnderTest())));
  fs::create_directories(root / "game" / "pak");
  fs::create_directories(root / "game" / "pak64");
  WriteBytes(root / "downloads" / "trains.pak", kAddOn);
  if (scenario.bigAddOn > 0) {
    ASSERT_TRUE(ExtendToSize(root / "downloads" / "trains.pak", scenario.bigAddOn));
  }
  if (scenario.config != nullptr) {
    const std::string config = Replace(scenario.config, "{root}", rootText);
    WriteBytes(tool / "config.pref",
               Replace(config, "{slashed-root}", Replace(rootText, "\\", "/")));
  }
  for (const Entry& entry : scenario.layout) {
    const fs::path path = root / (scenario.unicode ? fs::path(ui::WideFromUtf8(entry.path))
                                                   : fs::path(entry.path));
    if (entry.content.starts_with(kLink)) {
      const std::string to = UnixName(root / entry.content.substr(kLink.size()));
      ASSERT_TRUE(RunUnix("Z:\\bin\\ln", "ln -sfn \"" + to + "\" \"" + UnixName(path) + "\"",
                          [&] { return fs::exists(path); })) << entry.path;
    } else if (entry.content.starts_with(kMode)) {
      const std::string mode = entry.content.substr(kMode.size());
      ASSERT_TRUE(RunUnix("Z:\\bin\\chmod", "chmod " + mode + " \"" + UnixName(path) + "\"",
                          [&] { return EveryoneMayAddFiles(path) == (mode.back() == '7'); }))
          << entry.path;
    } else if (entry.content == kDirectory) {
      fs::create_directories(path);
    } else {
      WriteBytes(path, entry.content);
    }
  }
  fs::create_directories(root / scenario.startIn);
  auto expected = Snapshot(root);
  for (const Entry& change : scenario.changes) expected[change.path] = change.content;

  SessionOptions options;
  options.commandLine = "\"" + rootText + scenario.toolFolder + "\\PakInstaller.exe\"";
  if (*scenario.arguments != '\0') {
    options.commandLine += " " + Replace(scenario.arguments, "{root}", rootText);
  }
  options.unicode = scenario.unicode;
  options.workingDirectory = (root / scenario.startIn).string();
  options.answer = scenario.answer;
  options.boxAction = scenario.boxAction;
  options.progressAction = scenario.progress;
  // The released (signed) executable's screenshots sit beside the build's, not over them.
  const bool released = ExecutableUnderTest() != INSTALLER_EXE;
  options.screenshotPrefix = (released ? "installer-released-" : "installer-") + std::string(scenario.name);
  Session session;
  {
    std::unique_ptr<HeldFile> held;
    if (scenario.holdOpen != nullptr) {
      held = std::make_unique<HeldFile>((root / scenario.holdOpen).string());
      ASSERT_TRUE(held->Held()) << "could not hold " << scenario.holdOpen << ", error " << GetLastError();
    }
    session = RunSession(options);
  }
  const std::string account = Describe(session);

  ASSERT_TRUE(session.failure.empty()) << account;
  EXPECT_TRUE(session.exited) << account;
  EXPECT_EQ(session.exitCode, 0u) << account;

  if (scenario.expectedInitialText == nullptr) {
    EXPECT_TRUE(session.prompts.empty()) << account;
  } else {
    EXPECT_EQ(session.prompts.size(), 1u) << account;
  }
  if (scenario.expectedInitialText != nullptr && session.prompts.size() == 1) {
    const Prompt& prompt = session.prompts.front();
    const std::string initial = scenario.expectedInitialText;
    EXPECT_EQ(prompt.caption, kPromptCaption) << account;
    EXPECT_EQ(prompt.label, kPromptLabel) << account;
    EXPECT_EQ(prompt.initialText, initial) << account;
    // The caret stands after the initial text and nothing is selected (counted in characters).
    const std::size_t end = scenario.unicode ? ui::WideFromUtf8(initial).size() : initial.size();
    EXPECT_EQ(prompt.selectionStart, end) << account;
    EXPECT_EQ(prompt.selectionEnd, end) << account;
  }
  // Every box that follows the prompt comes after it, never before.
  if (!session.order.empty() && scenario.expectedInitialText != nullptr) {
    EXPECT_EQ(session.order.front(), "prompt") << account;
  }

  ExpectBoxes(session, scenario.boxes, account);
  if (scenario.bigAddOn == 0) {
    EXPECT_TRUE(session.progress.empty()) << "a small add-on's copy showed a window; " << account;
  } else {
    ExpectProgress(session, scenario, account);
  }

  const auto actual = Snapshot(root);
  EXPECT_TRUE(actual == expected) << "expected:" << Listing(expected) << "\nactual:" << Listing(actual)
                                  << "\n" << account;
  // The disk the big copy took is given back.
  if (scenario.bigAddOn > 0) fs::remove_all(root, ignored);
}

class InstallerRun : public testing::TestWithParam<Scenario> {};

TEST_P(InstallerRun, ShowsTheBoxesAndChangesOnlyWhatItShould) { RunAndCheck(GetParam()); }

// The example config.pref of the release package, unchanged, with the game where it says:
// its comments and layout must read as the two settings they explain.
TEST(ShippedExample, InstallsIntoTheExampleGameFolder) {
  std::string config = ReadBytes(ui::WindowsPath(SHIPPED_CONFIG));
  ASSERT_FALSE(config.empty()) << SHIPPED_CONFIG;
  config = Replace(config, "\n", "\r\n");  // shipped with CR LF, kept with LF
  const fs::path game = "C:\\Spiele\\Morvenholt";
  std::error_code ignored;
  fs::remove_all("C:\\Spiele", ignored);
  fs::create_directories(game / "pak");

  Scenario scenario{"shipped_example_config", config.c_str(), {}, kAddOnArgument, Enter(), "pak",
                    {Installed("trains.pak")}, {}};
  RunAndCheck(scenario);
  const std::string installed = ReadBytes(game / "pak" / "trains.pak");
  EXPECT_EQ(installed, kAddOn) << "C:\\Spiele\\Morvenholt\\pak\\trains.pak holds \""
                               << ui::Printable(installed) << "\"";
  fs::remove_all("C:\\Spiele", ignored);
}

// A game folder with an umlaut, as German players have them: the tool hands the settings'
// 8-bit bytes to the ANSI calls unchanged, whether config.pref was saved as ANSI or as UTF-8
// with a byte-order mark. (Made with the ANSI calls here too, to keep the bytes exact.)
TEST(UmlautGameFolder, InstallsWhicheverWayConfigPrefWasSaved) {
  const std::string game = "C:\\Spiele f\xfc" "r alle\\";
  const struct {
    const char* name;
    const char* config;
  } cases[] = {
      {"umlaut_game_folder_ansi_config", "[Tavelmark]\r\nmorvenholt_directory=C:\\Spiele f\xfc" "r alle\\\r\n"},
      {"umlaut_game_folder_utf8_config",
       "\xef\xbb\xbf[Tavelmark]\r\nmorvenholt_directory=C:\\Spiele f\xc3\xbc" "r alle\\\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CreateDirectoryA(game.c_str(), nullptr);
    CreateDirectoryA((game + "pak").c_str(), nullptr);
    ASSERT_NE(GetFileAttributesA((game + "pak").c_str()), INVALID_FILE_ATTRIBUTES) << GetLastError();

    RunAndCheck({c.name, c.config, {}, kAddOnArgument, Enter(), "pak", {Installed("trains.pak")}, {}});
    const std::string target = game + "pak\\trains.pak";
    EXPECT_EQ(ReadBytesAnsi(target), kAddOn) << ui::Printable(target);

    DeleteFileA(target.c_str());
    RemoveDirectoryA((game + "pak").c_str());
    RemoveDirectoryA(game.c_str());
  }
}

// A path longer than 260 UTF-16 units is taken whole or not at all: the add-on's path here is
// missing, while its first 260 units name another add-on.
TEST(LongPaths, AreNeverJudgedByTheirFirst260Units) {
  const std::string name = "long_add_on_path_is_judged_whole";
  const std::size_t used = (fs::path(ui::WindowsPath(SCENARIO_ROOT)) / name).string().size() +
                           std::string("\\downloads\\.pak").size();
  ASSERT_LT(used, 250u);
  const std::string cut = "downloads\\" + std::string(260 - used, 'a') + ".pak";
  const std::string missing = std::string(cut, std::string("downloads\\").size()) + "x.pak";
  const std::string argument = "\"{root}downloads\\" + missing + "\"";
  RunAndCheck({name.c_str(), kConfig, {{cut, kOtherAddOn}}, argument.c_str(), Enter(), "pak",
               {kAddOnMissing, NotInstalled(missing)}, {}});
}

INSTANTIATE_TEST_SUITE_P(Scenarios, InstallerRun, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& scenario) { return scenario.param.name; });

}  // namespace
}  // namespace installer_test

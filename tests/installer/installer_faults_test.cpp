// The real PakInstaller.exe under Wine while the machine works against it: a full disk, a
// destination that another program holds open, a read-only volume, an add-on that vanishes
// while the prompt is up, a config.pref that someone holds open for writing, a hold that ends
// within a moment, a tool killed during the copy, and a stale temporary file of an earlier
// install. Worked through its windows like a person and judged by the boxes it showed, its exit
// code and every folder it could have touched: the older add-on, config.pref and the absence of
// temporary files are compared byte for byte.
// Drive F: (a 256 KB tmpfs) and drive R: (a read-only tmpfs holding readonly-drive/) come from
// CTest fixtures (scripts/tmpfs-drive).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/installer/installer_checks.h"
#include "tests/installer/installer_session.h"
#include "tests/support/file_holder.h"
#include "tests/ui_driver/ui_driver.h"

namespace installer_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDirectory = "<dir>";
constexpr const char* kRemoved = "<removed>";
// About two seconds of waiting for a held destination, then the copy gives up.
constexpr long kShortestGiveUpMs = 1500;
constexpr long kLongestGiveUpMs = 5000;

// Add-on bytes of a given size: a header, then a pattern that differs with `seed`.
std::string AddOnBytes(std::size_t size, unsigned seed) {
  std::string bytes = "MVPAK\x01";
  unsigned state = seed * 2654435761u + 1;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 24));
  }
  bytes.resize(size);
  return bytes;
}

const std::string kNewAddOn = AddOnBytes(6000, 1);
const std::string kOlderAddOn = AddOnBytes(4000, 2);

// "N bytes: <first bytes>": enough to tell two add-ons apart in a failure message.
std::string Summary(const std::string& bytes) {
  return std::to_string(bytes.size()) + " bytes: \"" + ui::Printable(bytes.substr(0, 24)) + "\"";
}

// Every file and folder below `root`, by full path, with its bytes (kDirectory for folders).
void AddSnapshot(const fs::path& root, std::map<std::string, std::string>* entries) {
  std::error_code error;
  for (fs::recursive_directory_iterator item(root, error), end; !error && item != end;
       item.increment(error)) {
    (*entries)[item->path().string()] = item->is_directory() ? kDirectory : ReadBytes(item->path());
  }
}

std::string Listing(const std::map<std::string, std::string>& entries) {
  std::string out;
  for (const auto& [path, content] : entries) {
    out += "\n  " + path + (content == kDirectory ? std::string(" (folder)") : " = " + Summary(content));
  }
  return out;
}

// The names in one folder, sorted, as "{a}{b}": a leftover temporary file shows here.
std::string Names(const fs::path& folder) {
  std::map<std::string, int> names;
  std::error_code error;
  for (fs::directory_iterator item(folder, error), end; !error && item != end; item.increment(error)) {
    names[item->path().filename().string()] = 0;
  }
  std::string out;
  for (const auto& [name, unused] : names) out += "{" + name + "}";
  return out;
}

std::string Config(const std::string& game, const std::string& pakSet) {
  return "; Morvenholt\r\n[Tavelmark]\r\nmorvenholt_directory = " + game +
         "\r\ndefault_pakset = " + pakSet + "\r\n";
}

// One scenario's folders: the tool with its config.pref, the add-on in downloads\, and a game
// directory (below the scenario's folder, or on one of the test drives) whose pak-set folder
// holds an older copy of the add-on.
struct Layout {
  std::string root;    // the scenario's folder, ending in a backslash
  std::string game;    // the game directory, ending in a backslash
  std::string pakSet;  // the configured pak-set folder's name
  std::string tool;
  std::string addOn;
  std::string config;
  std::string configBytes;
  std::string olderCopy;  // game + pakSet + \trains.pak
  std::string olderBytes;
};

struct Expected {
  const char* initialText;                    // what the prompt offers
  std::vector<Box> boxes;                     // exactly these, in this order
  std::map<std::string, std::string> changes;  // full path -> new bytes, or kRemoved
  std::string pakSetNames = "{trains.pak}";    // all that the pak-set folder holds afterwards
};

class FaultTest : public testing::Test {
 protected:
  // `game` empty: root\game\. `writeGame` false: the game directory exists already (the
  // read-only drive) and its older copy is what it holds.
  Layout Prepare(const std::string& name, const std::string& game, const std::string& addOnBytes,
                 const std::string& pakSet = "pak", bool writeGame = true,
                 const std::string& olderBytes = kOlderAddOn) {
    Layout layout;
    layout.root = (fs::path(ui::WindowsPath(SCENARIO_ROOT)) / name).string() + "\\";
    std::error_code ignored;
    fs::remove_all(layout.root, ignored);
    layout.game = game.empty() ? layout.root + "game\\" : game;
    layout.pakSet = pakSet;
    layout.tool = layout.root + "tool\\PakInstaller.exe";
    layout.addOn = layout.root + "downloads\\trains.pak";
    layout.config = layout.root + "tool\\config.pref";
    layout.configBytes = Config(layout.game, pakSet);
    layout.olderCopy = layout.game + pakSet + "\\trains.pak";

    WriteBytes(layout.tool, ReadBytes(ui::WindowsPath(INSTALLER_EXE)));
    WriteBytes(layout.config, layout.configBytes);
    WriteBytes(layout.addOn, addOnBytes);
    if (writeGame) {
      fs::remove_all(layout.game, ignored);
      WriteBytes(layout.olderCopy, olderBytes);
    }
    layout.olderBytes = ReadBytes(layout.olderCopy);
    watched_ = {layout.root};
    if (layout.game.rfind(layout.root, 0) != 0) watched_.push_back(layout.game);
    before_.clear();
    for (const std::string& folder : watched_) AddSnapshot(folder, &before_);
    return layout;
  }

  Session Run(const Layout& layout, const std::string& name, const Answer& answer = {},
              std::function<void(HWND)> onPrompt = {},
              ProgressAction progressAction = ProgressAction::kWatch) {
    SessionOptions options;
    options.progressAction = progressAction;
    options.commandLine = "\"" + layout.tool + "\" \"" + layout.addOn + "\"";
    options.workingDirectory = layout.root;
    options.answer = answer;
    options.screenshotPrefix = "faults-" + name;
    options.onPrompt = std::move(onPrompt);
    return RunSession(options);
  }

  // Boxes, exit code and the file system after the run. Without a change for it, the older
  // copy and config.pref must be as they were, and the pak-set folder must hold nothing else.
  void ExpectOutcome(const Layout& layout, const Session& session, const Expected& expected) {
    const std::string account = Describe(session);
    ASSERT_TRUE(session.failure.empty()) << account;
    EXPECT_TRUE(session.exited) << account;
    EXPECT_EQ(session.exitCode, 0u) << account;
    ASSERT_EQ(session.prompts.size(), 1u) << account;
    EXPECT_EQ(session.prompts.front().initialText, expected.initialText) << account;
    EXPECT_EQ(session.order.front(), "prompt") << account;

    ExpectBoxes(session, expected.boxes, account);

    const auto older = expected.changes.find(layout.olderCopy);
    const std::string olderNow = ReadBytes(layout.olderCopy);
    const std::string olderWanted = older == expected.changes.end() ? layout.olderBytes : older->second;
    EXPECT_TRUE(olderNow == olderWanted) << layout.olderCopy << " holds " << Summary(olderNow)
                                         << ", not " << Summary(olderWanted);
    EXPECT_EQ(Names(layout.game + layout.pakSet), expected.pakSetNames) << layout.game + layout.pakSet;
    const std::string configNow = ReadBytes(layout.config);
    EXPECT_TRUE(configNow == layout.configBytes) << "config.pref holds \"" << ui::Printable(configNow) << "\"";

    auto wanted = before_;
    for (const auto& [path, bytes] : expected.changes) {
      if (bytes == kRemoved) {
        wanted.erase(path);
      } else {
        wanted[path] = bytes;
      }
    }
    std::map<std::string, std::string> actual;
    for (const std::string& folder : watched_) AddSnapshot(folder, &actual);
    EXPECT_TRUE(actual == wanted) << "expected:" << Listing(wanted) << "\nactual:" << Listing(actual);
  }

  // From the prompt's answer to the first box: the time the checks and the copy took.
  static long AnswerToFirstBox(const Session& session) {
    if (session.boxSeenAt.empty()) return -1;
    return static_cast<long>(session.boxSeenAt.front() - session.answeredAt);
  }

  const std::string holder_ = PathBesideExecutable("hold_file.exe");

 private:
  std::vector<std::string> watched_;
  std::map<std::string, std::string> before_;
};

void PrintFigure(const std::string& what, long ms) {
  std::printf("[ figure   ] %s: %ld ms\n", what.c_str(), ms);
  std::fflush(stdout);
  testing::Test::RecordProperty(what, static_cast<int>(ms));
}

TEST_F(FaultTest, FullDiskKeepsTheOlderCopy) {
  ASSERT_GT(GetDriveTypeA("F:\\"), 1u) << "drive F: is missing: run through ctest";
  const struct {
    const char* name;
    std::size_t size;
  } cases[] = {
      {"full_disk_fits_alone_not_beside_the_older_copy", 200 * 1024},
      {"full_disk_larger_than_the_whole_drive", 400 * 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string addOn = AddOnBytes(c.size, 3);
    Layout layout = Prepare(c.name, "F:\\game\\", addOn, "pak", true, AddOnBytes(100 * 1024, 4));
    // The situation is real only if the new copy cannot fit beside the older one.
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("F:\\", &free, nullptr, nullptr)) << GetLastError();
    ASSERT_LT(free.QuadPart, c.size) << "F: has " << free.QuadPart << " bytes free";

    const Session session = Run(layout, c.name);
    ExpectOutcome(layout, session, {"pak", {NotInstalled("trains.pak")}, {}});
    std::error_code ignored;
    fs::remove_all("F:\\game", ignored);
  }
}

TEST_F(FaultTest, DestinationHeldOpenKeepsTheOlderCopy) {
  const struct {
    const char* name;
    DWORD access;
  } cases[] = {
      {"held_for_reading_without_sharing", GENERIC_READ},
      {"held_for_writing_without_sharing", GENERIC_READ | GENERIC_WRITE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Layout layout = Prepare(c.name, "", kNewAddOn);
    FileHolder held(holder_.c_str(), layout.olderCopy.c_str(), c.access, 0);
    ASSERT_TRUE(held.Held()) << "could not hold " << layout.olderCopy;
    const Session session = Run(layout, c.name);
    held.Release();

    ExpectOutcome(layout, session, {"pak", {NotInstalled("trains.pak")}, {}});
    // The tool waits a moment for the hold to end, then gives up; never for good.
    const long waited = AnswerToFirstBox(session);
    PrintFigure(std::string(c.name) + ": prompt answered to message 7", waited);
    EXPECT_GE(waited, kShortestGiveUpMs);
    EXPECT_LT(waited, kLongestGiveUpMs);
  }
}

TEST_F(FaultTest, ReadOnlyVolumeKeepsTheOlderCopy) {
  ASSERT_GT(GetDriveTypeA("R:\\"), 1u) << "drive R: is missing: run through ctest";
  const std::string seed = ReadBytes(fs::path(ui::WindowsPath(READONLY_SEED)) / "game" / "pak" / "trains.pak");
  Layout layout = Prepare("read_only_volume", "R:\\game\\", kNewAddOn, "pak", false);
  ASSERT_TRUE(layout.olderBytes == seed) << "R:\\game\\pak\\trains.pak holds " << Summary(layout.olderBytes);
  // The volume must refuse a new file, or the scenario proves nothing.
  const HANDLE probe = CreateFileA("R:\\game\\pak\\probe.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD probeError = GetLastError();
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    DeleteFileA("R:\\game\\pak\\probe.tmp");
  }
  ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << "R: takes new files";
  std::printf("[ note     ] a new file on R: fails with error %lu\n", static_cast<unsigned long>(probeError));

  const Session session = Run(layout, "read_only_volume");
  ExpectOutcome(layout, session, {"pak", {NotInstalled("trains.pak")}, {}});
}

TEST_F(FaultTest, AddOnThatVanishesWhileThePromptIsUpIsReportedMissing) {
  const struct {
    const char* name;
    bool emptied;  // false: deleted
  } cases[] = {
      {"add_on_deleted_while_prompting", false},
      {"add_on_emptied_while_prompting", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Layout layout = Prepare(c.name, "", kNewAddOn);
    bool changed = false;
    DWORD error = 0;
    const Session session = Run(layout, c.name, {}, [&](HWND) {
      if (c.emptied) {
        const HANDLE file = CreateFileA(layout.addOn.c_str(), GENERIC_WRITE, 0, nullptr,
                                        TRUNCATE_EXISTING, 0, nullptr);
        changed = file != INVALID_HANDLE_VALUE;
        if (changed) CloseHandle(file);
      } else {
        changed = DeleteFileA(layout.addOn.c_str()) != 0;
      }
      error = GetLastError();
    });
    ASSERT_TRUE(changed) << "the add-on could not be changed, error " << error;

    ExpectOutcome(layout, session, {"pak", {kAddOnMissing, NotInstalled("trains.pak")},
                                    {{layout.addOn, c.emptied ? "" : kRemoved}}});
  }
}

TEST_F(FaultTest, SettingsHeldForWritingReadAsMissing) {
  // config.pref names pak64. Unreadable, the defaults apply: the prompt offers pak and the
  // game directory is the tool's own folder, which has no pak\ folder.
  const struct {
    const char* name;
    bool held;
    DWORD share;
  } cases[] = {
      {"settings_not_held", false, 0},
      {"settings_held_for_writing_without_sharing", true, 0},
      {"settings_held_for_writing_sharing_reading", true, FILE_SHARE_READ},
      {"settings_held_for_writing_sharing_reading_and_writing", true, FILE_SHARE_READ | FILE_SHARE_WRITE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Layout layout = Prepare(c.name, "", kNewAddOn, "pak64");
    std::unique_ptr<FileHolder> held;
    if (c.held) {
      held = std::make_unique<FileHolder>(holder_.c_str(), layout.config.c_str(), GENERIC_WRITE, c.share);
      ASSERT_TRUE(held->Held()) << "could not hold " << layout.config;
    }
    const Session session = Run(layout, c.name);
    held.reset();

    if (c.held) {
      ExpectOutcome(layout, session, {"pak", {kPakSetMissing, NotInstalled("trains.pak")}, {}});
    } else {
      ExpectOutcome(layout, session, {"pak64", {Installed("trains.pak")}, {{layout.olderCopy, kNewAddOn}}});
    }
  }
}

// The names in `folder` that start with "~": the tool's temporary files.
std::string TemporaryFiles(const std::string& folder) {
  std::string found;
  std::error_code error;
  for (fs::directory_iterator item(folder, error), end; !error && item != end; item.increment(error)) {
    const std::string name = item->path().filename().string();
    if (name[0] == '~') found += "{" + name + "}";
  }
  return found;
}

TEST_F(FaultTest, KilledDuringTheCopyKeepsTheOlderCopyAndLeavesNoTemporaryFile) {
  // Killed while its temporary file is there, as a crash or the end of the session would end it. A large add-on keeps the copy and its flush busy long enough for that: 256 MiB, sparse,
  // outside the scenario's folder, whose every file the checks read.
  const std::string name = "killed_during_the_copy";
  Layout layout = Prepare(name, "", kNewAddOn);
  const std::string downloads = (fs::path(ui::WindowsPath(SCENARIO_ROOT)) / (name + "-download")).string();
  fs::create_directories(downloads);
  layout.addOn = downloads + "\\trains.pak";
  const HANDLE large = CreateFileA(layout.addOn.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(large, INVALID_HANDLE_VALUE) << GetLastError();
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = 256LL << 20;
  EXPECT_TRUE(SetFileInformationByHandle(large, FileEndOfFileInfo, &end, sizeof end)) << GetLastError();
  CloseHandle(large);

  const std::string pakSet = layout.game + layout.pakSet;
  constexpr UINT kKilled = 99;
  std::string seen;
  std::thread killer;
  const Session session = Run(layout, name, {}, [&](HWND prompt) {
    DWORD processId = 0;
    GetWindowThreadProcessId(prompt, &processId);
    killer = std::thread([&seen, pakSet, processId] {
      const HANDLE tool = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
      for (const DWORD start = GetTickCount(); tool != nullptr && GetTickCount() - start < 15000; Sleep(1)) {
        seen = TemporaryFiles(pakSet);
        if (!seen.empty()) {
          // A moment later, so the kill falls in the copy rather than between the calls that
          // create the file and mark it for deletion; no copy of 256 MiB ends within 20 ms.
          Sleep(20);
          TerminateProcess(tool, kKilled);
          break;
        }
      }
      if (tool != nullptr) CloseHandle(tool);
    });
  });
  if (killer.joinable()) killer.join();
  std::error_code ignored;
  fs::remove_all(downloads, ignored);

  const std::string account = Describe(session);
  ASSERT_FALSE(seen.empty()) << "no temporary file was seen in " << pakSet << "; " << account;
  std::printf("[ note     ] killed while %s was in %s\n", seen.c_str(), pakSet.c_str());
  EXPECT_EQ(seen.rfind("{~PakInstaller-", 0), 0u) << "the temporary file's name says whose it is";
  EXPECT_TRUE(session.exited && session.exitCode == kKilled) << account;
  EXPECT_TRUE(session.boxes.empty()) << account;
  const std::string olderNow = ReadBytes(layout.olderCopy);
  EXPECT_TRUE(olderNow == layout.olderBytes) << layout.olderCopy << " holds " << Summary(olderNow);
  EXPECT_EQ(Names(pakSet), "{trains.pak}") << pakSet;
}

// Whether the file is `head` followed by zeros up to `size` bytes, read through in blocks.
bool HoldsSparse(const std::string& path, const std::string& head, std::int64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::string block(1 << 20, '\0');
  if (!in.read(block.data(), static_cast<std::streamsize>(head.size())) ||
      block.compare(0, head.size(), head) != 0) {
    return false;
  }
  std::int64_t read = static_cast<std::int64_t>(head.size());
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (block.find_first_not_of('\0', 0) < got) return false;
    read += static_cast<std::int64_t>(got);
  }
  return read == size;
}

TEST_F(FaultTest, StopAtThePointOfNoReturnInstallsAllOrNothing) {
  // Escape at the bar's last step: the last block is written, and the final flush and the
  // rename are under way. Whichever side of the rename the stop falls on, the pak-set folder
  // holds either the whole new add-on after "Fertig!" or the older one after message 7, and
  // nothing else; a stop the window took ("Wird abgebrochen") always ends in message 7. The big
  // add-on lies outside the scenario's folder, whose every file the checks would read.
  const std::string name = "stopped_at_the_point_of_no_return";
  Layout layout = Prepare(name, "", kNewAddOn);
  const std::string downloads = (fs::path(ui::WindowsPath(SCENARIO_ROOT)) / (name + "-download")).string();
  fs::create_directories(downloads);
  layout.addOn = downloads + "\\trains.pak";
  constexpr std::int64_t kSize = (std::int64_t{4} << 30) + (std::int64_t{40} << 20);
  WriteBytes(layout.addOn, kNewAddOn);
  ASSERT_TRUE(ExtendToSize(layout.addOn, kSize)) << GetLastError();

  const Session session = Run(layout, name, {}, {}, ProgressAction::kEscapeWhenFull);
  const std::string account = Describe(session);
  ASSERT_TRUE(session.failure.empty()) << account;
  EXPECT_TRUE(session.exited && session.exitCode == 0) << account;
  ASSERT_EQ(session.progress.size(), 1u) << account;
  ASSERT_EQ(session.boxes.size(), 1u) << account;
  const bool installed = session.boxes.front().title == "Fertig!";
  const bool pressed = session.progress.front().pressedAt != 0;
  std::printf("[ note     ] Escape %s at the last hundredth: %s\n", pressed ? "pressed" : "too late",
              installed ? "installed" : "not installed");
  EXPECT_TRUE(pressed || installed) << "not installed, and nobody stopped it; " << account;
  EXPECT_FALSE(session.progress.front().stopLine && installed)
      << "the window took the stop, and the copy went through all the same; " << account;
  ExpectBoxes(session, {installed ? Installed("trains.pak") : NotInstalled("trains.pak")}, account);
  if (installed) {
    EXPECT_TRUE(HoldsSparse(layout.olderCopy, kNewAddOn, kSize)) << layout.olderCopy << " is not the new add-on";
  } else {
    const std::string olderNow = ReadBytes(layout.olderCopy);
    EXPECT_TRUE(olderNow == layout.olderBytes) << layout.olderCopy << " holds " << Summary(olderNow);
  }
  EXPECT_EQ(Names(layout.game + layout.pakSet), "{trains.pak}");
  std::error_code ignored;
  fs::remove_all(downloads, ignored);
  fs::remove_all(layout.root, ignored);
}

TEST_F(FaultTest, LeftoverOfAnEarlierInstallStays) {
  // What a power cut left in the pak-set folder during an earlier install stays: in a folder
  // that other users can change, no name there proves whose file it is.
  const std::string name = "leftover_temporary_file";
  Layout layout = Prepare(name, "", kNewAddOn);
  const std::string leftover = layout.game + layout.pakSet + "\\~PakInstaller-0badf00d.tmp";
  WriteBytes(leftover, AddOnBytes(3000, 5));

  const Session session = Run(layout, name);
  ExpectOutcome(layout, session,
                {"pak", {Installed("trains.pak")},
                 {{layout.olderCopy, kNewAddOn}, {leftover, AddOnBytes(3000, 5)}},
                 "{trains.pak}{~PakInstaller-0badf00d.tmp}"});
}

TEST_F(FaultTest, HoldThatEndsWithinAMomentStillInstalls) {
  // Like a virus scanner that looks at the file for half a second just as the copy replaces it:
  // held from before the answer until half a second after the prompt has gone.
  const std::string name = "brief_hold_on_the_destination";
  Layout layout = Prepare(name, "", kNewAddOn);
  std::unique_ptr<FileHolder> held;
  std::thread releaser;
  DWORD releasedAt = 0;
  bool holdTaken = false;
  const Session session = Run(layout, name, {}, [&](HWND prompt) {
    held = std::make_unique<FileHolder>(holder_.c_str(), layout.olderCopy.c_str(), GENERIC_READ, 0);
    holdTaken = held->Held();
    releaser = std::thread([&held, &releasedAt, prompt] {
      ui::WaitForWindowGone(prompt, 15000);
      Sleep(500);
      releasedAt = GetTickCount();
      held->Release();
    });
  });
  if (releaser.joinable()) releaser.join();
  ASSERT_TRUE(holdTaken && releasedAt != 0) << Describe(session);
  ASSERT_FALSE(session.boxSeenAt.empty()) << Describe(session);

  ExpectOutcome(layout, session, {"pak", {Installed("trains.pak")}, {{layout.olderCopy, kNewAddOn}}});
  const long took = AnswerToFirstBox(session);
  PrintFigure("brief hold: prompt answered to message 6", took);
  // The copy waited for the hold (so it really met it), and not much longer than it lasted.
  const long afterRelease = static_cast<long>(session.boxSeenAt.front() - releasedAt);
  PrintFigure("brief hold: released to message 6", afterRelease);
  EXPECT_GE(afterRelease, 0) << "message 6 came before the hold ended";
  EXPECT_GE(took, 450);
  EXPECT_LT(took, kShortestGiveUpMs);
}

}  // namespace
}  // namespace installer_test

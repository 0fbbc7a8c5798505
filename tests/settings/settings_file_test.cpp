// The process-wide settings store over real files: what it leaves on disk, and how it shares
// the file with other processes while it holds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/memory.h"
#include "runtime/settings.h"
#include "tests/support/file_holder.h"

namespace runtime {
namespace {

std::string Str(const Text& t) { return std::string(t.CStr(), t.Length()); }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  // An old time stamp, so that any write by the store would show.
  FILETIME old = {};
  SYSTEMTIME when = {2001, 2, 0, 3, 4, 5, 6, 0};
  SystemTimeToFileTime(&when, &old);
  SetFileTime(h, nullptr, nullptr, &old);
  CloseHandle(h);
  return ok && written == bytes.size();
}

// The bytes and the last write time, as one comparable text; "(missing)" when unreadable.
std::string Snapshot(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return "(missing)";
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(unreadable)";
  std::string bytes(data.nFileSizeLow, '\0');
  DWORD got = 0;
  if (!bytes.empty()) ReadFile(h, bytes.data(), data.nFileSizeLow, &got, nullptr);
  CloseHandle(h);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%lu:%lu:%lu ", data.ftLastWriteTime.dwHighDateTime,
                data.ftLastWriteTime.dwLowDateTime, got);
  return stamp + bytes;
}

// Whether this process can open the file for writing right now.
bool CanOpenForWriting(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

const char kTypical[] =
    "\xEF\xBB\xBF; Einstellungen\r\n[Tavelmark]\r\n  default_pakset = pak128 \r\n\r\n"
    "morvenholt_directory=C:\\Spiele\\Morvenholt\\\r\n";

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    // Always a new folder: one left behind by an aborted run may hold files, and Wine hands
    // out the same process ids again.
    for (unsigned n = 0; n < 1000 && dir_.empty(); ++n) {
      char name[64];
      std::snprintf(name, sizeof name, "settings-test-%lu-%u\\", GetCurrentProcessId(), n);
      const std::string candidate = std::string(temp) + name;
      if (CreateDirectoryA(candidate.c_str(), nullptr)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty()) << "no fresh folder in " << temp;
    path_ = dir_ + "config.pref";
    holder_ = PathBesideExecutable("hold_file.exe");
  }

  void TearDown() override {
    CloseSettings();
    FailAllocationAfter(0);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir_ + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string file = dir_ + found.cFileName;
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
      } while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(dir_.c_str());
  }

  // What the run does: open, select "Tavelmark", read both keys, close; the values read.
  std::string RunReads(std::int32_t* opened) {
    *opened = OpenSettings(Text(path_.c_str()));
    const std::int32_t selected = SelectSettingsGroup(Text("Tavelmark"));
    const std::string result = std::to_string(selected) + " " +
                               Str(ReadSetting(Text("default_pakset"), Text("pak"))) + " " +
                               Str(ReadSetting(Text("morvenholt_directory"), Text(dir_.c_str())));
    CloseSettings();
    return result;
  }

  std::string Files() const {
    std::string names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir_ + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return "(none)";
    do {
      if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") {
        names += std::string(found.cFileName) + ";";
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
  }

  std::string dir_;
  std::string path_;
  std::string holder_;
};

TEST_F(SettingsFileTest, MissingFileStaysMissingAfterTheWholeRun) {
  const std::string paths[] = {path_, dir_ + "missing\\config.pref", dir_, ""};
  for (const std::string& path : paths) {
    EXPECT_EQ(OpenSettings(Text(path.c_str())), 0) << path;
    EXPECT_EQ(SelectSettingsGroup(Text("Tavelmark")), 0) << path;
    EXPECT_EQ(Str(ReadSetting(Text("default_pakset"), Text("pak"))), "pak") << path;
    EXPECT_EQ(Str(ReadSetting(Text("morvenholt_directory"), Text("C:\\W\\ "))), "C:\\W\\ ")
        << path;
    EXPECT_EQ(SelectSettingsGroup(Text("")), 1) << "open without a file: " << path;
    CloseSettings();
    EXPECT_EQ(SelectSettingsGroup(Text("")), 0) << "closed: " << path;
    CloseSettings();  // the end of the run closes once more
    EXPECT_FALSE(Exists(path_)) << path;
    EXPECT_FALSE(Exists(dir_ + "missing")) << path;
    EXPECT_EQ(Files(), "") << path;
  }
  EXPECT_EQ(OpenSettings(Text()), 0);
}

TEST_F(SettingsFileTest, ExistingFilesAreReadAndLeftByteForByte) {
  const struct { std::string content; const char* reads; } cases[] = {
      {kTypical, "1 pak128 C:\\Spiele\\Morvenholt\\"},
      {"[tavelmark]\ndefault_pakset=\xFC" "ber\n", "1 \xFC" "ber (dir)"},
      {"\xEF\xBB\xBF[Tavelmark]\rdefault_pakset=gr\xC3\xBC\xC3\x9F\r", "1 gr\xFC\xDF (dir)"},
      {"[Tavelmark]\r\ndefault_pakset=\r\nmorvenholt_directory", "1  "},
      {";only a comment\r\n\r\n   \r\n", "0 pak (dir)"},
      {"", "0 pak (dir)"},
      {"\xEF\xBB\xBF", "0 pak (dir)"},
      {std::string("\xFF\xFE[\0T\0]\0\r\0\n\0k\0=\0v\0", 18), "0 pak (dir)"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteBytes(path_, c.content));
    const std::string before = Snapshot(path_);
    std::int32_t opened = 0;
    std::string reads = RunReads(&opened);
    CloseSettings();
    if (reads.size() >= dir_.size() && reads.substr(reads.size() - dir_.size()) == dir_) {
      reads.replace(reads.size() - dir_.size(), dir_.size(), "(dir)");
    }
    EXPECT_NE(opened, 0) << c.content;
    EXPECT_EQ(reads, c.reads) << c.content;
    EXPECT_EQ(Snapshot(path_), before) << c.content;
    EXPECT_EQ(Files(), "config.pref;") << c.content;
  }
}

TEST_F(SettingsFileTest, ReadOnlyFileIsRead) {
  ASSERT_TRUE(WriteBytes(path_, kTypical));
  ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine run by root opens read-only files for writing all the same; the read-only fallback is
  // then met only through a reader that refuses write sharing (test below).
  if (CanOpenForWriting(path_)) std::printf("note: read-only files can be written here\n");
  const std::string before = Snapshot(path_);
  std::int32_t opened = 0;
  EXPECT_EQ(RunReads(&opened), "1 pak128 C:\\Spiele\\Morvenholt\\");
  EXPECT_NE(opened, 0);
  EXPECT_EQ(Snapshot(path_), before);
  const DWORD attributes = GetFileAttributesA(path_.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << std::hex << attributes;
}

TEST_F(SettingsFileTest, WhileHeldOthersMayReadButNeverWrite) {
  ASSERT_TRUE(WriteBytes(path_, kTypical));
  ASSERT_NE(OpenSettings(Text(path_.c_str())), 0);
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const struct { DWORD access; DWORD share; bool held; } others[] = {
      {GENERIC_READ, shareAll, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_WRITE, shareAll, false},
      {GENERIC_READ | GENERIC_WRITE, shareAll, false},
      {DELETE, shareAll, false},
  };
  for (const auto& o : others) {
    FileHolder other(holder_.c_str(), path_.c_str(), o.access, o.share);
    EXPECT_EQ(other.Held(), o.held) << std::hex << "access " << o.access << " share " << o.share;
  }
  EXPECT_FALSE(DeleteFileA(path_.c_str()));
  EXPECT_EQ(SelectSettingsGroup(Text("Tavelmark")), 1);
  EXPECT_EQ(Str(ReadSetting(Text("default_pakset"), Text("pak"))), "pak128");
  CloseSettings();

  FileHolder writer(holder_.c_str(), path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ);
  EXPECT_TRUE(writer.Held()) << "closing releases the file";
}

TEST_F(SettingsFileTest, FileHeldForWritingElsewhereReadsAsMissing) {
  ASSERT_TRUE(WriteBytes(path_, kTypical));
  const struct { DWORD access; DWORD share; } holders[] = {  // writers, and one exclusive reader
      {GENERIC_WRITE, FILE_SHARE_READ},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
      {GENERIC_READ, 0},
  };
  for (const auto& w : holders) {
    FileHolder other(holder_.c_str(), path_.c_str(), w.access, w.share);
    ASSERT_TRUE(other.Held()) << std::hex << "access " << w.access << " share " << w.share;
    std::int32_t opened = -1;
    EXPECT_EQ(RunReads(&opened), "0 pak " + dir_)
        << std::hex << "access " << w.access << " share " << w.share;
    EXPECT_EQ(opened, 0) << std::hex << "access " << w.access << " share " << w.share;
  }
}

// A reader that does not share write access leaves the store its read-only fallback.
TEST_F(SettingsFileTest, ReaderWithoutWriteSharingLeavesTheReadOnlyHandle) {
  ASSERT_TRUE(WriteBytes(path_, kTypical));
  FileHolder reader(holder_.c_str(), path_.c_str(), GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(reader.Held());
  std::int32_t opened = 0;
  EXPECT_EQ(RunReads(&opened), "1 pak128 C:\\Spiele\\Morvenholt\\");
  EXPECT_NE(opened, 0);
}

TEST_F(SettingsFileTest, ReopeningReleasesTheFirstFile) {
  const std::string second = dir_ + "second.pref";
  ASSERT_TRUE(WriteBytes(path_, kTypical));
  ASSERT_TRUE(WriteBytes(second, "default_pakset=top\n"));
  ASSERT_NE(OpenSettings(Text(path_.c_str())), 0);
  EXPECT_FALSE(CanOpenForWriting(path_));
  ASSERT_EQ(SelectSettingsGroup(Text("Missing")), 0);
  ASSERT_NE(OpenSettings(Text(second.c_str())), 0);
  EXPECT_TRUE(CanOpenForWriting(path_));
  EXPECT_FALSE(CanOpenForWriting(second));
  EXPECT_EQ(Str(ReadSetting(Text("default_pakset"), Text("pak"))), "top");
  CloseSettings();
  EXPECT_TRUE(CanOpenForWriting(second));
}

TEST_F(SettingsFileTest, MemoryRunningOutWhileOpening) {
  // Formed before the failures start, so that the first allocation is the store's own.
  const WideText path = WideFromAnsi(Text(path_.c_str()));
  const Text empty("");
  const Text group("Tavelmark");

  FailAllocationAfter(1);  // the remembered path of a missing file
  EXPECT_EQ(OpenSettings(path), 0);
  EXPECT_EQ(SelectSettingsGroup(empty), 0) << "the store stays closed";
  CloseSettings();

  ASSERT_TRUE(WriteBytes(path_, kTypical));
  FailAllocationAfter(1);  // the content buffer
  EXPECT_NE(OpenSettings(path), 0);
  EXPECT_EQ(SelectSettingsGroup(group), 0) << "no records";
  EXPECT_EQ(SelectSettingsGroup(empty), 1);
  EXPECT_FALSE(CanOpenForWriting(path_)) << "the file stays held";
  CloseSettings();
  EXPECT_TRUE(CanOpenForWriting(path_));
}

}  // namespace
}  // namespace runtime

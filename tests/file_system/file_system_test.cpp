// The size query's rules over stand-in platform calls: which path reaches which call, in which
// order, and how the answers become -1, -2 or a size. This is also where the root of a network
// share is covered, which Wine cannot make.
#include "runtime/file_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace runtime {
namespace {

struct Entry {
  std::uint32_t attributes;
  std::uint32_t sizeHigh;
  std::uint32_t sizeLow;
};

// The stand-in platform: a few drives, directory entries and attributes, and a log of calls.
struct World {
  std::map<std::string, unsigned> drives;
  std::map<std::string, Entry> entries;
  std::map<std::string, std::uint32_t> attributes;
  std::string log;
};
World* world = nullptr;

unsigned FakeDriveType(const char* root) {
  world->log += "drive " + std::string(root) + ";";
  const auto it = world->drives.find(root);
  return it == world->drives.end() ? 1 : it->second;
}

bool FakeFindFirst(const char* path, std::uint32_t* attributes, std::uint32_t* sizeHigh,
                   std::uint32_t* sizeLow) {
  world->log += "find " + std::string(path) + ";";
  const auto it = world->entries.find(path);
  if (it == world->entries.end()) return false;
  *attributes = it->second.attributes;
  *sizeHigh = it->second.sizeHigh;
  *sizeLow = it->second.sizeLow;
  return true;
}

std::uint32_t FakeAttributes(const char* path) {
  world->log += "attributes " + std::string(path) + ";";
  const auto it = world->attributes.find(path);
  return it == world->attributes.end() ? 0xFFFFFFFFu : it->second;
}

const FileQueryCalls kFake = {FakeDriveType, FakeFindFirst, FakeAttributes};

// The same stand-ins for UTF-16 paths; the table's paths are ASCII.
std::string Narrowed(const wchar_t* wide) {
  std::string narrow;
  for (; *wide != L'\0'; ++wide) narrow += static_cast<char>(*wide);
  return narrow;
}
unsigned FakeWideDriveType(const wchar_t* root) { return FakeDriveType(Narrowed(root).c_str()); }
bool FakeWideFindFirst(const wchar_t* path, std::uint32_t* attributes, std::uint32_t* sizeHigh,
                       std::uint32_t* sizeLow) {
  return FakeFindFirst(Narrowed(path).c_str(), attributes, sizeHigh, sizeLow);
}
std::uint32_t FakeWideAttributes(const wchar_t* path) {
  return FakeAttributes(Narrowed(path).c_str());
}
const WideFileQueryCalls kWideFake = {FakeWideDriveType, FakeWideFindFirst, FakeWideAttributes};

WideText Widened(const std::string& ascii) {
  std::wstring wide(ascii.begin(), ascii.end());
  return WideText(wide.c_str(), wide.size());
}

class QueryFileSizeRules : public ::testing::Test {
 protected:
  void SetUp() override {
    world = &world_;
    world_.drives = {{"C:\\", 3}, {"D:\\", 2}, {"E:\\", 4}, {"F:\\", 5}, {"G:\\", 6},
                     {"U:\\", 0}, {"D:x", 3}, {"1:\\", 3}};
    world_.entries = {
        {"D:\\Games\\Foo", {0x10, 0, 0}},
        {"D:\\Games\\a.pak", {0x20, 0, 300}},
        {"D:\\Games\\empty.pak", {0x20, 0, 0}},
        {"D:\\Games\\*.pak", {0x20, 0, 300}},
        {"D:\\big.pak", {0x20, 1, 5}},
        {"D:\\low.pak", {0x20, 0, 0xFFFFFFFFu}},
        {"D:\\max.pak", {0x21, 0x7FFFFFFFu, 0xFFFFFFFFu}},
        {"D:\\ro-dir", {0x11, 0, 0}},
        {"C:", {0x10, 0, 0}},
        {"C:x", {0x20, 0, 7}},
        {"\\\\server\\share\\sub", {0x10, 0, 0}},
        {"\\\\server\\share\\f.pak", {0x20, 0, 42}},
    };
    world_.attributes = {{"\\\\server\\share", 0x10},
                         {"\\\\server\\file", 0x20},
                         {"D:\\hidden-dir", 0x10}};
  }
  void TearDown() override { world = nullptr; }
  World world_;
};

TEST_F(QueryFileSizeRules, FollowTheTableInOrder) {
  const struct {
    const char* path;
    std::int64_t result;
    const char* calls;
  } cases[] = {
      {"", -1, ""},
      // The drive rule: only the drive type decides, for "X:", "X:\" and "X:x" alike.
      {"C:", -2, "drive C:\\;"},
      {"C:\\", -2, "drive C:\\;"},
      {"Q:", -1, "drive Q:\\;"},
      {"Q:\\", -1, "drive Q:\\;"},
      {"U:", -1, "drive U:\\;"},
      {"D:", -2, "drive D:\\;"},
      {"E:\\", -2, "drive E:\\;"},
      {"F:", -2, "drive F:\\;"},
      {"G:", -2, "drive G:\\;"},
      {"C:x", -1, "drive C:x;"},  // never searched, though an entry "C:x" exists
      {"D:x", -2, "drive D:x;"},
      {"1:", -2, "drive 1:\\;"},
      {"C:\\\\", -2, "find C:;"},  // four characters: no drive rule, backslashes cut
      {"C:\\a", -1, "find C:\\a;"},
      // Directories and files, with any number of trailing backslashes.
      {"D:\\Games\\Foo", -2, "find D:\\Games\\Foo;"},
      {"D:\\Games\\Foo\\", -2, "find D:\\Games\\Foo;"},
      {"D:\\Games\\Foo\\\\\\", -2, "find D:\\Games\\Foo;"},
      {"D:\\ro-dir", -2, "find D:\\ro-dir;"},
      {"D:\\Games\\a.pak", 300, "find D:\\Games\\a.pak;"},
      {"D:\\Games\\a.pak\\", 300, "find D:\\Games\\a.pak;"},
      {"D:\\Games\\empty.pak", 0, "find D:\\Games\\empty.pak;"},
      {"D:\\Games\\*.pak", 300, "find D:\\Games\\*.pak;"},
      {"D:\\Games\\missing", -1, "find D:\\Games\\missing;"},
      {"D:/Games/Foo/", -1, "find D:/Games/Foo/;"},  // only backslashes are cut
      // Sizes take both halves, unsigned.
      {"D:\\big.pak", 4294967301LL, "find D:\\big.pak;"},
      {"D:\\low.pak", 4294967295LL, "find D:\\low.pak;"},
      {"D:\\max.pak", INT64_MAX, "find D:\\max.pak;"},
      // A text of backslashes only is cut to nothing: no network path is left.
      {"\\", -1, "find ;"},
      {"\\\\", -1, "find ;"},
      {"\\\\\\\\\\", -1, "find ;"},
      // The attribute query only for a network path the search did not find.
      {"\\\\server\\share", -2, "find \\\\server\\share;attributes \\\\server\\share;"},
      {"\\\\server\\share\\", -2, "find \\\\server\\share;attributes \\\\server\\share;"},
      {"\\\\server\\share\\sub", -2, "find \\\\server\\share\\sub;"},
      {"\\\\server\\share\\f.pak", 42, "find \\\\server\\share\\f.pak;"},
      {"\\\\server\\file", -1, "find \\\\server\\file;attributes \\\\server\\file;"},
      {"\\\\nowhere\\x", -1, "find \\\\nowhere\\x;attributes \\\\nowhere\\x;"},
      {"D:\\hidden-dir", -1, "find D:\\hidden-dir;"},
      {"\\hidden", -1, "find \\hidden;"},
  };
  for (const auto& c : cases) {
    world_.log.clear();
    EXPECT_EQ(QueryFileSizeWith(kFake, Text(c.path)), c.result) << c.path;
    EXPECT_EQ(world_.log, c.calls) << c.path;
    // A UTF-16 path follows the same rules to the same calls.
    world_.log.clear();
    EXPECT_EQ(QueryFileSizeWith(kWideFake, Widened(c.path)), c.result) << c.path;
    EXPECT_EQ(world_.log, c.calls) << c.path;
  }
}

// With the lead bytes of 932 (表 is 95 5C) the second byte of a character is never cut as a
// trailing backslash; without them (1252) every 5C byte is one, as before.
TEST_F(QueryFileSizeRules, TrailingBackslashesAreCharactersOfTheCodePage) {
  const LeadBytes cp932{{0x81, 0x9F, 0xE0, 0xFC}};
  world_.entries["S:\\\x95\x5c"] = {0x10, 0, 0};
  world_.entries["S:\\\x95\x5c\\\x83\x5c"] = {0x10, 0, 0};
  const struct {
    const LeadBytes& leadBytes;
    const char* path;
    std::int64_t result;
    const char* calls;
  } cases[] = {
      {cp932, "S:\\\x95\x5c", -2, "find S:\\\x95\x5c;"},
      {cp932, "S:\\\x95\x5c\\\\", -2, "find S:\\\x95\x5c;"},
      {cp932, "S:\\\x95\x5c\\\x83\x5c\\", -2, "find S:\\\x95\x5c\\\x83\x5c;"},
      {cp932, "S:\\\x95", -1, "find S:\\\x95;"},  // a lead byte at the end stands alone
      {kNoLeadBytes, "S:\\\x95\x5c", -1, "find S:\\\x95;"},
      {kNoLeadBytes, "S:\\\x95\x5c\\\x83\x5c\\", -1, "find S:\\\x95\x5c\\\x83;"},
  };
  for (const auto& c : cases) {
    world_.log.clear();
    EXPECT_EQ(QueryFileSizeWith(kFake, Text(c.path), c.leadBytes), c.result) << c.path;
    EXPECT_EQ(world_.log, c.calls) << c.path;
  }
}

TEST_F(QueryFileSizeRules, AnAbsentPathCallsNothing) {
  EXPECT_EQ(QueryFileSizeWith(kFake, Text()), -1);
  EXPECT_EQ(world_.log, "");
}

TEST_F(QueryFileSizeRules, LooksAtTheFirst260CharactersOnly) {
  const std::string name = "D:\\" + std::string(251, 'n') + ".pak";  // 258 characters
  ASSERT_EQ(name.size(), 258u);
  world_.entries[name + "xy"] = {0x20, 0, 260};
  world_.entries[name] = {0x20, 0, 258};

  const struct {
    std::string path;
    std::int64_t result;
    std::string searched;
  } cases[] = {
      {name + "xy", 260, name + "xy"},
      {name + "xyz\\and more", 260, name + "xy"},
      {name + "\\\\" + std::string(100, '\\'), 258, name},
      {name + "\\\\" + "tail", 258, name},  // the cut leaves two backslashes, then they go
      {std::string(300, '\\'), -1, ""},
      {"\\\\" + std::string(400, 's'), -1, "\\\\" + std::string(258, 's')},
  };
  for (const auto& c : cases) {
    world_.log.clear();
    const Text path(c.path.c_str());
    EXPECT_EQ(QueryFileSizeWith(kFake, path), c.result) << c.path.size() << " characters";
    EXPECT_EQ(world_.log.substr(0, 5 + c.searched.size() + 1), "find " + c.searched + ";")
        << c.path.size() << " characters";
    EXPECT_EQ(std::string(path.CStr()), c.path) << "the caller's text is unchanged";
    // A UTF-16 path is never judged by its first 260 units: whole, or not found at all.
    world_.log.clear();
    const std::size_t named = c.path.find_last_not_of('\\') + 1;
    const bool whole = named <= 260;
    EXPECT_EQ(QueryFileSizeWith(kWideFake, Widened(c.path)), whole ? c.result : -1)
        << c.path.size() << " UTF-16 units";
    EXPECT_EQ(world_.log.empty(), !whole) << c.path.size() << " UTF-16 units";
  }
}

// The temporary file's name says whose it is where the path limit leaves room.
TEST(TemporaryFileNames, AreCutOnlyWhereThePathLimitNeedsIt) {
  const struct {
    std::size_t room;
    const char* name;
  } cases[] = {
      {259, "~PakInstaller-0123abcd.tmp"}, {26, "~PakInstaller-0123abcd.tmp"},
      {25, "~PakInstaller-0123abcd.tm"},   {22, "~PakInstaller-0123abcd"},
      {15, "~PakInstaller-0"},             {14, "~0123abcd"},
      {5, "~abcd"},                        {0, "~bcd"},
  };
  for (const auto& c : cases) {
    char name[kTemporaryNameSize];
    TemporaryFileName(0x0123abcdu, c.room, name);
    EXPECT_STREQ(name, c.name) << "room " << c.room;
  }
}

// A watched copy flushes about every quarter second of the disk's work: a slow stick in small
// pieces, so that a stop is heard between them; a fast disk seldom, so it stays fast. Each piece
// at most doubles, whatever a cache made the last flush look like.
TEST(FlushPieces, FollowTheDisksPace) {
  constexpr std::int64_t kMiB = std::int64_t{1} << 20;
  EXPECT_EQ(kFirstFlushBytes, 4 * kMiB);
  const struct {
    std::int64_t bytes;
    std::uint32_t ms;
    std::int64_t next;
  } cases[] = {
      {4 * kMiB, 2000, kMiB},          // 2 MB/s, a slow stick: at least 1 MiB
      {4 * kMiB, 250, 4 * kMiB},       // 16 MB/s: what a quarter second writes
      {32 * kMiB, 1000, 8 * kMiB},     // 32 MB/s
      {4 * kMiB, 100, 8 * kMiB},       // 40 MB/s: 10 MiB wanted, twice the last piece at most
      {4 * kMiB, 0, 8 * kMiB},         // quicker than the clock: doubled, never 1 GiB
      {64 * kMiB, 15, 128 * kMiB},     // under a tick counts as a tick
      {64 * kMiB, 50, 128 * kMiB},     // 1.3 GB/s
      {200 * kMiB, 16, 256 * kMiB},    // beyond the most
      {256 * kMiB, 500, 128 * kMiB},   // 512 MB/s
      {kMiB, 60000, kMiB},             // a disk that nearly stands still
      {0, 0, 2 * kMiB},                // nothing measured: from the least
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BytesBeforeNextFlush(c.bytes, c.ms), c.next) << c.bytes << " bytes in " << c.ms;
  }
  // From the first piece on a fast disk, the cap is reached by doubling in six flushes.
  std::int64_t piece = kFirstFlushBytes;
  int flushes = 0;
  for (; piece < 256 * kMiB; ++flushes) piece = BytesBeforeNextFlush(piece, 1);
  EXPECT_EQ(flushes, 6);
}

}  // namespace
}  // namespace runtime

#include "runtime/text.h"
#include "runtime/wide_text.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/memory.h"

namespace runtime {
namespace {

std::string Str(const Text& t) { return std::string(t.CStr(), t.Length()); }

TEST(TextTest, JoinCopiesBothWithoutSeparator) {
  EXPECT_EQ(Str(Text("C:\\Game\\") + Text("pak\\")), "C:\\Game\\pak\\");
  EXPECT_EQ(Str(Text() + Text("x")), "x");
  EXPECT_EQ(Str(Text("x") + Text()), "x");
  EXPECT_FALSE((Text() + Text()).IsAbsent());
}

TEST(TextTest, EqualityIsExactAndAbsentEqualsEmpty) {
  EXPECT_TRUE(Text("pak") == Text("pak"));
  EXPECT_FALSE(Text("pak") == Text("PAK"));
  EXPECT_FALSE(Text("pak") == Text("pak "));
  EXPECT_TRUE(Text() == Text(""));
  EXPECT_FALSE(Text() == Text(" "));
}

TEST(TextTest, TrimLeadingSpacesRemovesOnlyLeadingSpaceBytes) {
  const struct { const char* in; const char* out; } cases[] = {
      {"  C:\\a b.pak ", "C:\\a b.pak "},
      {"   ", ""},
      {"\tx.pak", "\tx.pak"},
      {"", ""},
      {"x", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(Str(TrimLeadingSpaces(Text(c.in))), c.out) << c.in;
  EXPECT_EQ(Str(TrimLeadingSpaces(Text())), "");
}

TEST(TextTest, LowerCaseFollowsTheByteRule) {
  const struct { const char* in; const char* out; } cases[] = {
      {"ADDON.PAK", "addon.pak"},
      {"\xC4\xD6\xDC", "\xE4\xF6\xFC"},       // ÄÖÜ -> äöü
      {"\xDF", "\xDF"},                        // ß stays
      {"\xC0\xDE\xD7", "\xE0\xFE\xF7"},        // the whole range, 0xD7 included
      {"\xBF\xE0\xFF@[`{", "\xBF\xE0\xFF@[`{"},  // neighbours of the ranges stay
  };
  for (const auto& c : cases) EXPECT_EQ(Str(LowerCase(Text(c.in))), c.out) << c.in;
  EXPECT_EQ(Str(LowerCase(Text())), "");
}

TEST(TextTest, PathPartsFollowTheTable) {
  const struct {
    const char* path;
    const char* directory;
    const char* fileName;
    const char* extension;
  } cases[] = {
      {"C:\\Games\\addon.pak", "C:\\Games\\", "addon.pak", "pak"},
      {"addon.pak", "", "addon.pak", "pak"},
      {"C:\\Games\\", "C:\\Games\\", "", ""},
      {"C:/a/b", "C:/a/", "b", ""},
      {"C:\\a|b\\c", "C:\\", "c", ""},
      {"\"C:\\My Games\\x.PAK\"", "C:\\My Games\\", "x.PAK", "PAK"},
      {"addon.tar.pak", "", "addon.tar.pak", "pak"},
      {"C:\\my.dir\\readme", "C:\\my.dir\\", "readme", ""},
      {"name.", "", "name.", ""},
      {".pak", "", ".pak", "pak"},
      {"", "", "", ""},
      {"\"", "", "", ""},
      {"a\"b\\c.pak", "a\"b\\", "c.pak", "pak"},         // a quote not at the start is a byte
      {"x.pak\"y\"", "", "x.pak", "pak"},                  // results end at the first quote
      {"C:\\a\\b|c\\d.pak", "C:\\a\\", "d.pak", "pak"},    // only the directory stops at the bar
      {"\\\\server\\share\\f.PaK", "\\\\server\\share\\", "f.PaK", "PaK"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Str(PathDirectory(Text(c.path))), c.directory) << c.path;
    EXPECT_EQ(Str(PathFileName(Text(c.path))), c.fileName) << c.path;
    EXPECT_EQ(Str(PathExtension(Text(c.path))), c.extension) << c.path;
  }
}

// The lead bytes of the double-byte code pages, as GetCPInfo reports them.
const LeadBytes kCp932{{0x81, 0x9F, 0xE0, 0xFC}};
const LeadBytes kCp936{{0x81, 0xFE}};  // 949 and 950 have the same range
const LeadBytes kCp1252{};

// A second byte is never a separator, bar, quote or dot, and LowerCase leaves a pair alone.
TEST(TextTest, PathPartsWalkCharactersOfTheCodePage) {
  const struct {
    const char* codePage;
    const LeadBytes& leadBytes;
    const char* path;
    const char* directory;
    const char* fileName;
    const char* extension;
    const char* lowered;
    bool endsInSeparator;
  } cases[] = {
      // 932: 表 95 5C, ソフト 83 5C 83 74 83 67, ポ 83 7C, ア 83 41; 0xC0 alone is a katakana.
      {"932", kCp932, "S:\\\x95\x5c\\\x95\x5c\x8e\xa6.PAK", "S:\\\x95\x5c\\",
       "\x95\x5c\x8e\xa6.PAK", "PAK", "s:\\\x95\x5c\\\x95\x5c\x8e\xa6.pak", false},
      {"932", kCp932, "S:\\\x83\x5c\x83t\x83g \x95\x5c.pak", "S:\\",
       "\x83\x5c\x83t\x83g \x95\x5c.pak", "pak", "s:\\\x83\x5c\x83t\x83g \x95\x5c.pak", false},
      {"932", kCp932, "S:\\\x95\x5c", "S:\\", "\x95\x5c", "", "s:\\\x95\x5c", false},
      {"932", kCp932, "S:\\\x95\x5c\\", "S:\\\x95\x5c\\", "", "", "s:\\\x95\x5c\\", true},
      {"932", kCp932, "C:\\\x83\x7c\\x.pak", "C:\\\x83\x7c\\", "x.pak", "pak",
       "c:\\\x83\x7c\\x.pak", false},
      {"932", kCp932, "\x83\x41\xc0.\x83\x41", "", "\x83\x41\xc0.\x83\x41", "\x83\x41",
       "\x83\x41\xe0.\x83\x41", false},
      {"932", kCp932, "a\x95", "", "a\x95", "", "a\x95", false},  // a lead byte at the end
      // 936: 乗 81 5C, 丄 81 41.
      {"936", kCp936, "C:\\\x81\x5c\\\x81\x41.Pak", "C:\\\x81\x5c\\", "\x81\x41.Pak", "Pak",
       "c:\\\x81\x5c\\\x81\x41.pak", false},
      // 949: 갂 81 41; its second bytes are letters, never a backslash.
      {"949", kCp936, "D:\\\x81\x41\x81Z.PAK", "D:\\", "\x81\x41\x81Z.PAK", "PAK",
       "d:\\\x81\x41\x81Z.pak", false},
      // 950: 許可 B3 5C A5 69.
      {"950", kCp936, "S:\\\xb3\x5c\xa5i.pak", "S:\\", "\xb3\x5c\xa5i.pak", "pak",
       "s:\\\xb3\x5c\xa5i.pak", false},
      {"950", kCp936, "S:\\\xb3\x5c", "S:\\", "\xb3\x5c", "", "s:\\\xb3\x5c", false},
      // 1252: the same bytes, each a character of its own, exactly as before.
      {"1252", kCp1252, "S:\\\x95\x5c\\\x95\x5c\x8e\xa6.PAK", "S:\\\x95\\\\\x95\\", "\x8e\xa6.PAK",
       "PAK", "s:\\\x95\x5c\\\x95\x5c\x8e\xa6.pak", false},
      {"1252", kCp1252, "S:\\\x95\x5c", "S:\\\x95\\", "", "", "s:\\\x95\\", true},
      {"1252", kCp1252, "C:\\\x83\x7c\\x.pak", "C:\\", "x.pak", "pak", "c:\\\x83|\\x.pak", false},
      {"1252", kCp1252, "\xc0\xde" "A.\x83\x41", "", "\xc0\xde" "A.\x83\x41", "\x83\x41",
       "\xe0\xfe" "a.\x83\x61", false},
  };
  for (const auto& c : cases) {
    const Text path(c.path);
    const std::string where = std::string(c.codePage) + ": " + c.path;
    EXPECT_EQ(Str(PathDirectory(path, c.leadBytes)), c.directory) << where;
    EXPECT_EQ(Str(PathFileName(path, c.leadBytes)), c.fileName) << where;
    EXPECT_EQ(Str(PathExtension(path, c.leadBytes)), c.extension) << where;
    EXPECT_EQ(Str(LowerCase(path, c.leadBytes)), c.lowered) << where;
    EXPECT_EQ(EndsInSeparator(path, c.leadBytes), c.endsInSeparator) << where;
  }
}

TEST(TextTest, AbsentPathGivesEmptyParts) {
  EXPECT_EQ(Str(PathDirectory(Text())), "");
  EXPECT_EQ(Str(PathFileName(Text())), "");
  EXPECT_EQ(Str(PathExtension(Text())), "");
}

TEST(TextTest, OperationsNeverChangeTheirArgument) {
  const Text path("\"C:\\A B\\X.PAK\"");
  LowerCase(path);
  TrimLeadingSpaces(path);
  PathDirectory(path);
  EXPECT_EQ(Str(path), "\"C:\\A B\\X.PAK\"");
}

TEST(TextTest, CopyThatCannotBeMadeIsAbsent) {
  FailAllocationAfter(1);
  const Text copy("pak");
  FailAllocationAfter(0);
  EXPECT_TRUE(copy.IsAbsent());
  EXPECT_STREQ(copy.CStr(), "");
  EXPECT_TRUE(copy == Text(""));
}

// The UTF-16 name's parts follow the ANSI rules, and the extension is that of the name itself.
TEST(TextTest, WidePathsFollowThePathRules) {
  const struct {
    const wchar_t* path;
    const wchar_t* directory;
    const wchar_t* fileName;
    bool addOn;
  } cases[] = {
      {L"C:\\A B\\x.pak", L"C:\\A B\\", L"x.pak", true},
      {L"\"C:\\A\\X.PaK\"", L"C:\\A\\", L"X.PaK", true},
      {L"D:/dl/\x141\xf3" L"d\x17a.pak", L"D:/dl/", L"\x141\xf3" L"d\x17a.pak", true},
      {L"C:\\x.\xff50\xff41\xff4b", L"C:\\", L"x.\xff50\xff41\xff4b", false},  // fullwidth
      {L"C:\\x.pak.zip", L"C:\\", L"x.pak.zip", false},
      {L"C:\\x.paks", L"C:\\", L"x.paks", false},
      {L"C:\\x.pa", L"C:\\", L"x.pa", false},
      {L"C:\\pak.d\\x", L"C:\\pak.d\\", L"x", false},
      {L"C:\\a|b\\x.pak", L"C:\\", L"x.pak", true},  // the directory's walk ends at a bar
      {L"x.pak", L"", L"x.pak", true},
      {L"", L"", L"", false},
  };
  for (const auto& c : cases) {
    const WideText path(c.path);
    EXPECT_TRUE(WidePathDirectory(path) == WideText(c.directory)) << c.fileName;
    EXPECT_TRUE(WidePathFileName(path) == WideText(c.fileName)) << c.fileName;
    EXPECT_EQ(HasAddOnExtension(path), c.addOn) << c.fileName;
  }
  EXPECT_TRUE((WideText(L"a") + WideText()).IsAbsent()) << "a joined name that lost a part";
}

}  // namespace
}  // namespace runtime

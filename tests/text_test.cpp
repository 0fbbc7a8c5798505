#include "runtime/text.h"

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

}  // namespace
}  // namespace runtime

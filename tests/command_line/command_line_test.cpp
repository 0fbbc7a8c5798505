#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runtime {
namespace {

std::string Str(const Text& t) { return std::string(t.CStr(), t.Length()); }

// Each byte as one UTF-16 unit, and back: the wide rules must split the same units alike.
std::wstring Widened(const std::string& bytes) {
  std::wstring wide;
  for (char c : bytes) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}
std::wstring Str(const WideText& t) { return std::wstring(t.CStr(), t.Length()); }

// Shows blanks and tabs, so a failing row says exactly which bytes it had.
std::string Visible(const std::string& s) {
  std::string out = "`";
  for (char c : s) out += c == '\t' ? std::string("\\t") : std::string(1, c);
  return out + "`";
}

struct CommandLineCase {
  const char* line;
  std::int32_t count;
  std::vector<std::string> parameters;
};

const CommandLineCase kCases[] = {
    {"tool.exe", 0, {}},
    {"tool.exe a b", 2, {"a", "b"}},
    {"\"C:\\My Tools\\tool.exe\" \"D:\\My Files\\a.pak\"", 1, {"D:\\My Files\\a.pak"}},
    {"\"C:\\tool.exe\" D:\\My  Files\\a.pak", 2, {"D:\\My", "Files\\a.pak"}},
    {"tool.exe \"a b\"c", 2, {"a b", "c"}},
    {"tool.exe ab\"c d\"", 2, {"ab\"c", "d\""}},
    {"tool.exe \"a\"\"b\"", 2, {"a", "b"}},
    {"tool.exe \"a b", 1, {"a b"}},
    {"tool.exe \"\"", 1, {""}},
    {"tool.exe \"", 1, {""}},
    {"  tool.exe  a   b   ", 2, {"a", "b"}},
    {"tool.exe a\\\"b c", 2, {"a\\\"b", "c"}},
    {"tool.exe\ta", 0, {}},
    {"\"tool\"x y", 2, {"x", "y"}},
    {"", -1, {}},
    {"   ", -1, {}},
    // Rows beyond the table that pin down the same rules.
    {"tool.exe \"\" \"\" x", 3, {"", "", "x"}},
    {"tool.exe \"a\" ", 1, {"a"}},
    {"tool.exe a\tb  c\\\\", 2, {"a\tb", "c\\\\"}},
    {"\"\"", 0, {}},
    {"\"", 0, {}},
    {"tool.exe \"a b\"\"c d\"e", 3, {"a b", "c d", "e"}},
    {"tool.exe \xFC" "bergabe.pak", 1, {"\xFC" "bergabe.pak"}},
    // Code page 932 and UTF-8: a byte of a character of two or more is never a blank or a quote.
    {"tool.exe \"S:\\\x95\x5c\x8e\xa6.pak\" S:\\\x83\x5c\x83t\x83g \x95\x5c.pak", 3,
     {"S:\\\x95\x5c\x8e\xa6.pak", "S:\\\x83\x5c\x83t\x83g", "\x95\x5c.pak"}},
    {"tool.exe \"S:\\Do\xc4\x9f" "an\\\xc5\x81\xc3\xb3" "d\xc5\xba.pak\"", 1,
     {"S:\\Do\xc4\x9f" "an\\\xc5\x81\xc3\xb3" "d\xc5\xba.pak"}},
};

TEST(CommandLineTest, SplitsEveryRowOfTheTable) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(Visible(c.line));
    EXPECT_EQ(ParameterCountOf(c.line), c.count);
    ParameterCursor cursor;
    for (std::size_t i = 0; i < c.parameters.size(); ++i) {
      EXPECT_EQ(Str(NextParameterOf(c.line, cursor)), c.parameters[i]) << "parameter " << i;
    }
    // Used up: the empty text on every further call, and the cursor stays.
    for (int extra = 0; extra < 3; ++extra) {
      const Text rest = NextParameterOf(c.line, cursor);
      EXPECT_EQ(Visible(Str(rest)), "``");
      EXPECT_FALSE(rest.IsAbsent());
      EXPECT_EQ(cursor.nextIndex, static_cast<std::int32_t>(c.parameters.size()));
    }
    EXPECT_EQ(ParameterCountOf(c.line), c.count) << "the count after the parameters";
    EXPECT_TRUE(Str(JoinedParametersOf(Widened(c.line).c_str())) ==
                Widened(Str(JoinedParametersOf(c.line))))
        << "the UTF-16 join";
  }
}

// Every unit of the UTF-16 line arrives as it was: an unpaired surrogate is no U+FFFD.
TEST(CommandLineTest, TheUtf16JoinKeepsEveryUnit) {
  const wchar_t line[] = {L'"', L't', L'"', L' ', L' ', L'a', 0xD800, L'.', L'p', L'a', L'k',
                          L' ', L'b', 0xDC00, 0xD83D, 0xDE82, L' ', 0};
  const wchar_t joined[] = {L'a', 0xD800, L'.', L'p', L'a', L'k', L' ', L'b', 0xDC00, 0xD83D,
                            0xDE82, 0};
  EXPECT_TRUE(Str(JoinedParametersOf(line)) == joined);
  EXPECT_TRUE(Str(JoinedParametersOf(static_cast<const wchar_t*>(nullptr))).empty());
}

TEST(CommandLineTest, TokensPointIntoTheLineItself) {
  const char* line = "\"C:\\t.exe\" ab \"c d\"";
  const CommandLineScan exe = ScanCommandLine(line, -1);
  EXPECT_FALSE(exe.found);
  EXPECT_EQ(exe.counter, 2);

  const CommandLineScan first = ScanCommandLine(line, 0);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.token.first - line, 11);
  EXPECT_EQ(first.token.length, 2u);
  const CommandLineScan second = ScanCommandLine(line, 1);
  ASSERT_TRUE(second.found);
  EXPECT_EQ(second.token.first - line, 15);
  EXPECT_EQ(second.token.length, 3u);
  const CommandLineScan third = ScanCommandLine(line, 2);
  EXPECT_FALSE(third.found);
  EXPECT_EQ(third.counter, 2);
}

TEST(CommandLineTest, AnEmptyQuotedParameterIsFoundAndCounted) {
  // The empty parameter advances the cursor; a missing one does not.
  const CommandLineScan empty = ScanCommandLine("t \"\"", 0);
  EXPECT_TRUE(empty.found);
  EXPECT_EQ(empty.token.length, 0u);
  const CommandLineScan trailingBlanks = ScanCommandLine("t   ", 0);
  EXPECT_FALSE(trailingBlanks.found);
  EXPECT_EQ(trailingBlanks.counter, 0);
  EXPECT_EQ(ScanCommandLine(nullptr, 0).found, false);
  EXPECT_EQ(ParameterCountOf(nullptr), -1);
}

TEST(CommandLineTest, CountDoesNotMoveTheCursorAndTheCursorNeverGoesBack) {
  const char* line = "tool.exe one two three";
  ParameterCursor cursor;
  EXPECT_EQ(Str(NextParameterOf(line, cursor)), "one");
  EXPECT_EQ(ParameterCountOf(line), 3);
  EXPECT_EQ(cursor.nextIndex, 1);
  EXPECT_EQ(Str(NextParameterOf(line, cursor)), "two");
  // A cursor that was already past the end of a shorter line stays where it is.
  EXPECT_EQ(Str(NextParameterOf("tool.exe x", cursor)), "");
  EXPECT_EQ(cursor.nextIndex, 2);
  EXPECT_EQ(Str(NextParameterOf(line, cursor)), "three");
  EXPECT_EQ(cursor.nextIndex, 3);
}

TEST(CommandLineTest, ProgramPathDropsOnlyALeadingLongPathPrefix) {
  const struct {
    const char* reported;
    std::size_t count;
    const char* path;
  } cases[] = {
      {"\\\\?\\C:\\Tools\\tool.exe", 21, "C:\\Tools\\tool.exe"},
      {"C:\\Tools\\tool.exe", 17, "C:\\Tools\\tool.exe"},
      {"C:\\\\?\\tool.exe", 14, "C:\\\\?\\tool.exe"},  // the prefix only counts at the start
      {"\\\\?\\", 4, ""},
      {"\\\\?", 3, "\\\\?"},
      {"\\\\.\\C:\\tool.exe", 15, "\\\\.\\C:\\tool.exe"},
      {"\\\\?\\C:\\Tools\\tool.exe", 3, "\\\\?"},  // only the reported characters count
      {"C:\\tool.exe", 0, ""},
      {"C:\\a\0junk", 9, "C:\\a"},  // never past a terminating zero
  };
  for (const auto& c : cases) {
    const Text path = ProgramPathFrom(c.reported, c.count);
    EXPECT_EQ(Str(path), c.path) << c.reported << " count " << c.count;
    EXPECT_FALSE(path.IsAbsent()) << c.reported;
    const std::wstring wide = Widened(std::string(c.reported, c.count));
    EXPECT_TRUE(Str(ProgramPathFrom(wide.c_str(), c.count)) == Widened(c.path)) << c.reported;
  }
  EXPECT_EQ(Str(ProgramPathFrom(static_cast<const char*>(nullptr), 5)), "");
  EXPECT_TRUE(Str(ProgramPathFrom(static_cast<const wchar_t*>(nullptr), 5)).empty());
}

}  // namespace
}  // namespace runtime

// The live path: a child process whose command line CreateProcessA sets, read back through
// GetCommandLineA and GetModuleFileNameA.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/command_line.h"
#include "tests/support/file_holder.h"

namespace {

std::string Expected(int count, const std::vector<std::string>& parameters,
                     const std::string& path) {
  std::string out = "count " + std::to_string(count) + "\r\n";
  for (const auto& p : parameters) out += "[" + p + "]\r\n";
  out += "[]\r\n[]\r\n";
  out += "count " + std::to_string(count) + "\r\n";
  return out + "path " + path + "\r\n";
}

TEST(CommandLineLiveTest, ChildSeesItsCommandLineSplitByTheToolsRules) {
  const std::string probe = PathBesideExecutable("command_line_probe.exe");
  const std::string quoted = "\"" + probe + "\"";
  const struct {
    std::string line;
    int count;
    std::vector<std::string> parameters;
  } cases[] = {
      {quoted, 0, {}},
      {probe + " a b", 2, {"a", "b"}},
      {quoted + " \"D:\\My Files\\a.pak\"", 1, {"D:\\My Files\\a.pak"}},
      {quoted + " D:\\My  Files\\a.pak", 2, {"D:\\My", "Files\\a.pak"}},
      {quoted + " \"a b\"c", 2, {"a b", "c"}},
      {quoted + " ab\"c d\"", 2, {"ab\"c", "d\""}},
      {quoted + " \"a\"\"b\"", 2, {"a", "b"}},
      {quoted + " \"a b", 1, {"a b"}},
      {quoted + " \"\"", 1, {""}},
      {quoted + " \"", 1, {""}},
      {quoted + "  a   b   ", 2, {"a", "b"}},
      {quoted + " a\\\"b c", 2, {"a\\\"b", "c"}},
      {quoted + "x y", 2, {"x", "y"}},
      {quoted + "\ta", 1, {"\ta"}},
      {quoted + " C:\\My Games\\Add Ons\\trains.pak", 3, {"C:\\My", "Games\\Add", "Ons\\trains.pak"}},
  };
  for (const auto& c : cases) {
    std::string output;
    const int code = RunChild(c.line.c_str(), &output);
    EXPECT_EQ(code, 0) << c.line;
    EXPECT_EQ(output, Expected(c.count, c.parameters, probe)) << c.line;
  }
}

// Wine reports this child's path without the prefix already; the rule itself is checked in
// ProgramPathDropsOnlyALeadingLongPathPrefix. What counts here: the path comes back plain.
TEST(CommandLineLiveTest, ProgramPathOfAChildStartedThroughALongPathPrefix) {
  const std::string probe = PathBesideExecutable("command_line_probe.exe");
  std::string output;
  const int code = RunChild(("\"\\\\?\\" + probe + "\" x").c_str(), &output);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(output, Expected(1, {"x"}, probe));
}

TEST(CommandLineLiveTest, ThisProcessCountsItsOwnCommandLine) {
  EXPECT_EQ(runtime::ParameterCount(), runtime::ParameterCountOf(GetCommandLineA()))
      << GetCommandLineA();
  const std::string own = PathBesideExecutable("command_line_test.exe");
  EXPECT_EQ(std::string(runtime::ProgramPath().CStr()), own);
}

}  // namespace

#pragma once
// The program's own path and the parameters it was started with, split by the tool's own
// rules (only the space separates; a double quote groups; no escape character). The command
// line is never copied or changed: every call scans it again from its first byte.
#include <cstddef>
#include <cstdint>

#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// One stretch of the command line: its first byte and its length in bytes.
struct CommandLineToken {
  const char* first = nullptr;
  std::size_t length = 0;
};

// What one scan ends with: the token counter (tokens less one when nothing was wanted) and,
// when a parameter number was wanted and found, that parameter's token.
struct CommandLineScan {
  std::int32_t counter = -1;
  bool found = false;
  CommandLineToken token;
};

// Scans `line` (null counts as empty). With `wanted` >= 0 the scan stops at parameter number
// `wanted` (0 = the first after the executable's name). Allocates nothing.
CommandLineScan ScanCommandLine(const char* line, std::int32_t wanted);

// The number of the parameter that NextParameter hands out next; only NextParameter raises it.
struct ParameterCursor {
  std::int32_t nextIndex = 0;
};

// The parameter count and the next parameter of a given command line text.
std::int32_t ParameterCountOf(const char* line);
Text NextParameterOf(const char* line, ParameterCursor& cursor);

// Every parameter of `line` with one blank in front, then the leading blanks trimmed: the
// add-on path as the run joins it from the process's parameters.
Text JoinedParametersOf(const char* line);

// The "\\?\" rule applied to the `count` characters a platform path query reported.
Text ProgramPathFrom(const char* reported, std::size_t count);

// The same two over UTF-16 units, by the same rules, with no conversion on the way: every unit
// of the player's path, an unpaired surrogate too, arrives as it was. The joined parameters are
// absent only when memory runs out.
WideText JoinedParametersOf(const wchar_t* line);
WideText ProgramPathFrom(const wchar_t* reported, std::size_t count);

// The process-wide cursor, zero at process start.
ParameterCursor& ProcessParameterCursor();

// Over the process's own command line and executable (GetCommandLineA, GetModuleFileNameA).
// ProgramPath is empty when the platform cannot give it or had to cut it.
Text ProgramPath();
std::int32_t ParameterCount();  // tokens less one; -1 for an empty command line
Text NextParameter();         // the empty text once the parameters are used up

// The program's path in UTF-16 (GetModuleFileNameW), by the same rules as ProgramPath: the one
// that leads to its folder whatever the ANSI code page can hold, however long. Empty when the
// platform cannot give it.
WideText WideProgramPath();

// The parameters of the Unicode command line (GetCommandLineW), split and joined by the same
// rules as JoinedParametersOf: the add-on's path exactly as the player opened it. The ANSI
// command line is Windows' best fit of this one.
WideText WideJoinedParameters();

}  // namespace runtime

#include <windows.h>

#include "runtime/command_line.h"

namespace runtime {

namespace {
constexpr DWORD kPathBufferSize = 260;
}  // namespace

Text ProgramPath() {
  char buffer[kPathBufferSize];
  DWORD count = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, kPathBufferSize);
  // A path that filled the buffer was cut by the platform; its folder would be the wrong one.
  if (count >= kPathBufferSize) count = 0;
  return ProgramPathFrom(buffer, count);
}

WideText WideProgramPath() {
  wchar_t buffer[kPathBufferSize];
  DWORD count = GetModuleFileNameW(GetModuleHandleA(nullptr), buffer, kPathBufferSize);
  if (count >= kPathBufferSize) count = 0;
  // The "\\?\" rule of ProgramPathFrom, over the same characters in UTF-8.
  const Text utf8 = Utf8FromWide(WideText(buffer, count));
  const Text path = ProgramPathFrom(utf8.CStr(), utf8.Length());
  return WideFromUtf8(path);
}

std::int32_t ParameterCount() { return ParameterCountOf(GetCommandLineA()); }

Text NextParameter() { return NextParameterOf(GetCommandLineA(), ProcessParameterCursor()); }

WideText WideJoinedParameters() {
  // In UTF-8 the rules' bytes (the blank and the double quote) are never part of another
  // character, so the split is the same as over the UTF-16 units.
  const Text line = Utf8FromWide(WideText(GetCommandLineW()));
  if (line.IsAbsent()) return WideText();
  return WideFromUtf8(JoinedParametersOf(line.CStr()));
}

}  // namespace runtime

#include <windows.h>

#include "runtime/command_line.h"
#include "runtime/memory.h"

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
  // The longest path the platform has; one it had to cut would lead to another folder.
  constexpr DWORD kLongestPath = 32768;
  auto* buffer = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * kLongestPath));
  if (buffer == nullptr) return WideText(L"");
  DWORD count = GetModuleFileNameW(GetModuleHandleA(nullptr), buffer, kLongestPath);
  if (count >= kLongestPath) count = 0;
  const WideText path = ProgramPathFrom(buffer, count);
  Release(buffer);
  return path;
}

std::int32_t ParameterCount() { return ParameterCountOf(GetCommandLineA()); }

Text NextParameter() { return NextParameterOf(GetCommandLineA(), ProcessParameterCursor()); }

WideText WideJoinedParameters() { return JoinedParametersOf(GetCommandLineW()); }

}  // namespace runtime

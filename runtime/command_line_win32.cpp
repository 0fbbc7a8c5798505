#include <windows.h>

#include "runtime/command_line.h"

namespace runtime {

namespace {
constexpr DWORD kPathBufferSize = 260;
}

Text ProgramPath() {
  char buffer[kPathBufferSize];
  DWORD count = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, kPathBufferSize);
  // A path that filled the buffer was cut by the platform; its folder would be the wrong one.
  if (count >= kPathBufferSize) count = 0;
  return ProgramPathFrom(buffer, count);
}

std::int32_t ParameterCount() { return ParameterCountOf(GetCommandLineA()); }

Text NextParameter() { return NextParameterOf(GetCommandLineA(), ProcessParameterCursor()); }

}  // namespace runtime

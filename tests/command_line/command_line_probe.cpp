// Prints what the command-line service makes of this process's own command line: the count,
// count + 2 successive parameters (the last two must be empty), the count again and the
// program's path, one per line.
#include <cstdio>

#include "runtime/command_line.h"

int main() {
  using namespace runtime;
  const std::int32_t count = ParameterCount();
  std::printf("count %d\n", static_cast<int>(count));
  for (std::int32_t i = 0; i < count + 2; ++i) {
    const Text parameter = NextParameter();
    std::printf("[%s]\n", parameter.CStr());
  }
  std::printf("count %d\n", static_cast<int>(ParameterCount()));
  std::printf("path %s\n", ProgramPath().CStr());
  return 0;
}

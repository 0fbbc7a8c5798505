#include <windows.h>

#include "runtime/code_page.h"

namespace runtime {

LeadBytes AnsiLeadBytes() {
  LeadBytes leadBytes;
  CPINFO info;
  if (!GetCPInfo(CP_ACP, &info)) return leadBytes;
  for (std::size_t i = 0; i < sizeof leadBytes.ranges && i < MAX_LEADBYTES; ++i) {
    leadBytes.ranges[i] = info.LeadByte[i];
  }
  return leadBytes;
}

}  // namespace runtime

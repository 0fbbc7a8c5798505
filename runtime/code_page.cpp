#include "runtime/code_page.h"

namespace runtime {

bool IsLeadByte(const LeadBytes& leadBytes, unsigned char byte) {
  for (std::size_t i = 0; i + 1 < sizeof leadBytes.ranges && leadBytes.ranges[i] != 0; i += 2) {
    if (byte >= leadBytes.ranges[i] && byte <= leadBytes.ranges[i + 1]) return true;
  }
  return false;
}

std::size_t CharacterLength(const LeadBytes& leadBytes, const char* bytes) {
  return IsLeadByte(leadBytes, static_cast<unsigned char>(bytes[0])) && bytes[1] != '\0' ? 2 : 1;
}

}  // namespace runtime

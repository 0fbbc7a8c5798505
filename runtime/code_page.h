#pragma once
// The lead bytes of the ANSI code page. In a double-byte code page (932, 936, 949, 950) such a
// byte starts a character of two bytes, and the second one may be 0x5C, the backslash, or a bar
// or a letter. The path rules walk a text character by character with them; only the platform
// layer asks the system which they are.
#include <cstddef>
#include <cstdint>

namespace runtime {

// Up to five ranges of lead bytes, the first and the last byte of each, as the system reports
// them; a range that starts with 0 ends the list. No ranges: a single-byte code page, 1252.
struct LeadBytes {
  std::uint8_t ranges[12] = {};
};

inline constexpr LeadBytes kNoLeadBytes{};

// True when `byte` starts a character of two bytes.
bool IsLeadByte(const LeadBytes& leadBytes, unsigned char byte);

// The length in bytes of the character that starts at `bytes`: 2 for a lead byte with a byte
// after it, else 1 (a lead byte just before the terminating zero stands alone).
std::size_t CharacterLength(const LeadBytes& leadBytes, const char* bytes);

// The lead bytes of the system's ANSI code page (GetCPInfo); none when it cannot tell.
LeadBytes AnsiLeadBytes();

}  // namespace runtime

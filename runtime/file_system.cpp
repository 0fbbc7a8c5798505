#include "runtime/file_system.h"

namespace runtime {

namespace {

constexpr std::size_t kQueryLength = 260;
constexpr std::uint32_t kDirectoryBit = 0x10;           // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kNoAttributes = 0xFFFFFFFFu;     // INVALID_FILE_ATTRIBUTES
constexpr unsigned kNoRootDirectory = 1;                 // DRIVE_NO_ROOT_DIR (0 is unknown)

// The temporary file's own name: whose it is, a number that keeps two copies apart, and a kind.
constexpr char kOwnPrefix[] = "~PakInstaller-";
constexpr std::size_t kOwnPrefixLength = sizeof kOwnPrefix - 1;
constexpr std::size_t kDigits = 8;
constexpr char kOwnSuffix[] = ".tmp";
constexpr std::size_t kOwnNameLength = kOwnPrefixLength + kDigits + sizeof kOwnSuffix - 1;

void WriteHex(std::uint32_t value, std::size_t digits, char* out) {
  static const char kHex[] = "0123456789abcdef";
  for (std::size_t i = digits; i > 0; --i) {
    out[i - 1] = kHex[value & 0xF];
    value >>= 4;
  }
}

}  // namespace

std::int64_t BytesBeforeNextFlush(std::int64_t bytes, std::uint32_t ms) {
  constexpr std::int64_t kLeast = std::int64_t{1} << 20;
  constexpr std::int64_t kMost = std::int64_t{256} << 20;
  constexpr std::int64_t kAimMs = 250;
  // The clock ticks in steps of about 16 ms: a quicker flush is no sign of a quicker disk.
  constexpr std::uint32_t kClockStepMs = 16;
  if (bytes < kLeast) bytes = kLeast;
  const std::int64_t wanted = bytes * kAimMs / (ms < kClockStepMs ? kClockStepMs : ms);
  // A disk that sped up only for a moment (its own cache) is trusted by doubling at most.
  const std::int64_t most = bytes * 2 < kMost ? bytes * 2 : kMost;
  return wanted < kLeast ? kLeast : wanted > most ? most : wanted;
}

void TemporaryFileName(std::uint32_t value, std::size_t room, char* out) {
  char own[kOwnNameLength + 1] = {};
  for (std::size_t i = 0; i < kOwnPrefixLength; ++i) own[i] = kOwnPrefix[i];
  WriteHex(value, kDigits, own + kOwnPrefixLength);
  for (std::size_t i = 0; kOwnSuffix[i] != '\0'; ++i) {
    own[kOwnPrefixLength + kDigits + i] = kOwnSuffix[i];
  }

  std::size_t length = room < kOwnNameLength ? room : kOwnNameLength;
  if (length > kOwnPrefixLength) {
    for (std::size_t i = 0; i < length; ++i) out[i] = own[i];
  } else {
    // Too little room to say whose it is: "~" and digits, as few as 3 so that the name stays
    // unlikely to be taken.
    const std::size_t digits = length < 4 ? 3 : length - 1 > kDigits ? kDigits : length - 1;
    out[0] = '~';
    WriteHex(value, digits, out + 1);
    length = digits + 1;
  }
  out[length] = '\0';
}

namespace {

// One character of the path: two bytes for a lead byte of a double-byte code page, and one
// UTF-16 unit always (no half of a pair is ever a backslash).
std::size_t StepOver(const LeadBytes& leadBytes, const char* at) {
  return CharacterLength(leadBytes, at);
}
std::size_t StepOver(const LeadBytes&, const wchar_t*) { return 1; }

// The rules of the size query, for ANSI and for UTF-16 paths alike.
template <typename Char, typename Calls>
std::int64_t QueryOver(const Calls& calls, const Char* path, const LeadBytes& leadBytes) {
  Char copy[kQueryLength + 1];
  std::size_t length = 0;
  while (length < kQueryLength && path[length] != 0) {
    copy[length] = path[length];
    ++length;
  }
  copy[length] = 0;
  if (length == 0) return kNothingFound;

  // "C:" and "C:\" (or "C:x") name a drive: only the drive type decides.
  if ((length == 2 || length == 3) && copy[1] == ':') {
    if (length == 2) {
      copy[2] = '\\';
      copy[3] = 0;
    }
    return calls.driveType(copy) <= kNoRootDirectory ? kNothingFound : kDirectory;
  }

  // Up to the end of the last character that is not a backslash.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < length;) {
    const std::size_t characterLength = StepOver(leadBytes, copy + i);
    if (characterLength == 2 || copy[i] != '\\') kept = i + characterLength;
    i += characterLength;
  }
  copy[kept] = 0;

  std::uint32_t attributes = 0;
  std::uint32_t sizeHigh = 0;
  std::uint32_t sizeLow = 0;
  if (calls.findFirst(copy, &attributes, &sizeHigh, &sizeLow)) {
    if (attributes & kDirectoryBit) return kDirectory;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow);
  }
  // The search never finds the root of a network share; its attributes still say directory.
  if (copy[0] == '\\' && copy[1] == '\\') {
    const std::uint32_t shareAttributes = calls.attributes(copy);
    if (shareAttributes != kNoAttributes && (shareAttributes & kDirectoryBit)) return kDirectory;
  }
  return kNothingFound;
}

}  // namespace

std::int64_t QueryFileSizeWith(const FileQueryCalls& calls, const Text& path,
                               const LeadBytes& leadBytes) {
  if (path.IsEmpty()) return kNothingFound;
  return QueryOver(calls, path.CStr(), leadBytes);
}

std::int64_t QueryFileSizeWith(const WideFileQueryCalls& calls, const WideText& path) {
  if (path.IsEmpty()) return kNothingFound;
  // A longer path is never judged by its first part, which may name another file or folder.
  std::size_t named = path.Length();
  while (named > 0 && path.CStr()[named - 1] == L'\\') --named;
  if (named > kQueryLength) return kNothingFound;
  return QueryOver(calls, path.CStr(), kNoLeadBytes);
}

}  // namespace runtime

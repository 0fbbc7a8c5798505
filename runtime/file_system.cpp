#include "runtime/file_system.h"

namespace runtime {

namespace {

constexpr std::size_t kQueryLength = 260;
constexpr std::uint32_t kDirectoryBit = 0x10;           // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kNoAttributes = 0xFFFFFFFFu;     // INVALID_FILE_ATTRIBUTES
constexpr unsigned kNoRootDirectory = 1;                 // DRIVE_NO_ROOT_DIR (0 is unknown)

}  // namespace

std::int64_t QueryFileSizeWith(const FileQueryCalls& calls, const Text& path,
                               const LeadBytes& leadBytes) {
  if (path.IsEmpty()) return kNothingFound;

  char copy[kQueryLength + 1];
  const char* bytes = path.CStr();
  std::size_t length = 0;
  while (length < kQueryLength && bytes[length] != '\0') {
    copy[length] = bytes[length];
    ++length;
  }
  copy[length] = '\0';
  if (length == 0) return kNothingFound;

  // "C:" and "C:\" (or "C:x") name a drive: only the drive type decides.
  if ((length == 2 || length == 3) && copy[1] == ':') {
    if (length == 2) {
      copy[2] = '\\';
      copy[3] = '\0';
    }
    return calls.driveType(copy) <= kNoRootDirectory ? kNothingFound : kDirectory;
  }

  // Up to the end of the last character that is not a backslash.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < length;) {
    const std::size_t characterLength = CharacterLength(leadBytes, copy + i);
    if (characterLength == 2 || copy[i] != '\\') kept = i + characterLength;
    i += characterLength;
  }
  copy[kept] = '\0';

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

}  // namespace runtime

// Any bytes as a path: each path operation gives a piece of its argument with the shape its
// rule promises, and the text operations keep lengths and bytes as they say.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/text.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = bytes.substr(0, bytes.find('\0'));
  const runtime::Text text(path.c_str());
  const std::size_t start = !path.empty() && path[0] == '"' ? 1 : 0;

  const runtime::Text directory = runtime::PathDirectory(text);
  const std::string dir(directory.CStr(), directory.Length());
  Check(path.compare(start, dir.size(), dir) == 0);
  Check(dir.empty() || IsSeparator(dir.back()));
  Check(dir.find('|') == std::string::npos);

  const runtime::Text fileName = runtime::PathFileName(text);
  const std::string name(fileName.CStr(), fileName.Length());
  Check(name.find_first_of("\\/\"") == std::string::npos);
  Check(path.find(name, start) != std::string::npos);

  const runtime::Text extension = runtime::PathExtension(text);
  const std::string ext(extension.CStr(), extension.Length());
  Check(ext.find_first_of(".\\/\"") == std::string::npos);
  Check(ext.empty() || path.find("." + ext) != std::string::npos);

  const runtime::Text trimmed = runtime::TrimLeadingSpaces(text);
  const std::string trim(trimmed.CStr(), trimmed.Length());
  Check(trim.empty() || trim[0] != ' ');
  Check(path.size() >= trim.size() && path.compare(path.size() - trim.size(), trim.size(), trim) == 0);

  const runtime::Text lowered = runtime::LowerCase(text);
  Check(lowered.Length() == path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto in = static_cast<unsigned char>(path[i]);
    const auto out = static_cast<unsigned char>(lowered.CStr()[i]);
    const bool upper = (in >= 0x41 && in <= 0x5A) || (in >= 0xC0 && in <= 0xDE);
    Check(out == (upper ? in + 0x20 : in));
  }

  const runtime::Text joined = directory + fileName;
  Check(joined.Length() == dir.size() + name.size());
  Check(joined == runtime::Text((dir + name).c_str()));
  return 0;
}

#include "installer/setup/folder_path.h"

namespace setup {

std::size_t FirstNameAt(const wchar_t* path) {
  const wchar_t letter = static_cast<wchar_t>(path[0] | 0x20);
  const bool drive = letter >= L'a' && letter <= L'z' && path[1] == L':' && path[2] == L'\\';
  return drive ? 3 : 0;
}

bool NextName(const wchar_t* path, std::size_t at, std::size_t* begin, std::size_t* end) {
  while (path[at] == L'\\') ++at;
  if (path[at] == L'\0') return false;
  *begin = at;
  while (path[at] != L'\0' && path[at] != L'\\') ++at;
  *end = at;
  return true;
}

}  // namespace setup

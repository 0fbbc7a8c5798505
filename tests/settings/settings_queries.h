#pragma once
// The groups and keys that a fuzzer asks a settings store for: those the input's own lines
// spell, as the 8-bit callers would pass them, and the run's own. Shared by the fuzz targets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace settings_queries {

inline std::string SwapCase(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return s;
}

inline std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Names and keys as the file's lines spell them; the 8-bit callers would pass them the same.
// Every selection reads every key: up to `most` of each keep the run fast.
inline void Queries(const std::uint8_t* data, std::size_t size, std::vector<std::string>* groups,
                    std::vector<std::string>* keys, std::size_t most = 12) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start < all.size() && groups->size() < most && keys->size() < most) {
    std::size_t end = all.find_first_of("\r\n", start);
    if (end == std::string::npos) end = all.size();
    const std::string line = Trim(all.substr(start, end - start));
    if (!line.empty() && line[0] == '[') {
      groups->push_back(line.substr(1, line.find(']') == std::string::npos
                                           ? std::string::npos
                                           : line.find(']') - 1));
    } else if (!line.empty() && line[0] != ';') {
      keys->push_back(Trim(line.substr(0, line.find('='))));
    }
    start = end + 1;
  }
  groups->push_back("Tavelmark");
  keys->push_back("default_pakset");
  keys->push_back("morvenholt_directory");
}

}  // namespace settings_queries

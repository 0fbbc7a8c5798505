// Feeds arbitrary bytes to the settings parser as a whole file, then asks it for the groups and
// keys that the same bytes spell (as written, case-swapped, and a few fixed ones), checking
// the rules that hold for every file. A last byte from F0 up makes one allocation fail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/settings_store.h"

namespace {

using runtime::SettingsStore;
using runtime::Text;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string SwapCase(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return s;
}

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Names and keys as the file's lines spell them; the 8-bit callers would pass them the same.
void Queries(const std::uint8_t* data, std::size_t size, std::vector<std::string>* groups,
             std::vector<std::string>* keys) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  // Every selection reads every key: a few of each keep the run fast.
  while (start < all.size() && groups->size() < 12 && keys->size() < 12) {
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

void ReadAll(const SettingsStore& store, const std::vector<std::string>& keys,
             bool expectDefaults) {
  const bool plain = store.Encoding() == runtime::kSettingsPlain;
  const Text fallback("\xE4 default ");
  for (const std::string& key : keys) {
    for (const std::string& spelled : {key, SwapCase(key)}) {
      const Text value = store.Read(Text(spelled.c_str()), fallback);
      if (expectDefaults) Check(value == fallback);
      // Values never keep blanks at their ends; the default is the only exception.
      if (!(value == fallback) && value.Length() > 0) {
        const char last = value.CStr()[value.Length() - 1];
        Check(last != ' ' && last != '\t');
        // A UTF-8 store may decode an overlong form into a leading blank.
        if (plain) Check(value.CStr()[0] != ' ' && value.CStr()[0] != '\t');
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> groups;
  std::vector<std::string> keys;
  Queries(data, size, &groups, &keys);

  SettingsStore store;
  // With a failure armed, texts and names may go missing, so only the safety is checked.
  const bool failing = size > 0 && data[size - 1] >= 0xF0;
  if (failing) runtime::FailAllocationAfter(data[size - 1] - 0xEF);
  // An exact-size copy, so reading past the content's end is caught.
  std::vector<char> bytes(data, data + size);
  Check(runtime::OpenSettingsBytes(store, bytes.data(), bytes.size()) == 1);

  ReadAll(store, keys, false);
  for (const std::string& group : groups) {
    for (const std::string& spelled : {group, SwapCase(group)}) {
      const std::int32_t selected = store.SelectGroup(Text(spelled.c_str()));
      ReadAll(store, keys, !selected && !failing);  // a failed selection hides every entry
    }
  }
  Check(store.SelectGroup(Text("")) == 1 || failing);
  ReadAll(store, keys, false);
  store.Close();
  runtime::FailAllocationAfter(0);
  Check(store.SelectGroup(Text("")) == 0);
  return 0;
}

// Feeds arbitrary bytes to the settings parser as a whole file, then asks it for the groups and
// keys that the same bytes spell (as written, case-swapped, and a few fixed ones), checking
// the rules that hold for every file. A last byte from F0 up makes one allocation fail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/settings_store.h"
#include "tests/settings/settings_queries.h"

namespace {

using runtime::SettingsStore;
using runtime::Text;
using settings_queries::Queries;
using settings_queries::SwapCase;

void Check(bool condition) {
  if (!condition) std::abort();
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

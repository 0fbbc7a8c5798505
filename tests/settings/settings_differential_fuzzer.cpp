// Holds the runtime's settings store against the reference store (the earlier one, which
// parsed every line into a record at open): both get the same bytes and the same calls, and
// the first answer in which they differ stops the run. The calls select the groups and read
// the keys that the bytes spell (as written, and case-swapped), reopen on the input's second
// half, and close. A last byte from F0 up makes the same allocation fail in both runs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/settings_store.h"
#include "tests/settings/reference/settings_store.h"
#include "tests/settings/settings_queries.h"

namespace {

using runtime::Text;
using settings_queries::SwapCase;

struct Calls {
  std::vector<std::string> groups;
  std::vector<std::string> keys;
};

void Differ(const char* what, const std::string& runtime, const std::string& reference) {
  std::fprintf(stderr, "stores differ in %s\nruntime:   %s\nreference: %s\n", what,
               runtime.c_str(), reference.c_str());
  std::abort();
}

// Every answer of one store in order: the results of opening and selecting, and each value
// read in brackets, or "absent".
template <class Store>
std::string Transcript(const std::vector<char>& bytes, const Calls& calls, int failing) {
  Store store;
  runtime::FailAllocationAfter(failing);
  std::string out;
  const Text fallback("\xE4 default ");
  const auto read = [&](const std::string& key) {
    const Text value = store.Read(Text(key.c_str()), fallback);
    out += value.IsAbsent() ? "absent" : "[" + std::string(value.CStr(), value.Length()) + "]";
  };
  // Every key as written, or case-swapped (the selections of case-swapped names read those).
  const auto read_all = [&](bool swapped) {
    for (const std::string& key : calls.keys) read(swapped ? SwapCase(key) : key);
    out += '\n';
  };
  const auto select = [&](const std::string& group, bool swapped) {
    out += "select " + std::to_string(store.SelectGroup(Text(group.c_str()))) + ": ";
    read_all(swapped);
  };

  out += "open " + std::to_string(OpenSettingsBytes(store, bytes.data(), bytes.size())) + ": ";
  read_all(false);
  read_all(true);
  for (const std::string& group : calls.groups) {
    select(group, false);
    select(SwapCase(group), true);
  }
  select("", false);
  // Reopening an open store starts afresh, here somewhere inside a line.
  const std::size_t half = bytes.size() / 2;
  out += "reopen " +
         std::to_string(OpenSettingsBytes(store, bytes.data() + half, bytes.size() - half)) +
         ": ";
  read_all(false);
  select(calls.groups.front(), true);
  store.Close();
  select("", false);
  runtime::FailAllocationAfter(0);
  return out;
}

// The reference's records and the runtime's lines, one per line of text.
std::string ReferenceLines(const reference::SettingsStore& store) {
  std::string out;
  for (const reference::SettingsRecord* r = store.FirstRecord(); r != nullptr; r = r->next) {
    out += std::to_string(static_cast<int>(r->kind)) + "[" + (r->key ? r->key : "") + "][" +
           r->text + "]\n";
  }
  return out;
}

std::string RuntimeLines(const runtime::SettingsStore& store) {
  std::string out;
  const char* const end = store.Content() + store.ContentSize();
  for (const char* p = store.Content(); p < end;) {
    const runtime::SettingsLine line = runtime::ReadSettingsLine(p, end);
    p = line.next;
    if (line.kind == runtime::SettingsLineKind::kBlank) continue;
    out += std::to_string(static_cast<int>(line.kind)) + "[" +
           std::string(line.key ? line.key : "", line.key_length) + "][" +
           std::string(line.text, line.text_length) + "]\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Calls calls;
  // Fewer calls than the other settings fuzzer makes: two stores answer each, and many
  // different inputs find more than many calls on one.
  settings_queries::Queries(data, size, &calls.groups, &calls.keys, 6);
  const int failing = size > 0 && data[size - 1] >= 0xF0 ? data[size - 1] - 0xEF : 0;
  // An exact-size copy, so reading past the content's end is caught.
  const std::vector<char> bytes(data, data + size);

  const std::string runtime = Transcript<runtime::SettingsStore>(bytes, calls, failing);
  const std::string reference = Transcript<reference::SettingsStore>(bytes, calls, failing);
  if (runtime != reference) Differ("their answers", runtime, reference);

  runtime::SettingsStore store;
  reference::SettingsStore oracle;
  runtime::OpenSettingsBytes(store, bytes.data(), bytes.size());
  reference::OpenSettingsBytes(oracle, bytes.data(), bytes.size());
  if (RuntimeLines(store) != ReferenceLines(oracle)) {
    Differ("the lines they read", RuntimeLines(store), ReferenceLines(oracle));
  }
  return 0;
}

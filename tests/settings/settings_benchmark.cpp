// Parse time of a 10 MB settings file: groups, comments, entries with odd spacing and CR LF,
// read from memory so that only the parser and the record list are timed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/settings_store.h"

int main() {
  std::string content = "\xEF\xBB\xBF; generated\r\n";
  for (int group = 0; content.size() < 10u * 1024 * 1024; ++group) {
    content += "[Group " + std::to_string(group) + "]\r\n; a comment line\r\n";
    for (int i = 0; i < 20; ++i) {
      content += "  key_" + std::to_string(i) + " \t=  C:\\Spiele\\Morvenholt\\pak" +
                 std::to_string(group) + "\\gr\xC3\xBC\xC3\x9F" "e  \r\n\r\n";
    }
  }
  content += "[Tavelmark]\r\ndefault_pakset = pak128\r\n";

  std::vector<double> parse_ms;
  std::vector<double> lookup_ms;
  std::size_t records = 0;
  for (int round = 0; round < 15; ++round) {
    runtime::SettingsStore store;
    const auto t0 = std::chrono::steady_clock::now();
    runtime::OpenSettingsBytes(store, content.data(), content.size());
    const auto t1 = std::chrono::steady_clock::now();
    // The last group of the file: the worst case of a lookup walk.
    store.SelectGroup(runtime::Text("Tavelmark"));
    const runtime::Text value = store.Read(runtime::Text("default_pakset"), runtime::Text("pak"));
    const auto t2 = std::chrono::steady_clock::now();
    if (!(value == runtime::Text("pak128"))) return 1;
    records = 0;
    for (const runtime::SettingsRecord* r = store.FirstRecord(); r; r = r->next) ++records;
    parse_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    lookup_ms.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }
  std::sort(parse_ms.begin(), parse_ms.end());
  std::sort(lookup_ms.begin(), lookup_ms.end());
  std::printf("content %zu bytes, %zu records\n", content.size(), records);
  std::printf("open+parse: min %.1f ms, median %.1f ms\n", parse_ms.front(), parse_ms[7]);
  std::printf("select+read of the last group: min %.1f ms, median %.1f ms\n", lookup_ms.front(),
              lookup_ms[7]);
  return 0;
}

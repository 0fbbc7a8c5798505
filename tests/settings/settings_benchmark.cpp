// Open, selection of the last group and the run's two reads on a 10 MB settings file, through
// the runtime's store and through the reference store, from memory so that only the stores
// are timed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/settings_store.h"
#include "tests/settings/reference/settings_store.h"

namespace {

std::string LargeContent() {
  std::string content = "\xEF\xBB\xBF; generated\r\n";
  for (int group = 0; content.size() < 10u * 1024 * 1024; ++group) {
    content += "[Group " + std::to_string(group) + "]\r\n; a comment line\r\n";
    for (int i = 0; i < 20; ++i) {
      content += "  key_" + std::to_string(i) + " \t=  C:\\Spiele\\Morvenholt\\pak" +
                 std::to_string(group) + "\\gr\xC3\xBC\xC3\x9F" "e  \r\n\r\n";
    }
  }
  return content + "[Tavelmark]\r\ndefault_pakset = pak128\r\nmorvenholt_directory = C:\\M\\\r\n";
}

template <class Store>
void Measure(const char* name, const std::string& content) {
  std::vector<double> open_ms;
  std::vector<double> lookup_ms;
  for (int round = 0; round < 15; ++round) {
    Store store;
    const auto t0 = std::chrono::steady_clock::now();
    OpenSettingsBytes(store, content.data(), content.size());
    const auto t1 = std::chrono::steady_clock::now();
    // The last group of the file: the worst case of a search.
    store.SelectGroup(runtime::Text("Tavelmark"));
    const runtime::Text a = store.Read(runtime::Text("default_pakset"), runtime::Text("pak"));
    const runtime::Text b = store.Read(runtime::Text("morvenholt_directory"), runtime::Text(""));
    const auto t2 = std::chrono::steady_clock::now();
    if (!(a == runtime::Text("pak128")) || !(b == runtime::Text("C:\\M\\"))) {
      std::printf("%s: wrong values\n", name);
      return;
    }
    open_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    lookup_ms.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }
  std::sort(open_ms.begin(), open_ms.end());
  std::sort(lookup_ms.begin(), lookup_ms.end());
  std::printf("%-9s open (copy included): median %.2f ms; select + two reads: median %.2f ms\n",
              name, open_ms[7], lookup_ms[7]);
}

}  // namespace

int main() {
  const std::string content = LargeContent();
  std::printf("content %zu bytes\n", content.size());
  Measure<runtime::SettingsStore>("runtime", content);
  Measure<reference::SettingsStore>("reference", content);
  return 0;
}

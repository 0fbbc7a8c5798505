// How FolderGuard.exe splits the path it goes down: a drive, then the folder names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/setup/folder_path.h"

namespace {

// The names of `path`, or none when it does not begin with a drive.
std::vector<std::wstring> NamesOf(const wchar_t* path) {
  std::vector<std::wstring> names;
  const std::size_t first = setup::FirstNameAt(path);
  std::size_t begin = 0;
  std::size_t end = first;
  while (first != 0 && setup::NextName(path, end, &begin, &end)) names.emplace_back(path + begin, path + end);
  return names;
}

TEST(FolderPath, NamesBelowTheDrive) {
  const struct {
    const wchar_t* path;
    std::vector<std::wstring> names;
  } rows[] = {
      {L"C:\\Program Files\\Offen\\PakInstaller", {L"Program Files", L"Offen", L"PakInstaller"}},
      {L"d:\\\\A\\\\B\\\\", {L"A", L"B"}},
      {L"C:\\ Gro\xdf" L"e Spiele ", {L" Gro\xdf" L"e Spiele "}},
      {L"C:\\", {}},
      {L"C:", {}},
      {L"C:Program Files", {}},
      {L"\\\\server\\share\\folder", {}},
      {L"\\\\?\\C:\\folder", {}},
      {L"1:\\folder", {}},
      {L"C:/Program Files", {}},
      {L"", {}},
  };
  int index = 0;
  for (const auto& row : rows) {
    EXPECT_EQ(NamesOf(row.path), row.names) << "row " << index++;
  }
}

}  // namespace

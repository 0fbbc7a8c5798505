#pragma once
// What the end-to-end tests expect of the tool, and the checks they share. The texts are
// written out here on purpose rather than taken from the program's own header, so that a
// changed byte in the program shows up. Windows-1252: 0xFC is ü.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/installer/installer_session.h"
#include "tests/ui_driver/ui_driver.h"

namespace installer_test {

inline const Box kBadGameDirectory{
    "Ung\xfc" "ltiges Morvenholtverzeichnis",
    "Das in der 'config.pref' angegebene Verzeichnis ist nicht vorhanden."};
inline const Box kNoAddOn{"Fehler!", "Dieser Anwendung muss mindestens ein Morvenholt-AddOn "
                                     "(*.pak) \xfc" "bergeben werden!"};
inline const Box kNotAnAddOn{"Fehler!", "Die der Anwendung \xfc" "bergebene Datei ist kein g\xfc"
                                        "ltiges Morvenholt-AddOn!"};
inline const Box kAddOnMissing{"Fehler", "Das \xfc" "bergebene File existiert nicht !"};
inline const Box kPakSetMissing{"Fehler", "Das angegebene PakSet Verzeichnis exestiert nicht!"};
inline Box Installed(const std::string& file) {
  return {"Fertig!", "Die Morvenholt-Erweiterung '" + file + "' wurde erfolgreich installiert."};
}
inline Box NotInstalled(const std::string& file) {
  return {"Fehler!",
          "Die Morvenhot-Erweiterung '" + file + "' konnte nicht erfolgreich installiert werden."};
}
inline const char* const kProgressCaption = "Morvenholt-Erweiterung wird installiert";
inline std::string ProgressLabel(const std::string& file) {
  return "Die Morvenholt-Erweiterung wird kopiert \x85\r\n" + file;
}
// Makes the existing file at `path` `size` bytes long; what is added reads as zeros and, as a
// sparse stretch, costs no disk, so that a big add-on can be had for the copy to write for real.
inline bool ExtendToSize(const std::filesystem::path& path, std::int64_t size) {
  const HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = size;
  const bool extended = SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
  CloseHandle(file);
  return extended;
}

inline const char* const kPromptCaption = "Pak-Set";
inline const char* const kPromptLabel = "Bitte Namen des Pak-Set Ordners angeben.";

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<cannot open>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Through the ANSI calls: the path's bytes (0xFC for ü) mean what they mean to the tool.
inline std::string ReadBytesAnsi(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Exactly the expected boxes, in their order, titles and texts byte for byte.
inline void ExpectBoxes(const Session& session, const std::vector<Box>& expected,
                        const std::string& account) {
  ASSERT_EQ(session.boxes.size(), expected.size()) << account;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ui::Hex(session.boxes[i].title), ui::Hex(expected[i].title))
        << "box " << i + 1 << " title \"" << ui::Printable(session.boxes[i].title) << "\"; "
        << account;
    EXPECT_EQ(ui::Hex(session.boxes[i].text), ui::Hex(expected[i].text))
        << "box " << i + 1 << " text \"" << ui::Printable(session.boxes[i].text) << "\"; "
        << account;
  }
}

// The Unix name of a Windows path, through Wine's own export; empty outside Wine.
inline std::string UnixName(const std::wstring& path) {
  using Convert = char*(CDECL*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
  if (convert == nullptr) return "";
  char* unix = convert(path.c_str());
  if (unix == nullptr) return "";
  std::string name = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return name;
}

// Starts a program of the Unix side (Wine starts those too, but hands back no handle to wait
// on), then waits until `done` holds, for `timeoutMs` at most.
template <typename Done>
bool RunUnix(const char* program, std::string line, Done done, DWORD timeoutMs = 15000) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  for (const DWORD start = GetTickCount(); !done(); Sleep(10)) {
    if (GetTickCount() - start > timeoutMs) return false;
  }
  return true;
}

}  // namespace installer_test

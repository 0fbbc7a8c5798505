// The players' setup under Wine: installed silently and through its wizard, the add-ons opened
// through the shell as a double-click does, upgraded, refused, and uninstalled. The bench prefix
// is shared with the other Wine tests, so every case ends with a full uninstall and removes
// the folders and keys it made.
#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "runtime/folder_access_win32.h"
#include "tests/installer/installer_checks.h"
#include "tests/installer/installer_session.h"
#include "tests/ui_driver/ui_driver.h"

namespace installer_test {
namespace {

using namespace std::string_literals;

const std::string kProgramFiles = "C:\\Program Files";
const std::string kDefaultInstallDir = kProgramFiles + "\\Morvenholt PakInstaller";
const std::string kGameDir = "C:\\Gro\xdf" "e Spiele\\Morvenholt";  // ß, a blank
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvenholt PakInstaller";
const std::string kProgId = "Morvenholt.AddOn";
// An installed config.pref as a player saves it in an editor: UTF-8 with a byte-order mark,
// the group in other letters, blanks around keys and values.
const std::string kConfigWithBom =
    "\xef\xbb\xbf; vom Spieler ge\xc3\xa4ndert\r\n[tavelmark]\r\n"
    "  MORVENHOLT_DIRECTORY = C:\\Gro\xc3\x9f" "e Spiele\\Morvenholt\\  \r\n\tdefault_pakset=pak64\r\n";
// A folder named in letters outside code page 1252 (Lodz with its Polish letters).
const std::wstring kLodz = L"C:\\Spiele\\\x141\xf3" L"d\x17a";
// An older version's install folder where anyone could write, and another program's folder.
const std::string kLinkedInstall = "C:\\Werkzeuge\\PakInstaller";
const std::string kOtherProgram = "C:\\Werkzeuge\\Anderes Programm";
// A folder under Program Files that every user may change, as games that loosen their folder's
// access list make them (under Wine: Unix mode 0777).
const std::string kOpenFolder = "C:\\Program Files\\Offen";
const std::string kAddOn = "MVPAK\x01\x00 trains of the northern line\r\n\x1a\xff"s;
constexpr int kWaitMs = 15000;

std::string SetupExe() { return ui::WindowsPath(SETUP_EXE); }

// ---- Registry -------------------------------------------------------------------------------

struct RegValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::string data;
};

RegValue ReadValue(const std::string& key, const std::string& name) {
  RegValue value;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return value;
  char buffer[2048];
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(buffer),
                       &size) == ERROR_SUCCESS) {
    value.present = true;
    if (value.type == REG_SZ && size > 0) size -= 1;  // the stored terminating zero
    value.data.assign(buffer, size);
  }
  RegCloseKey(handle);
  return value;
}

bool KeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void WriteString(const std::string& key, const std::string& name, const std::string& data) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                            nullptr), ERROR_SUCCESS) << key;
  RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>(data.size() + 1));
  RegCloseKey(handle);
}

// Every key the setup may make, for the check that none is left.
std::vector<std::string> SetupKeys() {
  return {"Software\\Classes\\" + kProgId, "Software\\Classes\\Applications\\PakInstaller.exe",
          kUninstallKey};
}

// ---- Files ----------------------------------------------------------------------------------

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteAnsi(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ui::Printable(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void MakeFolders(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    if (at == std::string::npos) break;
  }
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\" + name);
      } else {
        DeleteFileA((path + "\\" + name).c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

// The Unix name of a Windows path of the test's, which are ASCII.
std::string UnixName(const std::string& path) {
  return installer_test::UnixName(std::wstring(path.begin(), path.end()));
}

// `link` becomes a link to the folder `target`: a Unix symlink, which programs under Wine walk
// through as through an NTFS junction.
void LinkFolder(const std::string& link, const std::string& target) {
  const std::string to = UnixName(target);
  const std::string at = UnixName(link);
  ASSERT_FALSE(to.empty() || at.empty()) << "not under Wine";
  ASSERT_TRUE(RunUnix("Z:\\bin\\ln", "ln -sfn \"" + to + "\" \"" + at + "\"", [&] { return Exists(link); })) << at;
}

// The folder's access list and owner as Wine makes them up from its Unix mode, in SDDL.
std::string AccessOf(const std::string& path) {
  PSECURITY_DESCRIPTOR held = nullptr;
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr, nullptr, &held) !=
      ERROR_SUCCESS) {
    return "";
  }
  char* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorA(held, SDDL_REVISION_1, kWhat, &text, nullptr);
  const std::string sddl = text != nullptr ? text : "";
  LocalFree(text);
  LocalFree(held);
  return sddl;
}

// Makes `path` a folder that every user may change (`open`) or only read: under Wine, the Unix
// mode that stands for Everyone's entry in its access list.
void LetEveryoneChange(const std::string& path, bool open) {
  MakeFolders(path);
  const std::string at = UnixName(path);
  ASSERT_FALSE(at.empty()) << "not under Wine";
  const std::string everyone = open ? "0x1301ff;;;WD)" : "0x1200a9;;;WD)";
  ASSERT_TRUE(RunUnix("Z:\\bin\\chmod", std::string("chmod ") + (open ? "0777" : "0755") + " \"" + at + "\"",
                      [&] { return AccessOf(path).find(everyone) != std::string::npos; }))
      << at << ": " << AccessOf(path);
}

void RemoveLink(const std::string& link) {
  const std::string at = UnixName(link);
  // Also a link whose folder is gone, which looks to Windows like nothing at all.
  if (!at.empty()) RunUnix("Z:\\bin\\rm", "rm -f \"" + at + "\"", [&] { return !Exists(link); });
}

// Every file below `root` with its bytes, and every folder as "<dir>".
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((root + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries[name] = "<dir>";
      for (const auto& [path, bytes] : Snapshot(root + "\\" + name)) entries[name + "\\" + path] = bytes;
    } else {
      entries[name] = ReadBytesAnsi(root + "\\" + name);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return entries;
}

// The example config.pref as shipped (Windows-1252, CR LF) with the two values put in.
std::string ExpectedConfig(const std::string& gameDir, const std::string& pakSet) {
  const std::string source = ReadBytes(ui::WindowsPath(CONFIG_SOURCE));
  std::string out;
  std::string line;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const auto c = static_cast<unsigned char>(source[i]);
    if ((c & 0xE0) == 0xC0 && i + 1 < source.size()) {  // Latin-1 letters in UTF-8
      line += static_cast<char>(((c & 0x1F) << 6) | (source[++i] & 0x3F));
    } else if (c != '\n') {
      line += static_cast<char>(c);
    }
    if (c == '\n' || i + 1 == source.size()) {
      if (line.rfind("morvenholt_directory=", 0) == 0) line = "morvenholt_directory=" + gameDir + "\\";
      if (line.rfind("default_pakset=", 0) == 0) line = "default_pakset=" + pakSet;
      out += line + "\r\n";
      line.clear();
    }
  }
  return out;
}

// ---- Running the setup and its uninstaller --------------------------------------------------

// Runs the setup with exactly these arguments and returns its exit code (0xDEAD: it hung).
DWORD RunSetup(const std::string& arguments, DWORD* tookMs = nullptr) {
  ui::Program setup;
  const DWORD start = GetTickCount();
  if (!setup.Start("\"" + SetupExe() + "\" " + arguments)) return 0xBAD;
  DWORD code = 0xDEAD;
  if (!setup.WaitForExit(30000, &code)) setup.Kill();
  if (tookMs != nullptr) *tookMs = GetTickCount() - start;
  return code;
}

// The same, started through CreateProcessW as a shell or PowerShell starts it: the setup's
// Unicode command line holds names that the ANSI code page cannot.
DWORD RunSetupW(const std::wstring& arguments) {
  const std::string exe = SetupExe();
  std::wstring line = L"\"" + std::wstring(exe.begin(), exe.end()) + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return 0xBAD;
  }
  DWORD code = 0xDEAD;
  if (WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
  else TerminateProcess(info.hProcess, code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

// The uninstaller copies itself to %TEMP%\~nsuN.tmp and returns at once; the copy does the
// work. Waits for every such copy to end and for `removedFolder` to go, then removes the copies'
// folders.
void WaitForUninstallerCopies(const std::string& removedFolder) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "Un.exe") != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    EXPECT_EQ(WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0) << "the uninstaller never ended";
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  // The list alone has let a case go on while a copy was still at work (about 1 run in 10); the
  // folder it removes last tells that it is done.
  for (const DWORD start = GetTickCount(); Exists(removedFolder) && GetTickCount() - start < 2u * kWaitMs;) {
    Sleep(10);
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((std::string(temp) + "~nsu*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    RemoveTree(std::string(temp) + found.cFileName);
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

// Uninstalls the way Windows' list of programs does it unattended: its QuietUninstallString.
void Uninstall() {
  const RegValue quiet = ReadValue(kUninstallKey, "QuietUninstallString");
  ASSERT_TRUE(quiet.present) << "no uninstall entry";
  const std::string folder = ReadValue(kUninstallKey, "InstallLocation").data;
  ui::Program uninstaller;
  ASSERT_TRUE(uninstaller.Start(quiet.data)) << quiet.data;
  DWORD code = 0xDEAD;
  ASSERT_TRUE(uninstaller.WaitForExit(kWaitMs, &code));
  EXPECT_EQ(code, 0u);
  WaitForUninstallerCopies(folder);
}

void ExpectNothingInstalled(const std::string& installDir) {
  EXPECT_FALSE(Exists(installDir)) << ui::Printable(installDir) << " is still there";
  for (const std::string& key : SetupKeys()) EXPECT_FALSE(KeyExists(key)) << key << " is still there";
}

// Each case starts on a machine without the tool and leaves it so.
class SetupTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(KeyExists(kUninstallKey)) << "an earlier case left the tool installed";
    MakeFolders(kGameDir + "\\pak");
    MakeFolders(kGameDir + "\\pak64");
  }
  // Also after a failed case: the next one and the other Wine tests find the prefix as it was.
  void TearDown() override {
    if (KeyExists(kUninstallKey)) Uninstall();
    RemoveDirectoryW(kLodz.c_str());  // the ANSI names RemoveTree walks cannot reach it
    RemoveLink(kLinkedInstall);  // before RemoveTree could walk through it
    for (const std::string& folder :
         {"C:\\Gro\xdf" "e Spiele"s, "C:\\Spiele"s, "C:\\Werkzeuge"s, "C:\\AddOn Downloads"s,
          kProgramFiles + "\\Spiele Werkzeuge", kProgramFiles + "\\Spiele  Werkzeuge", kProgramFiles + "\\A",
          kProgramFiles + "\\B", kProgramFiles + " Werkzeuge", kDefaultInstallDir, kOpenFolder}) {
      RemoveTree(folder);
    }
    for (const char* owner : {"OtherGame.Pak", "Removed.Pak"}) {
      const std::string key = std::string("Software\\Classes\\") + owner;
      for (const char* sub : {"\\shell\\open\\command", "\\shell\\open", "\\shell", ""}) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + sub).c_str());
      }
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.pak\\OpenWithProgids");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.pak");
  }
};

// ---- Silent installs ------------------------------------------------------------------------

TEST_F(SetupTest, SilentInstallWritesTheFilesSettingsAndRegistry) {
  DWORD took = 0;
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64", &took), 0u);
  std::printf("silent install took %lu ms\n", static_cast<unsigned long>(took));

  const std::string dir = kDefaultInstallDir;
  const std::string exe = dir + "\\PakInstaller.exe";
  EXPECT_EQ(ReadBytesAnsi(exe), ReadBytes(ui::WindowsPath(INSTALLER_EXE))) << "the installed tool differs";
  EXPECT_TRUE(Exists(dir + "\\LIESMICH.txt"));
  EXPECT_TRUE(Exists(dir + "\\Deinstallieren.exe"));
  const std::string config = ReadBytesAnsi(dir + "\\config.pref");
  EXPECT_EQ(ui::Hex(config), ui::Hex(ExpectedConfig(kGameDir, "pak64"))) << ui::Printable(config);

  const std::string command = "\"" + exe + "\" \"%1\"";
  const std::string classes = "Software\\Classes\\";
  const struct {
    std::string key, name;
    DWORD type;
    std::string data;
  } expected[] = {
      {classes + ".pak", "", REG_SZ, kProgId},
      {classes + ".pak\\OpenWithProgids", kProgId, REG_NONE, ""},
      {classes + kProgId, "", REG_SZ, "Morvenholt-AddOn"},
      {classes + kProgId + "\\DefaultIcon", "", REG_SZ, exe + ",0"},
      {classes + kProgId + "\\shell\\open", "", REG_SZ, "Mit PakInstaller installieren"},
      {classes + kProgId + "\\shell\\open\\command", "", REG_SZ, command},
      {classes + "Applications\\PakInstaller.exe\\SupportedTypes", ".pak", REG_NONE, ""},
      {classes + "Applications\\PakInstaller.exe\\shell\\open\\command", "", REG_SZ, command},
      {kUninstallKey, "DisplayName", REG_SZ, "Morvenholt PakInstaller"},
      {kUninstallKey, "DisplayVersion", REG_SZ, SETUP_VERSION},
      {kUninstallKey, "DisplayIcon", REG_SZ, exe + ",0"},
      {kUninstallKey, "UninstallString", REG_SZ, "\"" + dir + "\\Deinstallieren.exe\""},
      {kUninstallKey, "QuietUninstallString", REG_SZ, "\"" + dir + "\\Deinstallieren.exe\" /S"},
  };
  for (const auto& e : expected) {
    const RegValue value = ReadValue(e.key, e.name);
    EXPECT_TRUE(value.present && value.type == e.type && value.data == e.data)
        << e.key << " [" << e.name << "]: present " << value.present << ", type " << value.type
        << ", \"" << ui::Printable(value.data) << "\"";
  }
  EXPECT_FALSE(ReadValue(kUninstallKey, "Publisher").data.empty());
  const RegValue size = ReadValue(kUninstallKey, "EstimatedSize");
  EXPECT_TRUE(size.type == REG_DWORD && size.data.size() == 4 && size.data != std::string(4, '\0'))
      << "EstimatedSize type " << size.type;
}

// However /GAME is spelled and quoted, config.pref gets the folder with exactly one trailing
// backslash. The options are split as Windows splits a command line: ', ` and / are letters.
TEST_F(SetupTest, SilentInstallTakesTheGameFolderAsSpelled) {
  const std::string odd = "C:\\Spiele\\O'Brien `n` Co";
  MakeFolders(odd);
  const struct {
    std::string arguments, written;
  } cases[] = {
      {"/GAME=" + kGameDir + "\\", kGameDir},
      {"/GAME=\"" + kGameDir + "\"", kGameDir},
      {"\"/GAME=" + kGameDir + "\" \"/PAKSET=pak\"", kGameDir},
      {"/GAME=C:\\Gro\xdf" "e Spiele\\.\\Morvenholt\\\\", kGameDir},
      {"/GAME=C:\\", "C:"},
      {"/GAME=" + odd, odd},
      {"/GAME=C:/Spiele/O'Brien `n` Co/ /PAKSET=pak", odd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ui::Printable(c.arguments));
    ASSERT_EQ(RunSetup("/S " + c.arguments), 0u);
    const std::string config = ReadBytesAnsi(kDefaultInstallDir + "\\config.pref");
    EXPECT_EQ(ui::Hex(config), ui::Hex(ExpectedConfig(c.written, "pak"))) << ui::Printable(config);
    Uninstall();
  }
}

// A game folder whose name the code page cannot hold goes into config.pref by its short name,
// never by the nearest letters (C:\Spiele\Lodz would be another folder).
TEST_F(SetupTest, SilentInstallNamesAGameFolderOutsideTheCodePageByItsShortName) {
  const std::wstring game = kLodz;
  MakeFolders("C:\\Spiele");
  ASSERT_TRUE(CreateDirectoryW(game.c_str(), nullptr));
  wchar_t shortName[MAX_PATH] = L"";
  ASSERT_NE(GetShortPathNameW(game.c_str(), shortName, MAX_PATH), 0u);
  const std::string written(shortName, shortName + lstrlenW(shortName));  // 8.3 names are ASCII

  ASSERT_EQ(RunSetupW(L"/S \"/GAME=" + game + L"\""), 0u);
  const std::string config = ReadBytesAnsi(kDefaultInstallDir + "\\config.pref");
  EXPECT_EQ(ui::Hex(config), ui::Hex(ExpectedConfig(written, "pak"))) << ui::Printable(config);
  EXPECT_TRUE(GetFileAttributesA(written.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << written;
  Uninstall();

  // A pak-set name has no short name to fall back on: refused, nothing installed.
  EXPECT_EQ(RunSetupW(L"/S \"/GAME=C:\\Gro\xdf" L"e Spiele\\Morvenholt\" /PAKSET=\x141\xf3" L"d\x17a"), 2u);
  ExpectNothingInstalled(kDefaultInstallDir);
}

// A missing game folder, and an install folder outside Program Files or inside or below a
// folder there that every user may change: there anyone could replace the program that later
// runs with administrator rights.
TEST_F(SetupTest, SilentInstallRefusesAMissingGameFolderOrAnUnsafeInstallFolder) {
  const std::string game = " /GAME=" + kGameDir;
  const std::string safe = kProgramFiles + "\\Spiele Werkzeuge";
  ASSERT_NO_FATAL_FAILURE(LetEveryoneChange(kOpenFolder, true));
  const struct {
    std::string arguments, dir;
  } cases[] = {
      {"/S /D=", safe},
      {"/S /GAME=C:\\Gibt es nicht /D=", safe},
      {"/S /GAME= /D=", safe},
      {"/S" + game + " /D=", "C:\\Werkzeuge\\PakInstaller"},
      {"/S" + game + " /D=", kProgramFiles + "\\..\\Werkzeuge"},
      {"/S" + game + " /D=", kProgramFiles + " Werkzeuge"},
      {"/S" + game + " /D=", kProgramFiles},
      {"/S" + game + " /D=", kOpenFolder + "\\PakInstaller"},
      {"/S" + game + " /D=", kOpenFolder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ui::Printable(c.arguments + c.dir));
    EXPECT_EQ(RunSetup(c.arguments + c.dir), 2u);
    EXPECT_FALSE(Exists(c.dir + "\\PakInstaller.exe"));
    for (const std::string& key : SetupKeys()) EXPECT_FALSE(KeyExists(key)) << key << " is there";
    EXPECT_FALSE(KeyExists("Software\\Classes\\.pak"));
  }
  EXPECT_FALSE(Exists("C:\\Werkzeuge")) << "the refused folder was made";
  EXPECT_FALSE(Exists(kOpenFolder + "\\PakInstaller")) << "the refused folder was made";
}

// A newer setup over an installed one replaces the program and keeps the player's settings
// unless new ones are given.
TEST_F(SetupTest, UpgradeKeepsConfigPref) {
  const std::string dir = kProgramFiles + "\\Spiele Werkzeuge\\PakInstaller";
  const std::string config = dir + "\\config.pref";
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + dir), 0u);
  // Read by the tool's rules: the same values, so the player's file stays as it is.
  const std::string kept = kConfigWithBom;
  WriteAnsi(config, kept);
  WriteAnsi(dir + "\\PakInstaller.exe", "an older build");

  EXPECT_EQ(RunSetup("/S /D=" + dir), 0u);
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(config)), ui::Hex(kept)) << ui::Printable(ReadBytesAnsi(config));
  EXPECT_EQ(ReadBytesAnsi(dir + "\\PakInstaller.exe"), ReadBytes(ui::WindowsPath(INSTALLER_EXE)))
      << "the program was not replaced";

  // A /GAME that is given fails the upgrade unless it names a folder; the old one is no fallback.
  for (const char* game : {"/GAME=C:\\Gibt es nicht", "/GAME=", "\"/GAME=\""}) {
    EXPECT_EQ(RunSetup("/S "s + game + " /PAKSET=pak /D=" + dir), 2u) << game;
    EXPECT_EQ(ui::Hex(ReadBytesAnsi(config)), ui::Hex(kept)) << game << " changed config.pref";
  }
  {
    // The tool still running holds its file: the setup fails instead of skipping it.
    HANDLE held = CreateFileA((dir + "\\PakInstaller.exe").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(RunSetup("/S /D=" + dir), 0u);
    CloseHandle(held);
  }

  EXPECT_EQ(RunSetup("/S /PAKSET=pak /D=" + dir), 0u);  // the game folder from the player's file
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(config)), ui::Hex(ExpectedConfig(kGameDir, "pak")))
      << ui::Printable(ReadBytesAnsi(config));
  // Each option quoted whole, as PowerShell and deployment tools write them.
  const std::string plain = "C:\\Spiele\\Plain Dir";
  MakeFolders(plain);
  EXPECT_EQ(RunSetup("/S \"/GAME=" + plain + "\" \"/PAKSET=pak64\" /D=" + dir), 0u);
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(config)), ui::Hex(ExpectedConfig(plain, "pak64")))
      << ui::Printable(ReadBytesAnsi(config));
  Uninstall();
  ExpectNothingInstalled(dir);
}

// .pak already has a default: an owner that exists keeps it, and PakInstaller is only offered;
// an owner whose ProgID is gone is replaced and given back on uninstall. (Wine's shell ignores
// OpenWithProgids, so the offer is checked in the registry.)
TEST_F(SetupTest, PakOwnedByAnotherProgram) {
  const struct {
    const char* name;
    bool ownerExists;
    const char* defaultWhileInstalled;
  } cases[] = {{"OtherGame.Pak", true, "OtherGame.Pak"}, {"Removed.Pak", false, "Morvenholt.AddOn"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string ownerKey = std::string("Software\\Classes\\") + c.name;
    WriteString("Software\\Classes\\.pak", "", c.name);
    if (c.ownerExists) WriteString(ownerKey + "\\shell\\open\\command", "", "notepad.exe \"%1\"");

    ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir), 0u);
    EXPECT_EQ(ReadValue("Software\\Classes\\.pak", "").data, c.defaultWhileInstalled);
    EXPECT_TRUE(ReadValue("Software\\Classes\\.pak\\OpenWithProgids", kProgId).present);
    EXPECT_TRUE(ReadValue("Software\\Classes\\Applications\\PakInstaller.exe\\SupportedTypes", ".pak").present);

    Uninstall();
    ExpectNothingInstalled(kDefaultInstallDir);
    EXPECT_EQ(ReadValue("Software\\Classes\\.pak", "").data, c.name);
    EXPECT_FALSE(ReadValue("Software\\Classes\\.pak\\OpenWithProgids", kProgId).present);
    EXPECT_EQ(KeyExists(ownerKey + "\\shell\\open\\command"), c.ownerExists);
    TearDown();
    SetUp();
  }
}

// The registry entries of an installation in `dir`, each a value naming the folder.
void ExpectRegisteredIn(const std::string& dir) {
  const std::string command = "\"" + dir + "\\PakInstaller.exe\" \"%1\"";
  const struct {
    std::string key, name, data;
  } expected[] = {
      {"Software\\Classes\\.pak", "", kProgId},
      {"Software\\Classes\\" + kProgId + "\\shell\\open\\command", "", command},
      {"Software\\Classes\\Applications\\PakInstaller.exe\\shell\\open\\command", "", command},
      {kUninstallKey, "InstallLocation", dir},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(ReadValue(e.key, e.name).data, e.data) << e.key << " [" << e.name << "]";
  }
  EXPECT_TRUE(ReadValue("Software\\Classes\\.pak\\OpenWithProgids", kProgId).present);
}

// The installation's registry entries made to name folder `to` instead of `from`.
void PointRegistrationAt(const std::string& from, const std::string& to) {
  const std::string classes = "Software\\Classes\\";
  const std::pair<std::string, std::string> values[] = {
      {classes + kProgId + "\\DefaultIcon", ""},
      {classes + kProgId + "\\shell\\open\\command", ""},
      {classes + "Applications\\PakInstaller.exe\\DefaultIcon", ""},
      {classes + "Applications\\PakInstaller.exe\\shell\\open\\command", ""},
      {kUninstallKey, "DisplayIcon"},
      {kUninstallKey, "InstallLocation"},
      {kUninstallKey, "UninstallString"},
      {kUninstallKey, "QuietUninstallString"}};
  for (const auto& [key, name] : values) {
    std::string data = ReadValue(key, name).data;
    const std::size_t at = data.find(from);
    ASSERT_NE(at, std::string::npos) << key << " [" << name << "]: " << data;
    WriteString(key, name, data.replace(at, from.size(), to));
  }
}

// What an older setup left: the installation moved to `to`, its registry entries with it.
void MoveInstallation(const std::string& from, const std::string& to) {
  MakeFolders(to.substr(0, to.rfind('\\')));
  ASSERT_TRUE(MoveFileA(from.c_str(), to.c_str())) << ui::Printable(to);
  PointRegistrationAt(from, to);
}

// There is one installation. A second one into another folder removes the first, taking over
// its settings; the first one's uninstaller, run afterwards, leaves the second as it is.
TEST_F(SetupTest, SecondInstallReplacesTheFirst) {
  const std::string first = kProgramFiles + "\\A";
  const std::string second = kProgramFiles + "\\B";
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + first), 0u);
  const std::string firstUninstaller = ReadBytesAnsi(first + "\\Deinstallieren.exe");

  ASSERT_EQ(RunSetup("/S /D=" + second), 0u);
  EXPECT_FALSE(Exists(first)) << "the first installation is still there";
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(second + "\\config.pref")), ui::Hex(ExpectedConfig(kGameDir, "pak64")));
  ExpectRegisteredIn(second);

  MakeFolders(first);
  WriteAnsi(first + "\\Deinstallieren.exe", firstUninstaller);
  ui::Program stale;
  ASSERT_TRUE(stale.Start("\"" + first + "\\Deinstallieren.exe\" /S"));
  ASSERT_TRUE(stale.WaitForExit(kWaitMs));
  WaitForUninstallerCopies(first);
  std::string left;
  for (const auto& [name, bytes] : Snapshot(first)) left += " " + name;
  EXPECT_FALSE(Exists(first)) << "left:" << left;
  ExpectRegisteredIn(second);
  Uninstall();
  ExpectNothingInstalled(second);
}

// An older version's installation outside Program Files, whose folder anyone could have made a
// link to another program's folder, with a config.pref anyone could have written. Nothing is
// deleted through it and nothing run from it; an unattended upgrade takes nothing from it.
void MakeLinkedEarlierInstallation(std::map<std::string, std::string>* other) {
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + kProgramFiles + "\\B"), 0u);
  ASSERT_NO_FATAL_FAILURE(MoveInstallation(kProgramFiles + "\\B", kOtherProgram));
  ASSERT_NO_FATAL_FAILURE(PointRegistrationAt(kOtherProgram, kLinkedInstall));
  // Another program's files of the same names; a replaced uninstaller, run by the setup, would
  // show a message box and never end.
  MakeFolders("C:\\Spiele\\Evil\\pak");
  WriteAnsi(kOtherProgram + "\\config.pref",
            "[Tavelmark]\r\nmorvenholt_directory=C:\\Spiele\\Evil\\\r\ndefault_pakset=..\\..\\Evil\r\n");
  WriteAnsi(kOtherProgram + "\\PakInstaller.exe", ReadBytes(ui::WindowsPath(INSTALLER_EXE)));
  WriteAnsi(kOtherProgram + "\\Deinstallieren.exe", ReadBytes(ui::WindowsPath(INSTALLER_EXE)));
  ASSERT_NO_FATAL_FAILURE(LinkFolder(kLinkedInstall, kOtherProgram));
  *other = Snapshot(kOtherProgram);
  ASSERT_EQ(other->size(), 4u);
  ASSERT_EQ(Snapshot(kLinkedInstall), *other) << "the link does not lead to the other folder";
}

// An installation made where standard users could not change it, whose folder above is opened
// to everyone since (a game loosened its access list), and whose config.pref anyone could have
// written meanwhile.
void MakeChangeableEarlierInstallation(std::map<std::string, std::string>* files) {
  const std::string dir = kOpenFolder + "\\PakInstaller";
  ASSERT_NO_FATAL_FAILURE(LetEveryoneChange(kOpenFolder, false));
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + dir), 0u);
  MakeFolders("C:\\Spiele\\Evil\\pak");
  WriteAnsi(dir + "\\config.pref",
            "[Tavelmark]\r\nmorvenholt_directory=C:\\Spiele\\Evil\\\r\ndefault_pakset=..\\..\\Evil\r\n");
  ASSERT_NO_FATAL_FAILURE(LetEveryoneChange(kOpenFolder, true));
  *files = Snapshot(dir);
  ASSERT_EQ(files->size(), 4u);
}

TEST_F(SetupTest, EarlierInstallationWhereAnyoneCouldWriteLosesOnlyItsRegistration) {
  const struct {
    const char* name;
    void (*make)(std::map<std::string, std::string>*);
    std::string files, registered;
  } kinds[] = {
      {"a link outside Program Files", MakeLinkedEarlierInstallation, kOtherProgram, kLinkedInstall},
      {"below a folder every user may change", MakeChangeableEarlierInstallation, kOpenFolder + "\\PakInstaller",
       kOpenFolder + "\\PakInstaller"},
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    std::map<std::string, std::string> other;
    ASSERT_NO_FATAL_FAILURE(kind.make(&other));

    // Without /GAME the game folder would have to come from there: refused, nothing changed.
    EXPECT_EQ(RunSetup("/S"), 2u);
    EXPECT_FALSE(Exists(kDefaultInstallDir));
    EXPECT_EQ(ReadValue(kUninstallKey, "InstallLocation").data, kind.registered);

    ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir), 0u);
    EXPECT_TRUE(Snapshot(kind.files) == other) << "the setup changed the files there";
    // The pak-set is the default, not the one of the file there.
    EXPECT_EQ(ui::Hex(ReadBytesAnsi(kDefaultInstallDir + "\\config.pref")), ui::Hex(ExpectedConfig(kGameDir, "pak")));
    ExpectRegisteredIn(kDefaultInstallDir);
    Uninstall();
    ExpectNothingInstalled(kDefaultInstallDir);
    EXPECT_TRUE(Snapshot(kind.files) == other) << "the uninstaller changed the files there";
    TearDown();
    SetUp();
  }
}

// The new installation is written before the earlier one goes: when a file of it cannot be
// written, the earlier one stays whole and registered.
TEST_F(SetupTest, FailedWriteLeavesTheEarlierInstallationWhole) {
  const std::string first = kProgramFiles + "\\A";
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + first), 0u);
  const auto installed = Snapshot(first);
  const std::string second = kProgramFiles + "\\B";
  MakeFolders(second);
  const std::string program = second + "\\PakInstaller.exe";
  WriteAnsi(program, "held");
  HANDLE held = CreateFileA(program.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_NE(RunSetup("/S /D=" + second), 0u);
  CloseHandle(held);
  EXPECT_TRUE(Snapshot(first) == installed) << "the earlier installation changed";
  ExpectRegisteredIn(first);
}

// The install folder's own access list, as the setup asks Windows for it: nothing inherited,
// full control for Administrators and SYSTEM, read and execute for Users, Administrators the
// owner (a user who made the folder beforehand would own it otherwise). Wine keeps no access
// lists (it makes one up from the Unix mode bits), so what the folder holds after an install is
// compared only where the platform keeps them.
TEST_F(SetupTest, InstallFolderHasItsOwnAccessList) {
  std::ifstream script(ui::WindowsPath(GUARD_SCRIPT));
  const std::string text((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
  const std::string define = "!define INSTALL_FOLDER_ACCESS \"";
  const std::size_t at = text.find(define);
  ASSERT_NE(at, std::string::npos) << "the setup asks for no access list";
  const std::string asked = text.substr(at + define.size(), text.find('"', at + define.size()) - at - define.size());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(asked.c_str(), SDDL_REVISION_1, &descriptor,
                                                                   nullptr)) << asked;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << asked << ": inherits from the parent folder";
  PSID owner = nullptr;
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD administratorsSize = sizeof administrators;
  CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize);
  BOOL ownerDefaulted = FALSE;
  EXPECT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) && owner != nullptr &&
              EqualSid(owner, administrators)) << asked << ": not owned by Administrators";
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl) << asked;

  constexpr DWORD kReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
  const struct {
    WELL_KNOWN_SID_TYPE who;
    DWORD access;
  } expected[] = {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                  {WinLocalSystemSid, FILE_ALL_ACCESS},
                  {WinBuiltinUsersSid, kReadExecute}};
  ASSERT_EQ(dacl->AceCount, std::size(expected)) << asked;
  for (WORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &entry));
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    CreateWellKnownSid(expected[i].who, nullptr, sid, &size);
    SCOPED_TRACE("entry " + std::to_string(i) + " of " + asked);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << "not passed on to the files";
    EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&ace->SidStart), sid)) << "another account";
    EXPECT_EQ(ace->Mask, expected[i].access);
  }
  LocalFree(descriptor);

  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir), 0u);
  if (GetProcAddress(GetModuleHandleA("ntdll"), "wine_get_version") == nullptr) {
    PSECURITY_DESCRIPTOR held = nullptr;
    constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    ASSERT_EQ(GetNamedSecurityInfoA(kDefaultInstallDir.c_str(), SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr,
                                    nullptr, &held), static_cast<DWORD>(ERROR_SUCCESS));
    char* back = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(held, SDDL_REVISION_1, kWhat, &back, nullptr);
    EXPECT_EQ(std::string(back ? back : ""), asked);
    LocalFree(back);
    LocalFree(held);
  }
  Uninstall();
  ExpectNothingInstalled(kDefaultInstallDir);
}

// What FolderGuard.exe asks of each folder it opens, over descriptors that Wine cannot make (it
// keeps no access lists and no owners): the two the setup writes, and those it meets on Windows.
// A folder is taken when its list keeps standard users out and the administration owns it.
TEST(SetupFolders, DescriptorsTheSetupWritesAndMeets) {
  std::ifstream script(ui::WindowsPath(GUARD_SCRIPT));
  const std::string text((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
  auto defined = [&](const std::string& name) {
    const std::string define = "!define " + name + " \"";
    const std::size_t at = text.find(define);
    if (at == std::string::npos) return std::string();
    return text.substr(at + define.size(), text.find('"', at + define.size()) - at - define.size());
  };
  using runtime::FolderRole;
  const struct {
    std::string name, sddl;
    FolderRole role;
    bool taken;
  } rows[] = {
      {"the install folder", defined("INSTALL_FOLDER_ACCESS"), FolderRole::kItself, true},
      {"the helpers' folder", defined("HELPER_FOLDER_ACCESS"), FolderRole::kItself, true},
      {"Program Files",
       "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI(A;;FA;;;S-1-5-80-956008885-"
       "3418522649-1831038044-1853292631-2271478464)(A;CIIO;GA;;;S-1-5-80-956008885-3418522649-1831038044-"
       "1853292631-2271478464)(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
       "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)",
       FolderRole::kAbove, true},
      // Windows' temporary folder, where the helpers' folder is made: users add, never remove.
      {"Windows\\Temp", "O:SYD:PAI(A;OICIIO;FA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)",
       FolderRole::kAbove, true},
      {"a game's folder opened to Users", "O:BAD:AI(A;OICI;0x1301bf;;;BU)(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)",
       FolderRole::kAbove, false},
      // Made by a player beforehand: the list keeps others out, but its owner may change that
      // at any time, also through a handle opened before the setup set its own list.
      {"an install folder a player made",
       "O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
       FolderRole::kItself, false},
  };
  for (const auto& row : rows) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(row.sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                     nullptr)) << row.name << ": " << row.sddl;
    const runtime::FolderJudgement judged = runtime::JudgeDescriptor(descriptor, row.role);
    const bool owned = runtime::DescriptorOwnedByAdministration(descriptor);
    EXPECT_EQ(judged == runtime::FolderJudgement::kProtected && owned, row.taken)
        << row.name << ": judged " << static_cast<int>(judged) << ", owned by the administration " << owned;
    LocalFree(descriptor);
  }
}

// The number of names the file has (1: no hard link elsewhere leads to it).
DWORD LinksOf(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return known ? info.nNumberOfLinks : 0;
}

// An install folder that someone who could write its parent made beforehand, each name in it a
// hard link to a file elsewhere: an unattended run takes no settings from there, and the setup
// writes new files and changes none of those. The same over a config.pref that an upgrade keeps:
// a new file with the same bytes.
TEST_F(SetupTest, InstallFolderMadeBeforehandGetsNewFiles) {
  const std::string elsewhere = "C:\\Spiele\\Fremd";
  MakeFolders(elsewhere);
  MakeFolders(kDefaultInstallDir);
  MakeFolders("C:\\Spiele\\Evil\\pak");
  for (const char* name : {"PakInstaller.exe", "LIESMICH.txt", "config.pref", "Deinstallieren.exe"}) {
    const std::string target = elsewhere + "\\" + name;
    WriteAnsi(target, name == "config.pref"s
                          ? "[Tavelmark]\r\nmorvenholt_directory=C:\\Spiele\\Evil\\\r\ndefault_pakset=..\\..\\Evil\r\n"
                          : "another program's " + std::string(name));
    ASSERT_TRUE(CreateHardLinkA((kDefaultInstallDir + "\\" + name).c_str(), target.c_str(), nullptr)) << name;
    ASSERT_EQ(LinksOf(target), 2u) << name;
  }
  const auto before = Snapshot(elsewhere);

  EXPECT_EQ(RunSetup("/S"), 2u) << "took the game folder from a config.pref no setup wrote";
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir), 0u);
  EXPECT_TRUE(Snapshot(elsewhere) == before) << "the setup wrote through a link";
  for (const auto& [name, bytes] : before) {
    EXPECT_EQ(LinksOf(kDefaultInstallDir + "\\" + name), 1u) << name << " is still a link";
    EXPECT_EQ(LinksOf(elsewhere + "\\" + name), 1u) << name;
  }
  // The pak-set is the default, not the one of the file there.
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(kDefaultInstallDir + "\\config.pref")), ui::Hex(ExpectedConfig(kGameDir, "pak")));
  EXPECT_EQ(ReadBytesAnsi(kDefaultInstallDir + "\\PakInstaller.exe"), ReadBytes(ui::WindowsPath(INSTALLER_EXE)));

  // An upgrade that keeps config.pref, which has become a link meanwhile.
  const std::string kept = elsewhere + "\\kept.pref";
  WriteAnsi(kept, kConfigWithBom);
  ASSERT_TRUE(DeleteFileA((kDefaultInstallDir + "\\config.pref").c_str()));
  ASSERT_TRUE(CreateHardLinkA((kDefaultInstallDir + "\\config.pref").c_str(), kept.c_str(), nullptr));
  ASSERT_EQ(RunSetup("/S"), 0u);
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(kDefaultInstallDir + "\\config.pref")), ui::Hex(kConfigWithBom));
  EXPECT_EQ(LinksOf(kDefaultInstallDir + "\\config.pref"), 1u) << "config.pref is still a link";
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(kept)), ui::Hex(kConfigWithBom));
  Uninstall();
  ExpectNothingInstalled(kDefaultInstallDir);
}

// Where Windows' ANSI code page is UTF-8, every name fits: a game folder and a pak-set in
// letters outside 1252 go into config.pref as they are. Runs as setup_test_cp65001, under a
// locale that Wine gives code page 65001. (Wine also answers the question that Windows refuses
// for UTF-8, so here the row passes either way; on Windows it fails unless the setup skips it.)
TEST_F(SetupTest, CodePageUtf8TakesEveryName) {
  if (GetACP() != CP_UTF8) GTEST_SKIP() << "code page " << GetACP() << ": runs as setup_test_cp65001";
  MakeFolders("C:\\Spiele");
  ASSERT_TRUE(CreateDirectoryW(kLodz.c_str(), nullptr));
  ASSERT_EQ(RunSetupW(L"/S \"/GAME=" + kLodz + L"\" /PAKSET=\x141\xf3" L"d\x17a"), 0u);
  const std::string lodz = "\xc5\x81\xc3\xb3" "d\xc5\xba";  // Łódź in UTF-8
  const std::string config = ReadBytesAnsi(kDefaultInstallDir + "\\config.pref");
  EXPECT_NE(config.find("morvenholt_directory=C:\\Spiele\\" + lodz + "\\\r\n"), std::string::npos)
      << ui::Printable(config);
  EXPECT_NE(config.find("default_pakset=" + lodz + "\r\n"), std::string::npos) << ui::Printable(config);
  Uninstall();
}

// A 1.0.0 installation, made by the 1.0.0 setup built from its commit, upgraded in place: the
// program and its uninstaller are this release's, the player's config.pref stays byte for byte.
TEST_F(SetupTest, UpgradesTheFirstRelease) {
  const std::string previous = ui::WindowsPath(PREVIOUS_SETUP_EXE);
  ui::Program setup;
  ASSERT_TRUE(setup.Start("\"" + previous + "\" /S /GAME=" + kGameDir + " /PAKSET=pak64"));
  DWORD code = 0xDEAD;
  ASSERT_TRUE(setup.WaitForExit(30000, &code));
  ASSERT_EQ(code, 0u);
  ASSERT_EQ(ReadValue(kUninstallKey, "DisplayVersion").data, "1.0.0");
  const std::string config = kDefaultInstallDir + "\\config.pref";
  EXPECT_NE(ReadBytesAnsi(config).find("morvenholt_directory=" + kGameDir + "\\\r\n"), std::string::npos)
      << ui::Printable(ReadBytesAnsi(config));
  WriteAnsi(config, kConfigWithBom);  // as the player saved it since
  const std::string firstUninstaller = ReadBytesAnsi(kDefaultInstallDir + "\\Deinstallieren.exe");

  ASSERT_EQ(RunSetup("/S"), 0u);
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(config)), ui::Hex(kConfigWithBom)) << ui::Printable(ReadBytesAnsi(config));
  EXPECT_EQ(ReadBytesAnsi(kDefaultInstallDir + "\\PakInstaller.exe"), ReadBytes(ui::WindowsPath(INSTALLER_EXE)));
  EXPECT_NE(ReadBytesAnsi(kDefaultInstallDir + "\\Deinstallieren.exe"), firstUninstaller) << "the 1.0.0 uninstaller";
  EXPECT_EQ(ReadValue(kUninstallKey, "DisplayVersion").data, SETUP_VERSION);
  ExpectRegisteredIn(kDefaultInstallDir);
  Uninstall();
  ExpectNothingInstalled(kDefaultInstallDir);
}

// ---- The shell opens add-ons ----------------------------------------------------------------

// Installed into a folder with two blanks in a row, the add-ons opened from folders with
// blanks, two blanks and umlauts as a double-click does; then the uninstaller leaves the game
// folder and the installed add-ons as they are.
TEST_F(SetupTest, DoubleClickInstallsAddOnsAndUninstallKeepsThem) {
  const std::string dir = kProgramFiles + "\\Spiele  Werkzeuge\\Morvenholt PakInstaller";
  ASSERT_EQ(RunSetup("/S /GAME=" + kGameDir + " /PAKSET=pak64 /D=" + dir), 0u);
  const std::string downloads = "C:\\AddOn Downloads";
  const char* const addOns[] = {"Neue AddOns\\trains.pak", "Zwei  Leerzeichen\\ships.pak",
                                "Gr\xfc" "ne Z\xfc" "ge\\z\xfc" "ge.pak"};
  int shot = 0;
  for (const char* relative : addOns) {
    const std::string path = downloads + "\\" + relative;
    const std::string name = path.substr(path.rfind('\\') + 1);
    SCOPED_TRACE(ui::Printable(path));
    MakeFolders(path.substr(0, path.rfind('\\')));
    WriteAnsi(path, kAddOn + name);

    SessionOptions options;
    options.openedDocument = path;
    options.screenshotPrefix = "setup-double-click-" + std::to_string(++shot);
    const Session session = RunSession(options);
    const std::string account = Describe(session);
    ASSERT_TRUE(session.failure.empty()) << account;
    ASSERT_EQ(session.prompts.size(), 1u) << account;
    EXPECT_EQ(session.prompts.front().initialText, "pak64") << account;
    ExpectBoxes(session, {Installed(name)}, account);
    EXPECT_EQ(ReadBytesAnsi(kGameDir + "\\pak64\\" + name), kAddOn + name) << account;
  }
  const auto game = Snapshot(kGameDir);
  ASSERT_EQ(game.size(), 5u);  // pak, pak64 and the three add-ons

  Uninstall();
  ExpectNothingInstalled(dir);
  EXPECT_FALSE(KeyExists("Software\\Classes\\.pak"));
  EXPECT_TRUE(Snapshot(kGameDir) == game) << "the uninstaller changed the game folder";
  EXPECT_EQ(Snapshot(downloads).size(), 6u) << "the uninstaller changed the downloads";
}

// ---- The wizard ------------------------------------------------------------------------------

constexpr int kNextId = 1;  // "Weiter", and "Fertig stellen" on the last page
constexpr int kFolderEditId = 1019;

// The page shown inside the wizard: its one child dialog.
HWND PageOf(HWND wizard) { return FindWindowExA(wizard, nullptr, "#32770", nullptr); }

// Waits for a page other than `previous` to show and paint.
HWND WaitForPage(HWND wizard, HWND previous) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND page = PageOf(wizard);
    if (page != nullptr && page != previous && IsWindowVisible(page) && !ui::Children(page).empty()) {
      WaitUntilPainted(page, kWaitMs);
      return page;
    }
    if (GetTickCount() - start > static_cast<DWORD>(kWaitMs)) return nullptr;
    Sleep(10);
  }
}

// The page's control of class `className` whose text contains `text`; null when there is none.
HWND ControlOf(HWND page, const char* className, const std::string& text = "") {
  for (const ui::Control& control : ui::Children(page)) {
    if (lstrcmpiA(control.className.c_str(), className) == 0 && control.text.find(text) != std::string::npos) {
      return control.window;
    }
  }
  return nullptr;
}

// Every text shown on a page, one a line: what a person reads there.
std::string PageText(HWND page) {
  std::string text;
  for (const ui::Control& control : ui::Children(page)) {
    if (control.visible) text += control.text + "\n";
  }
  return text;
}

void SetText(HWND control, const std::string& text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                      kWaitMs, &ignored);
}

// A message box of the process: a top-level window with a message box's text; null on timeout.
HWND WaitForMessageBox(DWORD processId) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(kWaitMs); Sleep(10)) {
    for (HWND window : ui::TopLevelWindows(processId)) {
      if (IsWindowVisible(window) && ui::ChildById(window, 0xFFFF) != nullptr) return window;
    }
  }
  return nullptr;
}

// The process that started process `id`; 0 when it is not found.
DWORD ParentOf(DWORD id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == id) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

// Windows opens .txt files with its editor; a Wine prefix knows the editor's ProgID but maps
// no extension to it (its desktop integration, switched off here, would). For as long as this
// lives, .txt is mapped as on Windows.
class TextFilesOpenInTheEditor {
 public:
  TextFilesOpenInTheEditor() {
    if (added_) WriteString("Software\\Classes\\.txt", "", "txtfile");
  }
  ~TextFilesOpenInTheEditor() {
    if (added_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt");
  }

 private:
  const bool added_ = !KeyExists("Software\\Classes\\.txt");
};

// A person walks through every page over a config.pref left in the install folder: an install
// folder outside Program Files and one below a folder there that every user may change (both
// refused on their page, each saying why), then the one offered, the game folder
// read from that config.pref, one that does not exist (refused), then the real one, pak from
// the drop-down's folders instead of the pak64 read, and the guide opened from the finish page, by
// Explorer rather than by the setup and its administrator rights. .pak has an owner, so the
// finish page says how to choose PakInstaller in Windows' own dialog. Screenshots of every
// page: setup-wizard-*.png.
TEST_F(SetupTest, WizardWalksThroughEveryPage) {
  WriteString("Software\\Classes\\.pak", "", "OtherGame.Pak");
  WriteString("Software\\Classes\\OtherGame.Pak\\shell\\open\\command", "", "notepad.exe \"%1\"");
  const TextFilesOpenInTheEditor txt;
  MakeFolders(kDefaultInstallDir);
  WriteAnsi(kDefaultInstallDir + "\\config.pref", kConfigWithBom);
  ASSERT_NO_FATAL_FAILURE(LetEveryoneChange(kOpenFolder, true));
  ui::Program setup;
  ASSERT_TRUE(setup.Start("\"" + SetupExe() + "\""));
  HWND wizard = ui::WaitForWindow(setup.Id(), "#32770", nullptr, kWaitMs);
  ASSERT_NE(wizard, nullptr);
  HWND next = ui::WaitForChild(wizard, kNextId, kWaitMs);
  ASSERT_NE(next, nullptr);
  ui::Transcript transcript;
  auto shoot = [&](HWND window, const std::string& name) {
    transcript.Window(name, window);
    if (window != wizard) transcript.Window(name + " page", PageOf(wizard));
    EXPECT_TRUE(ui::SaveScreenshot(window, ui::ArtifactPath("setup-wizard-" + name + ".png")));
  };

  HWND page = WaitForPage(wizard, nullptr);
  ASSERT_NE(page, nullptr);
  // "Weiter" (posted) and the page that follows it.
  auto goOn = [&] {
    ui::PostClick(next);
    page = WaitForPage(wizard, page);
    return page != nullptr;
  };
  // "Weiter" refused by a message box: its text, once it is dismissed and the page stayed.
  auto refusal = [&](const std::string& shot) -> std::string {
    ui::PostClick(next);
    HWND box = WaitForMessageBox(setup.Id());
    if (box == nullptr) {
      ADD_FAILURE() << "no message refused the page: " << shot;
      return "";
    }
    WaitUntilPainted(box, kWaitMs);
    shoot(box, shot);
    const std::string text = ui::MessageBoxText(box);
    ui::PostClick(ui::ChildById(box, IDOK));
    EXPECT_TRUE(ui::WaitForWindowGone(box, kWaitMs)) << shot;
    EXPECT_EQ(PageOf(wizard), page) << "the wizard left the page: " << shot;
    return text;
  };
  shoot(wizard, "1-welcome");
  EXPECT_NE(PageText(page).find("Doppelklick auf eine .pak-Datei"), std::string::npos) << PageText(page);

  ASSERT_TRUE(goOn());
  HWND folder = ui::ChildById(page, kFolderEditId);
  EXPECT_EQ(ui::TextOf(folder), kDefaultInstallDir);
  SetText(folder, "C:\\Werkzeuge\\PakInstaller");
  EXPECT_EQ(refusal("2-unsafe-install-folder"),
            "In den Ordner \"C:\\Werkzeuge\\PakInstaller\" kann PakInstaller nicht installiert werden: "
            "Dort k\xf6nnten auch Benutzer ohne Administratorrechte das Programm austauschen.\r\n\r\n"
            "Bitte w\xe4hlen Sie einen Ordner unter C:\\Program Files, zum Beispiel " + kDefaultInstallDir + ".");
  SetText(folder, kOpenFolder + "\\PakInstaller");
  EXPECT_EQ(refusal("2-changeable-install-folder"),
            "In den Ordner \"" + kOpenFolder + "\\PakInstaller\" kann PakInstaller nicht installiert werden: "
            "Den Ordner \"" + kOpenFolder + "\" d\xfcrfen auch Benutzer ohne Administratorrechte ver\xe4ndern, so "
            "dass sie das Programm austauschen k\xf6nnten.\r\n\r\nBitte w\xe4hlen Sie einen anderen Ordner.");
  SetText(folder, kDefaultInstallDir);
  shoot(wizard, "2-install-folder");

  ASSERT_TRUE(goOn());
  HWND game = ui::ChildById(page, kFolderEditId);
  EXPECT_NE(PageText(page).find("Morvenholt installiert ist"), std::string::npos) << PageText(page);
  EXPECT_EQ(ui::TextOf(game), kGameDir) << "not the game folder of the installed config.pref";
  SetText(game, "C:\\Gibt es nicht");
  EXPECT_EQ(refusal("3-missing-game-folder"),
            "Den Ordner \"C:\\Gibt es nicht\" gibt es nicht.\r\n\r\n"
            "Bitte w\xe4hlen Sie den Ordner, in dem Morvenholt installiert ist.");
  SetText(game, kGameDir + "\\");
  shoot(wizard, "4-game-folder");

  ASSERT_TRUE(goOn());
  HWND combo = ControlOf(page, "ComboBox");
  ASSERT_NE(combo, nullptr) << PageText(page);
  EXPECT_EQ(GetWindowLongA(combo, GWL_STYLE) & 3, CBS_DROPDOWN) << "free text must be allowed";
  EXPECT_EQ(ui::TextOf(combo), "pak64");
  std::vector<std::string> items;
  const auto count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    // The setup's windows are Unicode; Wine hands a list item to another process unconverted.
    wchar_t item[MAX_PATH] = L"";
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    items.emplace_back(item, item + lstrlenW(item));
  }
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{"pak", "pak64"}));
  SetText(combo, "pak");
  shoot(wizard, "5-pak-set");

  ASSERT_TRUE(goOn());
  HWND progress = ControlOf(page, "msctls_progress32");
  ASSERT_NE(progress, nullptr) << PageText(page);
  // Done when the bar is full and the wizard lets the player go on.
  auto done = [&] {
    return IsWindowEnabled(next) &&
           SendMessageA(progress, PBM_GETPOS, 0, 0) == SendMessageA(progress, PBM_GETRANGE, FALSE, 0);
  };
  for (const DWORD start = GetTickCount(); !done() && GetTickCount() - start < 2u * kWaitMs;) Sleep(10);
  ASSERT_TRUE(done()) << "the installation never finished";
  WaitUntilPainted(page, kWaitMs);
  shoot(wizard, "6-installed");

  ASSERT_TRUE(goOn());
  HWND readme = ControlOf(page, "Button", "Anleitung anzeigen");
  ASSERT_NE(readme, nullptr) << "no finish page: " << PageText(page);
  shoot(wizard, "7-finish");
  EXPECT_EQ(SendMessageA(readme, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_NE(PageText(page).find("\"\xd6" "ffnen mit\""), std::string::npos) << PageText(page);
  const DWORD setupId = setup.Id();
  ui::PostClick(next);
  DWORD code = 0xDEAD;
  EXPECT_TRUE(setup.WaitForExit(kWaitMs, &code));
  EXPECT_EQ(code, 0u);

  HWND guide = ui::WaitForCaptionContaining("LIESMICH", kWaitMs);
  EXPECT_NE(guide, nullptr) << "the guide did not open";
  if (guide != nullptr) {
    shoot(guide, "8-guide");
    DWORD editor = 0;
    GetWindowThreadProcessId(guide, &editor);
    EXPECT_NE(ParentOf(editor), setupId) << "the setup started the editor with its own rights";
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, editor);
    ui::PostClose(guide);
    EXPECT_EQ(WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0) << "the editor stayed open";
    CloseHandle(process);
  }
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(kDefaultInstallDir + "\\config.pref")), ui::Hex(ExpectedConfig(kGameDir, "pak")));
  EXPECT_EQ(ReadValue("Software\\Classes\\.pak", "").data, "OtherGame.Pak");
  transcript.Save(ui::ArtifactPath("setup-wizard.txt"));
}

// The same earlier installation where anyone could write, met by a person: the game folder and
// pak-set of its config.pref are offered on their pages, to be seen and changed, and the last
// page names the folder whose files were left. With .pak owned by another program, the last
// page has the most to say: it must still fit. Screenshot: setup-wizard-left-folder.png.
TEST_F(SetupTest, WizardOffersTheSettingsOfAnUnsafeInstallationAndNamesTheFolderLeft) {
  WriteString("Software\\Classes\\.pak", "", "OtherGame.Pak");
  WriteString("Software\\Classes\\OtherGame.Pak\\shell\\open\\command", "", "notepad.exe \"%1\"");
  std::map<std::string, std::string> other;
  ASSERT_NO_FATAL_FAILURE(MakeLinkedEarlierInstallation(&other));
  ui::Program setup;
  ASSERT_TRUE(setup.Start("\"" + SetupExe() + "\""));
  HWND wizard = ui::WaitForWindow(setup.Id(), "#32770", nullptr, kWaitMs);
  ASSERT_NE(wizard, nullptr);
  HWND next = ui::WaitForChild(wizard, kNextId, kWaitMs);
  ASSERT_NE(next, nullptr);
  HWND page = WaitForPage(wizard, nullptr);
  auto goOn = [&] {
    ui::PostClick(next);
    page = WaitForPage(wizard, page);
    return page != nullptr;
  };
  ASSERT_TRUE(goOn());
  EXPECT_EQ(ui::TextOf(ui::ChildById(page, kFolderEditId)), kDefaultInstallDir);
  ASSERT_TRUE(goOn());
  HWND game = ui::ChildById(page, kFolderEditId);
  EXPECT_EQ(ui::TextOf(game), "C:\\Spiele\\Evil") << "the earlier config.pref's game folder is not offered";
  SetText(game, kGameDir);
  ASSERT_TRUE(goOn());
  HWND combo = ControlOf(page, "ComboBox");
  ASSERT_NE(combo, nullptr) << PageText(page);
  EXPECT_EQ(ui::TextOf(combo), "..\\..\\Evil");
  SetText(combo, "pak64");
  ASSERT_TRUE(goOn());
  HWND progress = ControlOf(page, "msctls_progress32");
  ASSERT_NE(progress, nullptr) << PageText(page);
  for (const DWORD start = GetTickCount(); !IsWindowEnabled(next) && GetTickCount() - start < 2u * kWaitMs;) {
    Sleep(10);
  }
  ASSERT_TRUE(goOn());
  WaitUntilPainted(page, kWaitMs);
  EXPECT_TRUE(ui::SaveScreenshot(wizard, ui::ArtifactPath("setup-wizard-left-folder.png")));
  const std::string finish = PageText(page);
  EXPECT_NE(finish.find("Die bisherige Installation in \"" + kLinkedInstall + "\" ist abgemeldet."), std::string::npos)
      << finish;
  EXPECT_NE(finish.find("Abschnitt 3"), std::string::npos) << finish;
  HWND readme = ControlOf(page, "Button", "Anleitung anzeigen");
  if (readme != nullptr) SendMessageA(readme, BM_SETCHECK, BST_UNCHECKED, 0);
  ui::PostClick(next);
  DWORD code = 0xDEAD;
  EXPECT_TRUE(setup.WaitForExit(kWaitMs, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(Snapshot(kOtherProgram) == other) << "the setup changed the other program's folder";
  EXPECT_EQ(ui::Hex(ReadBytesAnsi(kDefaultInstallDir + "\\config.pref")), ui::Hex(ExpectedConfig(kGameDir, "pak64")));
  EXPECT_EQ(ReadValue(kUninstallKey, "InstallLocation").data, kDefaultInstallDir);
  EXPECT_EQ(ReadValue("Software\\Classes\\.pak", "").data, "OtherGame.Pak");
}

}  // namespace
}  // namespace installer_test

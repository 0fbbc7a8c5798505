// ReadSettings.exe: reads an installed config.pref for the setup with the tool's own settings
// store, so the setup sees exactly what the tool will see (a UTF-8 byte-order mark, groups and
// keys folded only in A to Z, blanks around keys and values, the first group of a name).
//
//   ReadSettings.exe GROUP KEY...
//
// Reads config.pref in the current folder and writes settings.txt there: for each key one line
// with its value ("" when there is none), in UTF-16LE with CR LF, as the setup reads it. The
// setup runs it from its temporary folder, so no path on its command line needs the ANSI code
// page. Exit code 0; 1 when settings.txt cannot be written.
#include <windows.h>

#include <string>

#include "runtime/settings.h"

namespace {

// The value as the platform's ANSI calls of the tool will take it, in UTF-16.
std::wstring Wide(const runtime::Text& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.CStr(), static_cast<int>(text.Length()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.CStr(), static_cast<int>(text.Length()), wide.data(), length);
  return wide;
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring out;
  runtime::OpenSettings("config.pref");
  runtime::SelectSettingsGroup(argc > 1 ? argv[1] : "");
  for (int i = 2; i < argc; ++i) out += Wide(runtime::ReadSetting(argv[i], "")) + L"\r\n";
  runtime::CloseSettings();

  HANDLE file = CreateFileW(L"settings.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(out.size() * sizeof(wchar_t));
  const bool complete = WriteFile(file, out.data(), size, &written, nullptr) && written == size;
  CloseHandle(file);
  return complete ? 0 : 1;
}

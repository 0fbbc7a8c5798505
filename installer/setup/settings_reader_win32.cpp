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

#include "runtime/settings.h"

namespace {

// Writes the value as the tool's ANSI platform calls will take it, in UTF-16, and a line end.
// (No standard containers: they would pull the C++ exception runtime into a tiny program.)
bool WriteLine(HANDLE file, const runtime::Text& value) {
  const int length = MultiByteToWideChar(CP_ACP, 0, value.CStr(), static_cast<int>(value.Length()), nullptr, 0);
  const DWORD size = static_cast<DWORD>(length + 2) * sizeof(wchar_t);
  auto* line = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, size));
  if (line == nullptr) return false;
  MultiByteToWideChar(CP_ACP, 0, value.CStr(), static_cast<int>(value.Length()), line, length);
  line[length] = L'\r';
  line[length + 1] = L'\n';
  DWORD written = 0;
  const bool complete = WriteFile(file, line, size, &written, nullptr) && written == size;
  HeapFree(GetProcessHeap(), 0, line);
  return complete;
}

}  // namespace

int main(int argc, char** argv) {
  HANDLE file = CreateFileW(L"settings.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  runtime::OpenSettings("config.pref");
  runtime::SelectSettingsGroup(argc > 1 ? argv[1] : "");
  bool complete = true;
  for (int i = 2; i < argc && complete; ++i) complete = WriteLine(file, runtime::ReadSetting(argv[i], ""));
  runtime::CloseSettings();
  CloseHandle(file);
  return complete ? 0 : 1;
}

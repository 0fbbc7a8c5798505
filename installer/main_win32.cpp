// The process's entry point: the start-up the dialogs need, the run, and exit code 0 on every
// path. The tool is a GUI program without a window of its own; it reads its command line from
// the platform, never from WinMain's arguments.
#include <windows.h>
#include <objbase.h>

#include "installer/run.h"

namespace {

// The tool runs elevated, often from a Downloads folder that anyone may have put a DLL in, and the
// dialogs make the system load further libraries by name long after start. Every later search
// for a library by name looks in the system folder only. SetDefaultDllDirectories is missing on
// a Windows 7 without its 2011 update: there the application folder is still searched, but the
// current folder is not.
void SearchLibrariesInTheSystemFolderOnly() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (found != nullptr) {
    reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  SetDllDirectoryA("");
  // SearchPath, which some system code uses to find files by name, looks in the current folder
  // only after the system folders.
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

// The tool runs elevated, often started from a Downloads folder: a comctl32.dll planted beside
// it must never be loaded. So the library is asked for by name from the system folder only (by
// name, the manifest's common controls 6.0 still apply) rather than imported.
void InitCommonControlsFromSystem() {
  HMODULE library = LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) {
    return;
  }
  using InitFunction = void(WINAPI*)();
  FARPROC found = GetProcAddress(library, "InitCommonControls");
  if (found != nullptr) {
    // Through void (*)() so the compiler accepts the change of signature.
    reinterpret_cast<InitFunction>(reinterpret_cast<void (*)()>(found))();
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SearchLibrariesInTheSystemFolderOnly();
  // The command line and the prompt use this module handle; asked for once here at start.
  GetModuleHandleA(nullptr);
  // Visual styles for the prompt's controls (the manifest asks for common controls 6.0).
  InitCommonControlsFromSystem();
  // The result does not matter: nothing in the run depends on COM being available.
  CoInitialize(nullptr);

  installer::Run();

  // COM is not uninitialised: the process simply ends.
  ExitProcess(0);
}

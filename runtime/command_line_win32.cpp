#include <windows.h>

#include "runtime/command_line.h"
#include "runtime/memory.h"

namespace runtime {

namespace {
constexpr DWORD kPathBufferSize = 260;

// `wide` in `codePage`. With `exact`, absent when a character has no form there (no look-alike
// is taken); absent too when memory runs out.
Text Narrow(const wchar_t* wide, UINT codePage, bool exact) {
  // UTF-8, also as a system's ANSI code page, holds every character and takes no such flags.
  if (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)) exact = false;
  BOOL lost = FALSE;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL* const lostAt = exact ? &lost : nullptr;
  const int size = WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, nullptr, lostAt);
  if (size <= 0 || lost) return Text();
  auto* bytes = static_cast<char*>(Allocate(static_cast<std::size_t>(size)));
  if (bytes == nullptr) return Text();
  WideCharToMultiByte(codePage, flags, wide, -1, bytes, size, nullptr, lostAt);
  Text narrow = lost ? Text() : Text(bytes, static_cast<std::size_t>(size) - 1);
  Release(bytes);
  return narrow;
}

// A UTF-8 text in UTF-16, zero-terminated, from Allocate; null when memory runs out.
wchar_t* WidenUtf8(const Text& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.CStr(), -1, nullptr, 0);
  if (size <= 0) return nullptr;
  auto* wide = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * static_cast<std::size_t>(size)));
  if (wide != nullptr) MultiByteToWideChar(CP_UTF8, 0, text.CStr(), -1, wide, size);
  return wide;
}

// The short (8.3) form of `path` in the ANSI code page; absent when the file has none that the
// code page can hold.
Text ShortAnsiPath(const wchar_t* path) {
  const DWORD size = GetShortPathNameW(path, nullptr, 0);
  if (size == 0) return Text();
  auto* shortPath = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * size));
  if (shortPath == nullptr) return Text();
  const DWORD length = GetShortPathNameW(path, shortPath, size);
  Text ansi = length > 0 && length < size ? Narrow(shortPath, CP_ACP, true) : Text();
  Release(shortPath);
  return ansi;
}

}  // namespace

Text ProgramPath() {
  char buffer[kPathBufferSize];
  DWORD count = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, kPathBufferSize);
  // A path that filled the buffer was cut by the platform; its folder would be the wrong one.
  if (count >= kPathBufferSize) count = 0;
  // In a folder whose name the ANSI code page cannot hold (a user folder named Doğan), the ANSI
  // path names another folder: the short path is the one that leads to config.pref.
  wchar_t wide[kPathBufferSize];
  const DWORD wideCount = GetModuleFileNameW(GetModuleHandleA(nullptr), wide, kPathBufferSize);
  if (count > 0 && wideCount > 0 && wideCount < kPathBufferSize &&
      Narrow(wide, CP_ACP, true).IsAbsent()) {
    const Text shortPath = ShortAnsiPath(wide);
    if (!shortPath.IsAbsent()) return ProgramPathFrom(shortPath.CStr(), shortPath.Length());
  }
  return ProgramPathFrom(buffer, count);
}

std::int32_t ParameterCount() { return ParameterCountOf(GetCommandLineA()); }

Text NextParameter() { return NextParameterOf(GetCommandLineA(), ProcessParameterCursor()); }

PlatformFile AddOnFile(const Text& joined) {
  PlatformFile file{joined, nullptr};
  const wchar_t* const line = GetCommandLineW();
  // The ANSI command line lost nothing: it is all there is to know, as it always was.
  if (!Narrow(line, CP_ACP, true).IsAbsent()) return file;

  // The same split and join over the Unicode command line, in UTF-8 (see ScanCommandLine).
  const Text path = JoinedParametersOf(Narrow(line, CP_UTF8, false).CStr());
  wchar_t* const widePath = WidenUtf8(path);
  if (widePath == nullptr) return file;
  // Only the path that the ANSI command line spells with look-alikes, and only when it lost
  // something itself (the program's own path may be what did).
  if (Narrow(widePath, CP_ACP, false) == joined && Narrow(widePath, CP_ACP, true).IsAbsent()) {
    const Text shortPath = ShortAnsiPath(widePath);
    if (!shortPath.IsAbsent()) {
      file.path = shortPath;
      static wchar_t* fileName = nullptr;  // the process's one add-on, kept as long as it runs
      const Text name = PathFileName(path);
      if (fileName == nullptr && !name.IsEmpty()) fileName = WidenUtf8(name);
      if (fileName != nullptr && Narrow(fileName, CP_ACP, true).IsAbsent()) {
        file.fileName = fileName;
      }
    }
  }
  Release(widePath);
  return file;
}

}  // namespace runtime

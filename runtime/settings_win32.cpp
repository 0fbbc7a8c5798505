// The process's one settings store over a real file. The handle is held from OpenSettings to
// CloseSettings so that nobody can change the file while its bytes are in use; it is never
// written through.
#include <windows.h>

#include "runtime/settings.h"
#include "runtime/settings_store.h"
#include "runtime/wide_text.h"

namespace runtime {
namespace {

constinit SettingsStore store;
constinit HANDLE file = nullptr;  // null: no file held

// Other programs may read the file while we hold it, never write it. OPEN_EXISTING: a missing
// file stays missing. Null when it cannot be opened.
HANDLE OpenShared(const wchar_t* path, DWORD access) {
  HANDLE h = CreateFileW(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

// A UTF-8 value in the system's ANSI code page where that is not 1252: only the characters it
// holds, never a look-alike, so that a name reads as what it says or as nothing. Malformed UTF-8
// reads as nothing too.
bool Utf8ToAnsi(const char* in, std::size_t length, char* out) {
  *out = '\0';
  if (length == 0) return true;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, static_cast<int>(length), nullptr,
                          0) <= 0) {
    return false;
  }
  const Text ansi = ExactAnsi(WideFromUtf8(Text(in, length)));
  // No code page takes more bytes for a character than UTF-8 does.
  if (ansi.IsAbsent() || ansi.Length() > length) return false;
  CopyMemory(out, ansi.CStr(), ansi.Length());
  out[ansi.Length()] = '\0';
  return true;
}

// The encoding by the byte-order mark; a file without one is read again from its start.
std::int32_t ReadEncoding(DWORD* size) {
  if (*size < 3) return kSettingsPlain;
  char mark[3] = {};
  DWORD got = 0;
  if (ReadFile(file, mark, 3, &got, nullptr) && got == 3 && IsUtf8ByteOrderMark(mark)) {
    *size -= 3;
    return kSettingsUtf8;
  }
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  return kSettingsPlain;
}

}  // namespace

std::int32_t OpenSettings(const Text& path) { return OpenSettings(WideFromAnsi(path)); }

std::int32_t OpenSettings(const WideText& path) {
  CloseSettings();
  // 8-bit text is ISO 8859-1 only where the system's code page is 1252.
  store.SetDecoder(GetACP() == 1252 ? nullptr : Utf8ToAnsi);
  file = path.IsAbsent() ? nullptr : OpenShared(path.CStr(), GENERIC_READ | GENERIC_WRITE);
  // A read-only file, or one that someone else reads without sharing write access.
  if (file == nullptr && !path.IsAbsent()) file = OpenShared(path.CStr(), GENERIC_READ);
  if (file == nullptr) {
    // A path that could not be formed (memory ran out) leaves the store closed.
    const Text remembered = BestFitAnsi(path);
    if (!remembered.IsAbsent()) store.OpenWithoutFile(remembered);
    return 0;
  }

  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) size = 0;
  store.OpenWithFile(ReadEncoding(&size));
  char* room = store.ReserveContent(size);
  if (room == nullptr) return 1;
  DWORD got = 0;
  if (!ReadFile(file, room, size, &got, nullptr)) got = 0;
  store.TakeContent(got);
  return 1;
}

std::int32_t SelectSettingsGroup(const Text& group) { return store.SelectGroup(group); }

Text ReadSetting(const Text& key, const Text& defaultValue) {
  return store.Read(key, defaultValue);
}

void CloseSettings() {
  store.Close();
  if (file != nullptr) CloseHandle(file);
  file = nullptr;
}

}  // namespace runtime

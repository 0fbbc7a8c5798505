// hold_file.exe ACCESS SHARE CREATION READY_EVENT RELEASE_EVENT PATH
// Opens PATH with CreateFileA(ACCESS, SHARE, CREATION) (hexadecimal numbers), signals the
// named event READY_EVENT once the file is open, and keeps it open until RELEASE_EVENT is
// signalled or 60 s have passed. PATH is the rest of the command line, taken as it is, so it
// needs no quotes. Exit code: 0 released, 1 bad arguments, 2 the open failed, 3 timed out.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* SkipProgramName(const char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ') ++line;
  return line;
}

// Copies the next blank-separated word into `word`; returns the position after it.
const char* NextWord(const char* line, char* word, std::size_t size) {
  std::size_t n = 0;
  while (*line != '\0' && *line != ' ') {
    if (n + 1 < size) word[n++] = *line;
    ++line;
  }
  word[n] = '\0';
  if (*line == ' ') ++line;
  return line;
}

}  // namespace

int main() {
  const char* line = SkipProgramName(GetCommandLineA());
  char access[16], share[16], creation[16], ready[128], release[128];
  line = NextWord(line, access, sizeof access);
  line = NextWord(line, share, sizeof share);
  line = NextWord(line, creation, sizeof creation);
  line = NextWord(line, ready, sizeof ready);
  line = NextWord(line, release, sizeof release);
  if (*line == '\0' || release[0] == '\0') return 1;

  const HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
  const HANDLE releaseEvent = OpenEventA(SYNCHRONIZE, FALSE, release);
  if (readyEvent == nullptr || releaseEvent == nullptr) return 1;

  const HANDLE file = CreateFileA(line, std::strtoul(access, nullptr, 16),
                                  std::strtoul(share, nullptr, 16), nullptr,
                                  std::strtoul(creation, nullptr, 16), FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  SetEvent(readyEvent);
  const DWORD waited = WaitForSingleObject(releaseEvent, 60000);
  CloseHandle(file);
  return waited == WAIT_OBJECT_0 ? 0 : 3;
}

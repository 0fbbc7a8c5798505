#include <windows.h>

#include "runtime/memory.h"
#include "runtime/message_box.h"

namespace runtime {
namespace {

// One entry of the process-wide disabled-window list: a window that `thread` disabled.
struct DisabledWindow {
  DWORD thread;
  HWND window;
  DisabledWindow* next;
};

// Newest first, so a restore pass re-enables in the reverse order of disabling. The lock keeps
// the links sound should two threads ever disable or restore at once; EnableWindow runs outside
// it, since it sends WM_ENABLE and the window procedure may come back here.
DisabledWindow* disabled_windows = nullptr;
SRWLOCK disabled_windows_lock = SRWLOCK_INIT;

BOOL CALLBACK DisableIfCandidate(HWND window, LPARAM) {
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  if (!IsWindowEnabled(window)) return TRUE;
  if (window == GetForegroundWindow()) return TRUE;
  // The entry is made before the window is disabled: without memory for it the window stays
  // enabled, so no window is ever disabled without a record to re-enable it from.
  auto* entry = static_cast<DisabledWindow*>(Allocate(sizeof(DisabledWindow)));
  if (entry == nullptr) return TRUE;
  entry->thread = GetCurrentThreadId();
  entry->window = window;
  EnableWindow(window, FALSE);
  AcquireSRWLockExclusive(&disabled_windows_lock);
  entry->next = disabled_windows;
  disabled_windows = entry;
  ReleaseSRWLockExclusive(&disabled_windows_lock);
  return TRUE;
}

// The tool's own texts are Windows-1252 on every system.
constexpr UINT kToolCodePage = 1252;

// A piece of a text to show, and the code page its bytes are in.
struct Part {
  const Text* text;
  UINT codePage;
};

// The pieces in UTF-16, one after the other and zero-terminated (Allocate zero-fills); null when
// memory runs out. Bytes that are no character of their code page show as the platform shows
// them.
wchar_t* JoinedWide(const Part* parts, int count) {
  int total = 0;
  for (int i = 0; i < count; ++i) {
    const Text& text = *parts[i].text;
    if (text.IsEmpty()) continue;
    total += MultiByteToWideChar(parts[i].codePage, 0, text.CStr(),
                                 static_cast<int>(text.Length()), nullptr, 0);
  }
  const std::size_t characters = static_cast<std::size_t>(total) + 1;
  auto* wide = static_cast<wchar_t*>(Allocate(sizeof(wchar_t) * characters));
  if (wide == nullptr) return nullptr;
  int at = 0;
  for (int i = 0; i < count; ++i) {
    const Text& text = *parts[i].text;
    if (text.IsEmpty()) continue;
    at += MultiByteToWideChar(parts[i].codePage, 0, text.CStr(), static_cast<int>(text.Length()),
                              wide + at, total - at);
  }
  return wide;
}

// The box of ShowMessage, its body made of `parts`.
std::int32_t ShowParts(const Text& title, const Part* parts, int count) {
  // An absent text never reaches the platform.
  if (title.IsAbsent()) return 0;
  for (int i = 0; i < count; ++i) {
    if (parts[i].text->IsAbsent()) return 0;
  }
  DisableThreadWindows();
  HWND owner = static_cast<HWND>(ForegroundOwner());
  wchar_t* const wideTitle = WideToolText(title);
  wchar_t* const wideText = JoinedWide(parts, count);
  const int result =
      wideTitle != nullptr && wideText != nullptr ? MessageBoxW(owner, wideText, wideTitle, 0) : 0;
  RestoreThreadWindows();
  Release(wideTitle);
  Release(wideText);
  return result;
}

}  // namespace

void DisableThreadWindows() { EnumWindows(DisableIfCandidate, 0); }

void RestoreThreadWindows() {
  const DWORD thread = GetCurrentThreadId();
  // Unlink this thread's entries first (keeping their order), then re-enable outside the lock.
  DisabledWindow* mine = nullptr;
  DisabledWindow** mine_end = &mine;
  AcquireSRWLockExclusive(&disabled_windows_lock);
  for (DisabledWindow** link = &disabled_windows; *link != nullptr;) {
    DisabledWindow* entry = *link;
    if (entry->thread == thread) {
      *link = entry->next;
      entry->next = nullptr;
      *mine_end = entry;
      mine_end = &entry->next;
    } else {
      link = &entry->next;
    }
  }
  ReleaseSRWLockExclusive(&disabled_windows_lock);
  while (mine != nullptr) {
    DisabledWindow* entry = mine;
    mine = entry->next;
    EnableWindow(entry->window, TRUE);
    Release(entry);
  }
}

void* ForegroundOwner() {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

wchar_t* WideToolText(const Text& text) {
  if (text.IsAbsent()) return nullptr;
  const Part parts[] = {{&text, kToolCodePage}};
  return JoinedWide(parts, 1);
}

std::int32_t ShowMessage(const Text& title, const Text& text) {
  const Part parts[] = {{&text, kToolCodePage}};
  return ShowParts(title, parts, 1);
}

std::int32_t ShowMessage(const Text& title, const Text& before, const Text& name,
                         const Text& after) {
  const Part parts[] = {{&before, kToolCodePage}, {&name, CP_ACP}, {&after, kToolCodePage}};
  return ShowParts(title, parts, 3);
}

std::int32_t ShowMessage(const Text& title, const Text& before, const WideText& name,
                         const Text& after) {
  // The name goes its way in UTF-8, which holds every character it has.
  const Text utf8 = Utf8FromWide(name);
  if (utf8.IsAbsent()) return 0;
  const Part parts[] = {{&before, kToolCodePage}, {&utf8, CP_UTF8}, {&after, kToolCodePage}};
  return ShowParts(title, parts, 3);
}

}  // namespace runtime

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

std::int32_t ShowMessage(const Text& title, const Text& text) {
  // An absent text never reaches the platform.
  if (title.IsAbsent() || text.IsAbsent()) return 0;
  DisableThreadWindows();
  HWND owner = static_cast<HWND>(ForegroundOwner());
  const int result = MessageBoxA(owner, text.CStr(), title.CStr(), 0);
  RestoreThreadWindows();
  return result;
}

}  // namespace runtime

#pragma once
// Message boxes with one OK button, modal towards the calling thread's windows, and the
// building blocks the input dialog shares with them.
#include <cstdint>

#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// Shows a box with caption `title`, body `text`, style 0 (MB_OK, no icon, application-modal),
// owned by the foreground window when that belongs to this process. Returns the platform's
// result: IDOK (1) once dismissed, 0 when the box cannot be shown or a text is absent (then no
// box is shown). The texts are the tool's own, in Windows-1252, and are shown through the
// Unicode calls, so their letters are the same whatever the system's ANSI code page.
std::int32_t ShowMessage(const Text& title, const Text& text);

// The same box for a body made of the tool's own words around `name`, a name in the system's
// ANSI code page (the add-on's file name).
std::int32_t ShowMessage(const Text& title, const Text& before, const Text& name,
                         const Text& after);

// The same for a name in UTF-16, shown as the player sees it on every system.
std::int32_t ShowMessage(const Text& title, const Text& before, const WideText& name,
                         const Text& after);

// A Windows-1252 text of the tool in UTF-16, zero-terminated, for the Unicode calls; null for an
// absent text or when memory runs out. Freed with Release (runtime/memory.h).
wchar_t* WideToolText(const Text& text);

// Disables and records every visible, enabled top-level window of the calling thread except the
// foreground window. A window is never left disabled without a record: when no memory can be
// had for its entry, the window is not disabled at all.
void DisableThreadWindows();

// Re-enables every window the calling thread recorded, newest first, and forgets them.
void RestoreThreadWindows();

// The foreground window when it belongs to this process, otherwise null. (An HWND.)
void* ForegroundOwner();

}  // namespace runtime

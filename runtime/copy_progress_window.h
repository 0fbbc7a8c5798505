#pragma once
// The window of a long copy: how far it has come, and a way for the player to stop it. Modal
// towards the calling thread's windows, laid out at the display's scale, like the prompt.
#include <cstdint>

#include "runtime/file_system.h"
#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// Runs one copy on a thread of its own while the calling thread shows how far it has come.
// Nothing shows until the copy has run about half a second with at least a second to go; then a
// window with the caption `caption`, the label `label` (the tool's Windows-1252 words) with the
// add-on's `name` on a line of its own, shortened in the middle where it must be, a bar, the
// megabytes copied with the time left, and "Abbrechen". The taskbar button shows the bar too.
// Escape, the button, Alt+F4, the close box and a WM_QUIT stop the copy at its next block,
// also while the window is being moved or its system menu is open, up to the point of no return
// (see DuplicateFile); from there "Abbrechen" is greyed and the copy ends as it would have. A
// logoff or shutdown waits for the copy from its start, with `reasonBefore` + `name` +
// `reasonAfter` as the reason; a session that ends anyway stops it first. The window goes with
// the copy, before Run returns, and a key pressed as it went goes with it, so that it cannot
// dismiss the next message unread. One at a time: a second one made while another exists runs
// its copy unwatched on the calling thread and shows nothing.
class CopyProgressWindow {
 public:
  CopyProgressWindow(const Text& caption, const Text& label, const WideText& name,
                     const Text& reasonBefore, const Text& reasonAfter);
  ~CopyProgressWindow();
  CopyProgressWindow(const CopyProgressWindow&) = delete;
  CopyProgressWindow& operator=(const CopyProgressWindow&) = delete;

  // A copy as DuplicateFile makes it, reporting to `progress`.
  using Copy = std::int32_t (*)(void* context, const CopyProgress* progress);

  // Runs `copy` watched by this window and gives what it gave; once per window.
  std::int32_t Run(Copy copy, void* context);

  // DuplicateFile(source, destination) run so.
  std::int32_t Duplicate(const wchar_t* source, const wchar_t* destination);

  // The window shows as soon as the copy has begun, whatever its size: for measuring what it
  // costs.
  void ShowAtOnce();

 private:
  bool owner_ = false;
};

}  // namespace runtime

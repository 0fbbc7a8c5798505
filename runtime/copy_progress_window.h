#pragma once
// The window of a long copy: how far it has come, and a way for the player to stop it. Modal
// towards the calling thread's windows, laid out at the display's scale, like the prompt.
#include "runtime/file_system.h"
#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// Watches one copy through the CopyProgress it hands out. Nothing shows until the copy has run
// about half a second with at least a second to go; then a window with the caption `caption`,
// the label `before` + `name` + `after` (the tool's Windows-1252 words around the add-on's name
// as the player sees it), a bar, the megabytes copied with the time left, and "Abbrechen". The
// taskbar button shows the bar too. Escape, the button, Alt+F4 and the close box stop the copy
// at its next step; the window's messages are handled between the copy's blocks, on the
// calling thread. The window goes with this object, and a key pressed as it went goes with it,
// so that it cannot dismiss the next message unread. One at a time: a second one made while
// another exists hands out no progress and shows nothing.
class CopyProgressWindow {
 public:
  CopyProgressWindow(const Text& caption, const Text& before, const WideText& name,
                     const Text& after);
  ~CopyProgressWindow();
  CopyProgressWindow(const CopyProgressWindow&) = delete;
  CopyProgressWindow& operator=(const CopyProgressWindow&) = delete;

  // For DuplicateFile; null for a second window.
  const CopyProgress* Progress() const { return owner_ ? &progress_ : nullptr; }

  // True once the player asked to stop.
  bool StopRequested() const;

  // The window shows at the copy's first step, whatever its size: for measuring what it costs.
  void ShowAtOnce();

 private:
  CopyProgress progress_{};
  bool owner_ = false;
};

}  // namespace runtime

#pragma once
// A small fixed-size prompt for one line of text, centred on the primary screen, modal towards
// the calling thread's windows.
#include "runtime/text.h"
#include "runtime/wide_text.h"

namespace runtime {

// Shows the prompt with caption `title`, the label `prompt` and `initialText` in the edit box
// (caret after it, nothing selected) and waits until the user confirms (OK, Enter) or cancels
// (Escape, a close request). Returns the edit box's text on confirmation, unchanged and possibly
// empty; the empty text after a cancel or when the window cannot be created.
Text InputRequester(const Text& title, const Text& prompt, const Text& initialText);

// The same prompt, its answer in UTF-16 exactly as the player typed it (the edit box holds any
// letter). The initial text is in the system's ANSI code page.
WideText WideInputRequester(const Text& title, const Text& prompt, const Text& initialText);

// True when the last InputRequester call ended without a confirmation, so a caller can tell a
// cancel from a confirmed empty text: Escape, a close request, a quit message, no window, a
// call made while another dialog runs, or a confirmed text that memory could not be had for
// (it is lost, so nothing must act on the empty text returned in its place).
bool InputRequesterWasCancelled();

}  // namespace runtime

#pragma once
// The display scale as the dialogs see it, and the dialog font made for it. Shared by the prompt
// and the copy's window, so both are laid out and lettered alike.
#include <windows.h>

namespace runtime {

// The dpi the system lays out at, and the stock font was made for. Windows 7 and 8 know no
// other; for a program that declares no awareness it is 96, and Windows stretches the dialogs.
int SystemDpi();

// The scale of the monitor holding `point`; the system dpi where Windows cannot tell it.
int MonitorDpi(POINT point);

// `stock` (the stock dialog font, made for the system dpi) where it fits, else its face at the
// height scaled from there: a new font, which the caller deletes once no control shows it.
HFONT FontForDpi(HFONT stock, int dpi);

}  // namespace runtime

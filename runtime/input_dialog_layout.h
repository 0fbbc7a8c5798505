#pragma once
// Where the prompt's and the copy window's controls go at a display scale. Both are drawn for
// 96 dpi; at another scale every edge moves by dpi / 96, so they keep their proportions and
// neighbouring controls stay flush. Portable: the Win32 layer places the windows.

namespace runtime {

struct Area {
  int x;
  int y;
  int width;
  int height;
};

struct InputDialogLayout {
  Area window;  // outer rectangle in screen coordinates, caption and border included
  Area label;   // the controls, in the window's client coordinates
  Area edit;
  Area button;
};

// `pixels` at 96 dpi, at `dpi`: rounded to the nearest pixel, halves away from zero. A dpi of
// 0 or less (a platform that could not tell) counts as 96.
int ScaleToDpi(int pixels, int dpi);

// The layout at `dpi` for a primary screen of `screenWidth` x `screenHeight` pixels: 300 x 130
// at 96 dpi (450 x 195 at 144), its centre on the screen's centre (halves taken by integer
// division, as at 96 dpi).
InputDialogLayout LayOutInputDialog(int dpi, int screenWidth, int screenHeight);

struct ProgressWindowLayout {
  Area window;  // outer rectangle in screen coordinates, caption and border included
  Area label;   // the controls, in the window's client coordinates
  Area bar;
  Area line;
  Area button;
};

// The copy's window at `dpi`: 420 x 174 at 96 dpi, centred like the prompt, the button at the
// right below the label of two lines, the bar and the line.
ProgressWindowLayout LayOutProgressWindow(int dpi, int screenWidth, int screenHeight);

}  // namespace runtime

#include "runtime/input_dialog_layout.h"

namespace runtime {
namespace {

constexpr int kBaseDpi = 96;

// A rectangle given by its edges at 96 dpi: each edge is scaled, not the size, so a control
// that ends where the next begins still does at every scale.
Area ScaledEdges(int left, int top, int right, int bottom, int dpi) {
  const int x = ScaleToDpi(left, dpi), y = ScaleToDpi(top, dpi);
  return {x, y, ScaleToDpi(right, dpi) - x, ScaleToDpi(bottom, dpi) - y};
}

}  // namespace

int ScaleToDpi(int pixels, int dpi) {
  if (dpi <= 0) dpi = kBaseDpi;
  const long long scaled = static_cast<long long>(pixels) * dpi;
  const long long half = kBaseDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kBaseDpi : (scaled - half) / kBaseDpi);
}

InputDialogLayout LayOutInputDialog(int dpi, int screenWidth, int screenHeight) {
  InputDialogLayout layout{};
  layout.window = {screenWidth / 2 - ScaleToDpi(150, dpi), screenHeight / 2 - ScaleToDpi(65, dpi),
                   ScaleToDpi(300, dpi), ScaleToDpi(130, dpi)};
  layout.label = ScaledEdges(10, 10, 290, 32, dpi);
  layout.edit = ScaledEdges(10, 32, 285, 53, dpi);
  layout.button = ScaledEdges(110, 67, 190, 92, dpi);
  return layout;
}

ProgressWindowLayout LayOutProgressWindow(int dpi, int screenWidth, int screenHeight) {
  ProgressWindowLayout layout{};
  layout.window = {screenWidth / 2 - ScaleToDpi(210, dpi), screenHeight / 2 - ScaleToDpi(87, dpi),
                   ScaleToDpi(420, dpi), ScaleToDpi(174, dpi)};
  layout.label = ScaledEdges(12, 12, 402, 44, dpi);  // two lines: the words, then the name
  layout.bar = ScaledEdges(12, 50, 402, 68, dpi);
  layout.line = ScaledEdges(12, 74, 402, 94, dpi);
  layout.button = ScaledEdges(312, 106, 402, 131, dpi);
  return layout;
}

}  // namespace runtime

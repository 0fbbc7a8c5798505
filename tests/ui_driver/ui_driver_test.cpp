// The driver's own parts that the dialog tests rest on: the PNG files it writes, the screen
// capture behind them, typed text arriving byte for byte, and the hex helpers.
#include "tests/ui_driver/ui_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t BigEndian(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct DecodedPng {
  std::string error;  // empty when the file is sound
  std::uint32_t width = 0, height = 0;
  Bytes rgb;  // filter bytes removed
};

DecodedPng Failed(const std::string& error) {
  DecodedPng out;
  out.error = error;
  return out;
}

// Reads back what EncodePng writes: chunks in order, stored deflate blocks, Adler-32, and
// the known CRC of the IEND chunk.
DecodedPng Decode(const Bytes& png) {
  DecodedPng out;
  const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(signature.begin(), signature.end(), png.begin()))
    return Failed("no PNG signature");
  std::size_t at = 8;
  Bytes zlib;
  std::string order;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = BigEndian(png, at);
    const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    if (at + 12 + length > png.size()) return Failed("chunk " + type + " runs past the end");
    const auto data = png.begin() + static_cast<std::ptrdiff_t>(at + 8);
    order += type + " ";
    if (type == "IHDR") {
      Bytes header(data, data + length);
      out.width = BigEndian(header, 0);
      out.height = BigEndian(header, 4);
      if (header[8] != 8 || header[9] != 2) return Failed("not 8-bit RGB");
    } else if (type == "IDAT") {
      zlib.insert(zlib.end(), data, data + length);
    } else if (type == "IEND") {
      if (BigEndian(png, at + 8) != 0xAE426082u) return Failed("wrong IEND CRC");
    }
    at += 12 + length;
  }
  if (order != "IHDR IDAT IEND ") return Failed("chunks: " + order);
  if (zlib.size() < 6 || zlib[0] != 0x78 || (zlib[0] * 256 + zlib[1]) % 31 != 0)
    return Failed("bad zlib header");
  Bytes raw;
  std::size_t z = 2;
  for (bool last = false; !last;) {
    if (z + 5 > zlib.size()) return Failed("deflate runs past the end");
    last = zlib[z] & 1;
    if ((zlib[z] >> 1) != 0) return Failed("not a stored block");
    const unsigned len = zlib[z + 1] | (zlib[z + 2] << 8);
    const unsigned nlen = zlib[z + 3] | (zlib[z + 4] << 8);
    if ((len ^ nlen) != 0xFFFF) return Failed("LEN and NLEN disagree");
    raw.insert(raw.end(), zlib.begin() + static_cast<std::ptrdiff_t>(z + 5),
               zlib.begin() + static_cast<std::ptrdiff_t>(z + 5 + len));
    z += 5 + len;
  }
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  if (z + 4 != zlib.size() || BigEndian(zlib, z) != ((b << 16) | a)) return Failed("bad Adler-32");
  const std::size_t row = std::size_t{out.width} * 3 + 1;
  if (raw.size() != row * out.height) return Failed("raw size " + std::to_string(raw.size()));
  for (std::size_t y = 0; y < out.height; ++y) {
    if (raw[y * row] != 0) return Failed("filter byte not 0");
    out.rgb.insert(out.rgb.end(), raw.begin() + static_cast<std::ptrdiff_t>(y * row + 1),
                   raw.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
  }
  return out;
}

TEST(Png, EncodedImagesDecodeToTheSamePixels) {
  // 1x1; odd widths; and images larger than one stored block (65535 bytes).
  const struct {
    int width, height;
  } sizes[] = {{1, 1}, {3, 2}, {301, 131}, {200, 400}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    Bytes rgb(static_cast<std::size_t>(size.width) * size.height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7 + i / 3);
    const DecodedPng decoded = Decode(ui::EncodePng(rgb.data(), size.width, size.height));
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.width, static_cast<std::uint32_t>(size.width));
    EXPECT_EQ(decoded.height, static_cast<std::uint32_t>(size.height));
    EXPECT_TRUE(decoded.rgb == rgb);
  }
  EXPECT_TRUE(ui::EncodePng(nullptr, 0, 0).empty());
}

TEST(Hex, RoundTripsEveryByte) {
  const struct {
    std::string bytes, hex, printable;
  } rows[] = {
      {"", "", ""},
      {"pak", "70616b", "pak"},
      {"\xfc" "ber", "fc626572", "\\xfcber"},
      {std::string("a\0b", 3), "610062", "a\\x00b"},
      {" x\\", "20785c", " x\\x5c"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ui::Hex(row.bytes), row.hex);
    EXPECT_EQ(ui::Hex(ui::FromHex(row.hex)), row.hex);
    EXPECT_EQ(ui::Printable(row.bytes), row.printable);
  }
  EXPECT_EQ(ui::FromHex("70FCzz61"), "p\xfc");  // stops at the first pair that is not hex
  EXPECT_EQ(ui::WindowsPath("/work/main/a b"), "Z:\\work\\main\\a b");
}

// A window of this process to type into and to photograph.
class OwnWindow {
 public:
  explicit OwnWindow(COLORREF colour) {
    brush_ = CreateSolidBrush(colour);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = brush_;
    windowClass.lpszClassName = "UiDriverTestWindow";
    RegisterClassExA(&windowClass);
    window = CreateWindowExA(WS_EX_TOPMOST, "UiDriverTestWindow", "driver test",
                             WS_POPUP | WS_VISIBLE, 101, 203, 151, 77, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 5, 5, 140, 20,
                           window, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(window);
    SetFocus(edit);
  }
  ~OwnWindow() {
    DestroyWindow(window);
    UnregisterClassA("UiDriverTestWindow", GetModuleHandleA(nullptr));
    DeleteObject(brush_);
  }
  // Handles this thread's messages until `done` holds or the time is up.
  template <typename Condition>
  bool PumpUntil(Condition done, DWORD timeoutMs = 3000) {
    const DWORD start = GetTickCount();
    MSG message;
    while (!done()) {
      if (GetTickCount() - start > timeoutMs) return false;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
  }
  std::string EditText() {
    char buffer[256] = {};
    GetWindowTextA(edit, buffer, sizeof buffer);
    return buffer;
  }

  HWND window = nullptr;
  HWND edit = nullptr;

 private:
  HBRUSH brush_ = nullptr;
};

TEST(Input, TypedTextArrivesByteForByte) {
  OwnWindow own(RGB(255, 255, 255));
  ASSERT_TRUE(own.PumpUntil([&] {
    return GetForegroundWindow() == own.window && GetFocus() == own.edit;
  })) << "foreground " << GetForegroundWindow();
  // Plain and shifted keys of the layout, and bytes the layout has no key for.
  const std::string texts[] = {"pak64", "Pak-Set_2 X!", "\xfc\xe4\xdf"};
  for (const std::string& text : texts) {
    SetWindowTextA(own.edit, "");
    ASSERT_TRUE(ui::TypeText(text));
    EXPECT_TRUE(own.PumpUntil([&] { return own.EditText() == text; }))
        << "typed " << ui::Printable(text) << ", got " << ui::Printable(own.EditText());
  }
  // Backspace with Shift held still deletes; Ctrl+A is a key, not a character.
  SetWindowTextA(own.edit, "ab");
  SendMessageA(own.edit, EM_SETSEL, 2, 2);
  ASSERT_TRUE(ui::PressKey(VK_BACK, ui::kShift));
  EXPECT_TRUE(own.PumpUntil([&] { return own.EditText() == "a"; })) << own.EditText();
}

TEST(Screenshot, CapturesTheWindowsPixels) {
  OwnWindow own(RGB(200, 40, 10));
  ASSERT_TRUE(own.PumpUntil([&] { return GetForegroundWindow() == own.window; }));
  ShowWindow(own.edit, SW_HIDE);
  UpdateWindow(own.window);
  own.PumpUntil([] { return false; }, 100);  // let the display draw
  const std::string path = ui::ArtifactPath("ui_driver_screenshot.png");
  ASSERT_TRUE(ui::SaveScreenshot(own.window, path));
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Bytes png;
  for (int c; (c = std::fgetc(file)) != EOF;) png.push_back(static_cast<unsigned char>(c));
  std::fclose(file);
  const DecodedPng decoded = Decode(png);
  ASSERT_EQ(decoded.error, "");
  EXPECT_EQ(decoded.width, 151u);
  EXPECT_EQ(decoded.height, 77u);
  // Every pixel is the window's colour, in R, G, B order, on every row (odd width: padded
  // rows in the capture).
  std::size_t wrong = 0;
  for (std::size_t i = 0; i + 2 < decoded.rgb.size(); i += 3)
    if (decoded.rgb[i] != 200 || decoded.rgb[i + 1] != 40 || decoded.rgb[i + 2] != 10) ++wrong;
  EXPECT_EQ(wrong, 0u) << "first pixel " << int{decoded.rgb[0]} << "," << int{decoded.rgb[1]}
                       << "," << int{decoded.rgb[2]};
}

}  // namespace

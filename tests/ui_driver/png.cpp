// PNG writing with stored (uncompressed) deflate blocks: a screenshot of a small dialog is a
// few hundred kilobytes, and no compression library is needed.
#include <cstdint>
#include <vector>

namespace ui {
namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t Adler32(const Bytes& data) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : data) {
    a = (a + byte) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

void PutBigEndian(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(Bytes& out, const char type[4], const Bytes& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<unsigned char> EncodePng(const unsigned char* rgb, int width, int height) {
  if (width <= 0 || height <= 0 || rgb == nullptr) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;

  Bytes raw;  // each row starts with filter type 0 (none)
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const unsigned char* row = rgb + rowBytes * static_cast<std::size_t>(y);
    raw.insert(raw.end(), row, row + rowBytes);
  }

  Bytes zlib = {0x78, 0x01};
  std::size_t offset = 0;
  do {
    std::size_t length = raw.size() - offset;
    if (length > 65535) length = 65535;
    bool last = offset + length == raw.size();
    zlib.push_back(last ? 1 : 0);
    auto len = static_cast<std::uint16_t>(length);
    auto nlen = static_cast<std::uint16_t>(~len);
    zlib.push_back(static_cast<unsigned char>(len & 0xFF));
    zlib.push_back(static_cast<unsigned char>(len >> 8));
    zlib.push_back(static_cast<unsigned char>(nlen & 0xFF));
    zlib.push_back(static_cast<unsigned char>(nlen >> 8));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                raw.begin() + static_cast<std::ptrdiff_t>(offset + length));
    offset += length;
  } while (offset < raw.size());
  PutBigEndian(zlib, Adler32(raw));

  Bytes header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filter 0, no interlace

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace ui

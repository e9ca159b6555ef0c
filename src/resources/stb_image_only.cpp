// The implementation of stb_image, limited to BMP, TGA, PNG and JPEG and to memory input.
// PNG and JPEG are what Windows decodes with (it has no libpng or libjpeg); elsewhere the
// tests hold them to the libpng and libjpeg readers.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#define STBI_FAILURE_USERMSG

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "resources/stb_image_only.h"
#pragma GCC diagnostic pop

#include <algorithm>

#include "resources/image_codecs.h"

namespace yulo {

namespace {

// Bytes of a TGA's colour map: its entries are whole bytes each (15-bit ones take two).
uint64_t TgaMapBytes(const uint8_t* header) {
  return header[1] == 1 ? uint64_t{ReadLe16(header + 5)} * ((header[7] + 7u) / 8) : 0;
}

bool TgaComplete(const uint8_t* data, size_t size) {
  if (size < 18) return false;
  const uint32_t idLength = data[0];
  const uint32_t imageType = data[2];
  const uint64_t width = ReadLe16(data + 12);
  const uint64_t height = ReadLe16(data + 14);
  const uint32_t bits = data[16];
  uint64_t offset = 18 + idLength + TgaMapBytes(data);
  const uint64_t pixelBytes = (bits + 7) / 8;
  const uint64_t pixels = width * height;
  if (offset > size || pixelBytes == 0) return false;
  if (imageType < 8) return size - offset >= pixels * pixelBytes;
  // Run-length packets: a header byte, then one pixel (a run) or count pixels (raw).
  uint64_t covered = 0;
  while (covered < pixels) {
    if (offset >= size) return false;
    const uint8_t header = data[offset++];
    const uint64_t count = (header & 0x7Fu) + 1u;
    const uint64_t bytes = (header & 0x80u) ? pixelBytes : count * pixelBytes;
    if (size - offset < bytes) return false;
    offset += bytes;
    covered += count;
  }
  return true;
}

bool BmpComplete(const uint8_t* data, size_t size) {
  if (size < 26) return false;
  const uint64_t offset = ReadLe32(data + 10);
  const uint32_t headerSize = ReadLe32(data + 14);
  uint64_t width = 0;
  uint64_t height = 0;
  uint32_t bits = 0;
  if (headerSize == 12) {
    width = ReadLe16(data + 18);
    height = ReadLe16(data + 20);
    bits = ReadLe16(data + 24);
  } else {
    if (size < 30) return false;
    const auto w = static_cast<int32_t>(ReadLe32(data + 18));
    const auto h = static_cast<int32_t>(ReadLe32(data + 22));
    if (w <= 0 || h == 0 || h == INT32_MIN) return false;
    width = static_cast<uint64_t>(w);
    height = static_cast<uint64_t>(h < 0 ? -h : h);
    bits = ReadLe16(data + 28);
  }
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  return offset <= size && size - offset >= rowBytes * height;
}

void PutLe16(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}
void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

// An uncompressed BMP with a 40-byte header: palette entries as four bytes (blue, green,
// red, unused), then rows of pixels padded to four bytes, in the order given by height.
void WriteBmp(int32_t width, int32_t height, uint32_t bits, const std::vector<uint8_t>& palette,
              const uint8_t* pixels, size_t pixelBytes, std::vector<uint8_t>* out) {
  const auto offset = static_cast<uint32_t>(14 + 40 + palette.size());
  out->clear();
  out->reserve(offset + pixelBytes);
  out->push_back('B');
  out->push_back('M');
  PutLe32(out, static_cast<uint32_t>(offset + pixelBytes));
  PutLe32(out, 0);
  PutLe32(out, offset);
  PutLe32(out, 40);
  PutLe32(out, static_cast<uint32_t>(width));
  PutLe32(out, static_cast<uint32_t>(height));
  PutLe16(out, 1);
  PutLe16(out, bits);
  PutLe32(out, 0);  // uncompressed
  PutLe32(out, static_cast<uint32_t>(pixelBytes));
  PutLe32(out, 2835);
  PutLe32(out, 2835);
  PutLe32(out, static_cast<uint32_t>(palette.size() / 4));
  PutLe32(out, 0);
  out->insert(out->end(), palette.begin(), palette.end());
  out->insert(out->end(), pixels, pixels + pixelBytes);
}

// The older 12-byte header: stb_image sizes its palette of three-byte entries as if the
// header were 24 bytes longer, and reads none of it.
StbInput RewriteCoreBmp(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  const uint32_t bits = ReadLe16(data + 24);
  if (bits != 1 && bits != 4 && bits != 8) return StbInput::kAsItIs;
  const uint32_t offset = ReadLe32(data + 10);
  if (offset < 26 || offset > size) return StbInput::kRefused;
  const uint32_t entries = std::min((offset - 26) / 3, 1u << bits);
  std::vector<uint8_t> palette;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = data + 26 + 3 * i;
    palette.insert(palette.end(), {e[0], e[1], e[2], 0});
  }
  WriteBmp(static_cast<int32_t>(ReadLe16(data + 18)), static_cast<int32_t>(ReadLe16(data + 20)),
           bits, palette, data + offset, size - offset, out);
  return StbInput::kRewritten;
}

// Run-length coded 8-bit and 4-bit pictures, which stb_image does not read: decoded here
// into indices (pixels the codes skip keep index 0) and written out uncompressed.
StbInput RewriteRunLengthBmp(const uint8_t* data, size_t size, uint32_t headerSize,
                             std::vector<uint8_t>* out) {
  const uint32_t bits = ReadLe16(data + 28);
  const uint32_t compression = ReadLe32(data + 30);
  if (!((compression == 1 && bits == 8) || (compression == 2 && bits == 4))) {
    return StbInput::kAsItIs;
  }
  const auto width = static_cast<int32_t>(ReadLe32(data + 18));
  const auto height = static_cast<int32_t>(ReadLe32(data + 22));
  if (width <= 0 || height == 0 || height == INT32_MIN) return StbInput::kRefused;
  const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
  if (!ImageSizeAllowed(static_cast<uint64_t>(width), rows)) return StbInput::kRefused;
  const uint32_t offset = ReadLe32(data + 10);
  const uint64_t paletteAt = 14 + uint64_t{headerSize};
  if (offset > size || offset < paletteAt) return StbInput::kRefused;
  uint32_t entries = ReadLe32(data + 46) == 0 ? 1u << bits : ReadLe32(data + 46);
  entries = std::min({entries, 1u << bits, static_cast<uint32_t>((offset - paletteAt) / 4)});
  const std::vector<uint8_t> palette(data + paletteAt, data + paletteAt + 4 * entries);

  const uint32_t columns = static_cast<uint32_t>(width);
  const size_t stride = (size_t{columns} + 3) / 4 * 4;
  std::vector<uint8_t> pixels(stride * rows, 0);
  uint32_t x = 0;
  uint32_t y = 0;
  // The i-th pixel of a packet: a byte each, or two to a byte, high half first.
  const auto pixel = [bits](const uint8_t* packet, uint32_t i) {
    return static_cast<uint8_t>(bits == 8    ? packet[i]
                                : i % 2 == 0 ? packet[i / 2] >> 4
                                             : packet[i / 2] & 15u);
  };
  // The next count pixels of the row from packet; those past the picture's edge are dropped.
  const auto put = [&](uint32_t count, const uint8_t* packet, bool repeated) {
    for (uint32_t i = 0; i < count && x + i < columns && y < rows; ++i)
      pixels[y * stride + x + i] = pixel(packet, repeated ? i % 2 : i);
    x += count;
  };
  size_t at = offset;
  for (;;) {
    if (size - at < 2) return StbInput::kRefused;  // cut off before its end code
    const uint32_t count = data[at];
    const uint32_t code = data[at + 1];
    at += 2;
    if (count > 0) {  // a run: one byte repeated (two alternating halves for 4 bits)
      const uint8_t run[2] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code)};
      put(count, run, true);
    } else if (code == 0) {  // end of row
      x = 0;
      ++y;
    } else if (code == 1) {  // end of picture
      break;
    } else if (code == 2) {  // move right and up
      if (size - at < 2) return StbInput::kRefused;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {  // code pixels stored as they are, padded to whole 16-bit words
      const size_t bytes = bits == 8 ? code : (code + 1) / 2;
      if (size - at < bytes) return StbInput::kRefused;
      put(code, data + at, false);
      at += std::min(bytes + (bytes & 1), size - at);
    }
  }
  WriteBmp(width, height, 8, palette, pixels.data(), pixels.size(), out);
  return StbInput::kRewritten;
}

}  // namespace

StbInput StbRewriteBmp(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  if (size < 26 || data[0] != 'B' || data[1] != 'M') return StbInput::kAsItIs;
  const uint32_t headerSize = ReadLe32(data + 14);
  if (headerSize == 12) return RewriteCoreBmp(data, size, out);
  if (headerSize < 40 || size < 14 + uint64_t{headerSize}) return StbInput::kAsItIs;
  return RewriteRunLengthBmp(data, size, headerSize, out);
}

StbInput StbRewriteTga(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  if (size < 18 || data[1] != 1) return StbInput::kAsItIs;
  const uint32_t first = ReadLe16(data + 3);
  if (first == 0) return StbInput::kAsItIs;
  // stb_image skips as many bytes as the map's first index and then reads the entries as
  // if they started at index 0: the map is given leading blank entries instead.
  const uint32_t length = ReadLe16(data + 5);
  const uint32_t entryBytes = (data[7] + 7u) / 8;
  const size_t mapAt = 18 + size_t{data[0]};
  const size_t mapBytes = TgaMapBytes(data);
  if (entryBytes == 0 || mapAt > size || size - mapAt < mapBytes) return StbInput::kRefused;
  const uint32_t total = std::min(first + length, 0xFFFFu);  // indices have 16 bits at most
  const size_t kept = size_t{total - first} * entryBytes;
  out->assign(data, data + mapAt);
  (*out)[3] = 0;
  (*out)[4] = 0;
  (*out)[5] = static_cast<uint8_t>(total);
  (*out)[6] = static_cast<uint8_t>(total >> 8);
  out->insert(out->end(), size_t{first} * entryBytes, 0);
  out->insert(out->end(), data + mapAt, data + mapAt + kept);
  out->insert(out->end(), data + mapAt + mapBytes, data + size);
  return StbInput::kRewritten;
}

void StbTgaMirrorRows(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                      uint32_t height) {
  if (size < 18 || (data[17] & 0x10) == 0) return;  // pixels stored left to right
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = rgba + size_t{y} * width * 4;
    for (uint32_t x = 0; x < width / 2; ++x)
      std::swap_ranges(row + 4 * x, row + 4 * x + 4, row + 4 * (width - 1 - x));
  }
}

void StbTgaAttributeAlpha(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                          uint32_t height) {
  if (size < 18 || data[16] != 16 || (data[17] & 0x0F) == 0) return;
  const uint32_t imageType = data[2];
  if (imageType != 2 && imageType != 10) return;
  if (ReadLe16(data + 12) != width || ReadLe16(data + 14) != height) return;
  uint64_t offset = 18 + uint64_t{data[0]} + TgaMapBytes(data);
  const bool topFirst = (data[17] & 0x20) != 0;
  const uint64_t pixels = uint64_t{width} * height;
  // The top bit of each 16-bit texel is its alpha; texels are walked in file order.
  uint64_t n = 0;
  const auto put = [&](uint32_t value) {
    const uint64_t row = n / width;
    const uint64_t y = topFirst ? row : height - 1 - row;
    rgba[(y * width + n % width) * 4 + 3] = (value & 0x8000u) ? 255 : 0;
    ++n;
  };
  while (n < pixels) {
    if (imageType == 2) {
      if (offset + 2 > size) return;
      put(ReadLe16(data + offset));
      offset += 2;
      continue;
    }
    if (offset >= size) return;
    const uint8_t header = data[offset++];
    const uint32_t count = (header & 0x7Fu) + 1u;
    for (uint32_t i = 0; i < count && n < pixels; ++i) {
      if (offset + 2 > size) return;
      put(ReadLe16(data + offset));
      if ((header & 0x80u) == 0 || i + 1 == count) offset += 2;
    }
  }
}

bool StbIsTga(const uint8_t* data, size_t size) {
  stbi__context context;
  stbi__start_mem(&context, data, static_cast<int>(size));
  return stbi__tga_test(&context) != 0;
}

bool StbPayloadComplete(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return BmpComplete(data, size);
  // PNG and JPEG carry their own structure, which their readers check as they go.
  if (size >= 8 && data[0] == 0x89 && data[1] == 'P') return true;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8) return true;
  return TgaComplete(data, size);
}

}  // namespace yulo

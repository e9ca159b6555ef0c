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

namespace yulo {

namespace {

uint32_t Le16(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
}
uint32_t Le32(const uint8_t* p) {
  return Le16(p) | (Le16(p + 2) << 16);
}

bool TgaComplete(const uint8_t* data, size_t size) {
  if (size < 18) return false;
  const uint32_t idLength = data[0];
  const uint32_t mapType = data[1];
  const uint32_t imageType = data[2];
  const uint32_t mapLength = Le16(data + 5);
  const uint32_t mapEntryBits = data[7];
  const uint64_t width = Le16(data + 12);
  const uint64_t height = Le16(data + 14);
  const uint32_t bits = data[16];
  uint64_t offset = 18 + idLength;
  if (mapType == 1) offset += (uint64_t{mapLength} * mapEntryBits + 7) / 8;
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
  const uint64_t offset = Le32(data + 10);
  const uint32_t headerSize = Le32(data + 14);
  uint64_t width = 0;
  uint64_t height = 0;
  uint32_t bits = 0;
  if (headerSize == 12) {
    width = Le16(data + 18);
    height = Le16(data + 20);
    bits = Le16(data + 24);
  } else {
    if (size < 30) return false;
    const auto w = static_cast<int32_t>(Le32(data + 18));
    const auto h = static_cast<int32_t>(Le32(data + 22));
    if (w <= 0 || h == 0 || h == INT32_MIN) return false;
    width = static_cast<uint64_t>(w);
    height = static_cast<uint64_t>(h < 0 ? -h : h);
    bits = Le16(data + 28);
  }
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  return offset <= size && size - offset >= rowBytes * height;
}

}  // namespace

void StbTgaAttributeAlpha(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                          uint32_t height) {
  if (size < 18 || data[16] != 16 || (data[17] & 0x0F) == 0) return;
  const uint32_t imageType = data[2];
  if (imageType != 2 && imageType != 10) return;
  if (Le16(data + 12) != width || Le16(data + 14) != height) return;
  uint64_t offset = 18 + uint64_t{data[0]};
  if (data[1] == 1) offset += (uint64_t{Le16(data + 5)} * data[7] + 7) / 8;
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
      put(Le16(data + offset));
      offset += 2;
      continue;
    }
    if (offset >= size) return;
    const uint8_t header = data[offset++];
    const uint32_t count = (header & 0x7Fu) + 1u;
    for (uint32_t i = 0; i < count && n < pixels; ++i) {
      if (offset + 2 > size) return;
      put(Le16(data + offset));
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

#include "render/texels.h"

namespace yulo {

void HalveRgba(const uint8_t* source, uint32_t width, uint32_t height, uint8_t* destination) {
  const uint32_t halfWidth = width > 1 ? width / 2 : 1;
  const uint32_t halfHeight = height > 1 ? height / 2 : 1;
  for (uint32_t y = 0; y < halfHeight; ++y) {
    // The last destination row (column) also takes an odd source row (column) left over,
    // so that no source texel is dropped from the chain.
    const uint32_t y0 = height > 1 ? y * 2 : 0;
    const uint32_t y1 = (y + 1 == halfHeight) ? height : y0 + 2;
    for (uint32_t x = 0; x < halfWidth; ++x) {
      const uint32_t x0 = width > 1 ? x * 2 : 0;
      const uint32_t x1 = (x + 1 == halfWidth) ? width : x0 + 2;
      uint32_t sum[4] = {0, 0, 0, 0};
      const uint32_t count = (x1 - x0) * (y1 - y0);
      for (uint32_t sy = y0; sy < y1; ++sy) {
        const uint8_t* row = source + (static_cast<uint64_t>(sy) * width + x0) * 4;
        for (uint32_t sx = x0; sx < x1; ++sx, row += 4) {
          for (int c = 0; c < 4; ++c) sum[c] += row[c];
        }
      }
      uint8_t* out = destination + (static_cast<uint64_t>(y) * halfWidth + x) * 4;
      for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
    }
  }
}

void RgbaRowToBgra(const uint8_t* rgba, uint32_t count, uint8_t* bgra) {
  for (uint32_t i = 0; i < count; ++i, rgba += 4, bgra += 4) {
    bgra[0] = rgba[2];
    bgra[1] = rgba[1];
    bgra[2] = rgba[0];
    bgra[3] = rgba[3];
  }
}

void XrgbToRgba(const uint8_t* source, uint32_t pitch, uint32_t width, uint32_t height,
                uint8_t* rgba) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = source + static_cast<uint64_t>(y) * pitch;
    for (uint32_t x = 0; x < width; ++x, in += 4, rgba += 4) {
      rgba[0] = in[2];
      rgba[1] = in[1];
      rgba[2] = in[0];
      rgba[3] = 255;
    }
  }
}

void Rgb565ToRgba(const uint8_t* source, uint32_t pitch, uint32_t width, uint32_t height,
                  uint8_t* rgba) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = source + static_cast<uint64_t>(y) * pitch;
    for (uint32_t x = 0; x < width; ++x, in += 2, rgba += 4) {
      const uint32_t texel = uint32_t{in[0]} | (uint32_t{in[1]} << 8);
      const uint32_t r = (texel >> 11) & 0x1F;
      const uint32_t g = (texel >> 5) & 0x3F;
      const uint32_t b = texel & 0x1F;
      rgba[0] = static_cast<uint8_t>((r << 3) | (r >> 2));
      rgba[1] = static_cast<uint8_t>((g << 2) | (g >> 4));
      rgba[2] = static_cast<uint8_t>((b << 3) | (b >> 2));
      rgba[3] = 255;
    }
  }
}

}  // namespace yulo

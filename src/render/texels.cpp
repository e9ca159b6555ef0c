#include "render/texels.h"

#include <cstddef>

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

void HalveIntoScratch(std::vector<uint8_t> (&scratch)[2], const uint8_t** level, uint32_t* width,
                      uint32_t* height) {
  std::vector<uint8_t>& next = OtherScratch(scratch, *level);
  const uint32_t halfWidth = *width > 1 ? *width / 2 : 1;
  const uint32_t halfHeight = *height > 1 ? *height / 2 : 1;
  next.resize(static_cast<std::size_t>(halfWidth) * halfHeight * 4);
  HalveRgba(*level, *width, *height, next.data());
  *level = next.data();
  *width = halfWidth;
  *height = halfHeight;
}

namespace {

uint32_t PowerOfTwoAtLeast(uint32_t n) {
  uint32_t p = 1;
  while (p < n && p < 0x80000000u) p <<= 1;
  return p;
}

uint32_t PowerOfTwoAtMost(uint32_t n) {
  uint32_t p = 1;
  while (p <= n / 2) p <<= 1;
  return p;
}

// Where destination texel i of count samples a side of size texels: the two texels and
// the second one's weight, in 1/256.
struct Tap {
  uint32_t first, second, weight;
};

Tap TapFor(uint32_t i, uint32_t size, uint32_t count) {
  const double at = (i + 0.5) * size / count - 0.5;
  if (at <= 0.0) return {0, 0, 0};
  if (at >= size - 1.0) return {size - 1, size - 1, 0};
  const auto first = static_cast<uint32_t>(at);
  return {first, first + 1, static_cast<uint32_t>((at - first) * 256.0 + 0.5)};
}

}  // namespace

void SupportedTextureSize(const TextureLimits& limits, uint32_t* width, uint32_t* height) {
  const uint32_t maxWidth = limits.maxWidth > 0 ? limits.maxWidth : 1;
  const uint32_t maxHeight = limits.maxHeight > 0 ? limits.maxHeight : 1;
  uint32_t w = *width > 0 ? *width : 1;
  uint32_t h = *height > 0 ? *height : 1;
  while (w > maxWidth) w /= 2;
  while (h > maxHeight) h /= 2;
  if (limits.square) w = h = w > h ? w : h;
  if (limits.powerOfTwo) {
    w = PowerOfTwoAtLeast(w);
    h = PowerOfTwoAtLeast(h);
  }
  if (w > maxWidth) w = limits.powerOfTwo ? PowerOfTwoAtMost(maxWidth) : maxWidth;
  if (h > maxHeight) h = limits.powerOfTwo ? PowerOfTwoAtMost(maxHeight) : maxHeight;
  if (limits.square) w = h = w < h ? w : h;
  *width = w;
  *height = h;
}

void ResizeRgba(const uint8_t* source, uint32_t width, uint32_t height, uint8_t* destination,
                uint32_t newWidth, uint32_t newHeight) {
  for (uint32_t y = 0; y < newHeight; ++y) {
    const Tap ty = TapFor(y, height, newHeight);
    const uint8_t* row0 = source + static_cast<uint64_t>(ty.first) * width * 4;
    const uint8_t* row1 = source + static_cast<uint64_t>(ty.second) * width * 4;
    for (uint32_t x = 0; x < newWidth; ++x, destination += 4) {
      const Tap tx = TapFor(x, width, newWidth);
      for (int c = 0; c < 4; ++c) {
        const uint32_t top =
            row0[tx.first * 4 + c] * (256 - tx.weight) + row0[tx.second * 4 + c] * tx.weight;
        const uint32_t bottom =
            row1[tx.first * 4 + c] * (256 - tx.weight) + row1[tx.second * 4 + c] * tx.weight;
        const uint32_t sum = top * (256 - ty.weight) + bottom * ty.weight;  // in 1/65536
        destination[c] = static_cast<uint8_t>((sum + 32768) >> 16);
      }
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

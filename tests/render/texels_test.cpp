// The texel conversions of the Direct3D 8 backend (texture upload, mip levels, back-buffer
// read-back), checked on plain memory.
#include "render/texels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace yulo {
namespace {

TEST(TexelsResult, HalvingAveragesEveryTexelOnceEvenAtOddEdges) {
  struct Case {
    uint32_t width, height, halfWidth, halfHeight;
  };
  // Odd sides fold their last row or column into the neighbour; 1 stays 1.
  for (const Case c : {Case{4, 2, 2, 1}, Case{5, 3, 2, 1}, Case{1, 7, 1, 3}, Case{3, 1, 1, 1}}) {
    std::vector<uint8_t> source(c.width * c.height * 4);
    uint32_t total = 0;
    for (uint32_t i = 0; i < c.width * c.height; ++i) {
      source[i * 4 + 0] = static_cast<uint8_t>(i * 10);  // red: varies per texel
      source[i * 4 + 1] = 7;                              // green: constant survives
      source[i * 4 + 3] = 255;
      total += i * 10;
    }
    std::vector<uint8_t> half(c.halfWidth * c.halfHeight * 4, 0xAB);
    HalveRgba(source.data(), c.width, c.height, half.data());
    for (uint32_t i = 0; i < c.halfWidth * c.halfHeight; ++i) {
      EXPECT_EQ(half[i * 4 + 1], 7) << c.width << "x" << c.height;
      EXPECT_EQ(half[i * 4 + 3], 255);
    }
    if (c.halfWidth * c.halfHeight == 1) {
      // One destination texel: the rounded mean of all source texels.
      const uint32_t count = c.width * c.height;
      EXPECT_EQ(half[0], (total + count / 2) / count) << c.width << "x" << c.height;
    }
  }
  const uint8_t quad[16] = {0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 254, 254, 254, 254};
  uint8_t mean[4] = {};
  HalveRgba(quad, 2, 2, mean);
  EXPECT_EQ(mean[0], 127);  // 509 / 4 = 127.25
}

TEST(TexelsResult, PackedFormatsConvertChannelForChannel) {
  const uint8_t rgba[8] = {1, 2, 3, 4, 250, 251, 252, 253};
  uint8_t bgra[8] = {};
  RgbaRowToBgra(rgba, 2, bgra);
  EXPECT_EQ((std::vector<uint8_t>(bgra, bgra + 8)),
            (std::vector<uint8_t>{3, 2, 1, 4, 252, 251, 250, 253}));

  // Two rows of one texel, with padding between them (pitch 8).
  const uint8_t xrgb[16] = {30, 20, 10, 0, 99, 99, 99, 99, 3, 2, 1, 77, 99, 99, 99, 99};
  uint8_t out[8] = {};
  XrgbToRgba(xrgb, 8, 1, 2, out);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 8)),
            (std::vector<uint8_t>{10, 20, 30, 255, 1, 2, 3, 255}));

  // R5G6B5: full channels widen to 255, empty ones stay 0, mid values repeat their top bits.
  const uint16_t texels[3] = {0xF800, 0x07E0, 0x8410};
  uint8_t wide[12] = {};
  Rgb565ToRgba(reinterpret_cast<const uint8_t*>(texels), 6, 3, 1, wide);
  EXPECT_EQ((std::vector<uint8_t>(wide, wide + 12)),
            (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 132, 130, 132, 255}));
}

}  // namespace
}  // namespace yulo

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
      source[i * 4 + 1] = 7;                             // green: constant survives
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

TEST(TexelsResult, TextureSizesFollowWhatTheDeviceTakes) {
  struct Case {
    TextureLimits limits;
    uint32_t width, height, fitWidth, fitHeight;
  };
  const TextureLimits any{};
  const TextureLimits pow2{2048, 2048, true, false};
  const TextureLimits square{2048, 2048, false, true};
  const TextureLimits small{256, 128, true, true};
  for (const Case& c :
       {Case{any, 192, 64, 192, 64}, Case{any, 4096, 100, 2048, 100}, Case{pow2, 192, 64, 256, 64},
        Case{pow2, 256, 256, 256, 256}, Case{pow2, 1, 3, 1, 4}, Case{square, 192, 64, 192, 192},
        Case{small, 192, 64, 128, 128}, Case{small, 1000, 3000, 128, 128},
        Case{TextureLimits{1536, 1536, true, false}, 1400, 10, 1024, 16}}) {
    uint32_t w = c.width;
    uint32_t h = c.height;
    SupportedTextureSize(c.limits, &w, &h);
    EXPECT_EQ(w, c.fitWidth) << c.width << "x" << c.height;
    EXPECT_EQ(h, c.fitHeight) << c.width << "x" << c.height;
  }
}

TEST(TexelsResult, ResizingFiltersBetweenTexelCentres) {
  // A ramp of two texels stretched to four: the outer texels keep the edge values, the
  // inner ones lie a quarter of the way in from each side; a constant channel stays.
  const uint8_t ramp[8] = {0, 9, 0, 255, 255, 9, 0, 255};
  uint8_t wide[16] = {};
  ResizeRgba(ramp, 2, 1, wide, 4, 1);
  EXPECT_EQ((std::vector<uint8_t>(wide, wide + 16)),
            (std::vector<uint8_t>{0, 9, 0, 255, 64, 9, 0, 255, 191, 9, 0, 255, 255, 9, 0, 255}));
  // Down to one texel of a 2 x 2 picture: the mean; up from one: copies.
  const uint8_t quad[16] = {0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0};
  uint8_t one[4] = {};
  ResizeRgba(quad, 2, 2, one, 1, 1);
  EXPECT_EQ(one[0], 50);
  uint8_t copies[12] = {};
  ResizeRgba(one, 1, 1, copies, 3, 1);
  EXPECT_EQ(copies[0], 50);
  EXPECT_EQ(copies[8], 50);
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

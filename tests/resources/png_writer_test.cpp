#include "resources/png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "resources/image_decoder.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

std::vector<uint8_t> Pattern(uint32_t width, uint32_t height) {
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(i * 7 + (i >> 5));
  return rgba;
}

// The file decodes (through the independent libpng reader) to the same colours, opaque,
// whatever alpha the frame held; the odd sizes exercise the row filter's edges.
TEST(PngEncoder, FilesDecodeToTheSameOpaqueColours) {
  for (const auto& [w, h] : {std::pair{1u, 1u}, {5u, 3u}, {97u, 41u}}) {
    const std::vector<uint8_t> rgba = Pattern(w, h);
    PngEncoder encoder;
    ASSERT_TRUE(encoder.Encode(rgba.data(), w, h));
    EXPECT_EQ(encoder.Data()[25], 2) << "colour type RGB";
    DecodedImage image;
    ASSERT_TRUE(DecodeImage(encoder.Data(), encoder.Size(), &image));
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    std::vector<uint8_t> expected = rgba;
    for (size_t i = 3; i < expected.size(); i += 4) expected[i] = 255;
    EXPECT_EQ(image.rgba, expected) << w << "x" << h;
  }
}

// Same pixels, same bytes: from a reused encoder after another size, and from a new one.
TEST(PngEncoder, BytesDependOnlyOnThePixels) {
  const std::vector<uint8_t> big = Pattern(64, 48), small = Pattern(7, 5);
  PngEncoder first;
  ASSERT_TRUE(first.Encode(big.data(), 64, 48));
  const std::vector<uint8_t> once(first.Data(), first.Data() + first.Size());
  ASSERT_TRUE(first.Encode(small.data(), 7, 5));
  ASSERT_TRUE(first.Encode(big.data(), 64, 48));
  EXPECT_EQ(std::vector<uint8_t>(first.Data(), first.Data() + first.Size()), once);
  PngEncoder second;
  ASSERT_TRUE(second.Encode(big.data(), 64, 48));
  EXPECT_EQ(std::vector<uint8_t>(second.Data(), second.Data() + second.Size()), once);
  EXPECT_FALSE(second.Encode(big.data(), 0, 48));
}

TEST(PngEncoder, WritesTheFileOrLeavesNone) {
  test::ScopedTempDir dir;
  const std::vector<uint8_t> rgba = Pattern(5, 3);
  ASSERT_TRUE(WritePng("frame.png", rgba.data(), 5, 3));
  std::FILE* file = std::fopen("frame.png", "rb");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> bytes(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  PngEncoder encoder;
  ASSERT_TRUE(encoder.Encode(rgba.data(), 5, 3));
  EXPECT_EQ(bytes, std::vector<uint8_t>(encoder.Data(), encoder.Data() + encoder.Size()));
  EXPECT_FALSE(WritePng("no/such/folder/frame.png", rgba.data(), 5, 3));
  EXPECT_EQ(std::fopen("no/such/folder/frame.png", "rb"), nullptr);
}

}  // namespace
}  // namespace yulo

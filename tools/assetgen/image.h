// Float RGBA images for the procedural textures, and the small encoders that turn them
// into TGA, BMP and PNG files. Rows are stored top first; channels are 0..1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yulo::assetgen {

struct Rgba {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
};

Rgba Mix(Rgba a, Rgba b, float t);  // a + (b - a) * t, alpha included
Rgba Scale(Rgba c, float k);        // colour channels times k, alpha kept

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // width * height, row 0 is the top row

  Image() = default;
  Image(int w, int h, Rgba fill = {});
  Rgba& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgba& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Source-over compositing of c with extra coverage 0..1 (clipped to the image).
  void Blend(int x, int y, Rgba c, float coverage);
  // Adds c * amount to the colour channels (clipped to the image; alpha untouched).
  void Add(int x, int y, Rgba c, float amount);
};

// 8-bit quantisation with rounding, clamped to 0..255.
uint8_t ToByte(float v);

// Uncompressed true-colour TGA, rows bottom first (the format's default origin);
// 32 bits with an 8-bit alpha channel when withAlpha, else 24 bits.
std::vector<uint8_t> EncodeTga(const Image& image, bool withAlpha);
// 24-bit bottom-up Windows bitmap with a 40-byte info header.
std::vector<uint8_t> EncodeBmp(const Image& image);
// 8-bit RGBA PNG at the highest compression; false when libpng fails.
bool EncodePng(const Image& image, std::vector<uint8_t>* out);

}  // namespace yulo::assetgen

// Texel conversions between the engine's RGBA8 pictures and the packed formats of device
// surfaces, and the box filter that makes mip levels. Functions over caller memory.
#pragma once

#include <cstdint>
#include <vector>

namespace yulo {

// The next mip level of a width x height RGBA8 picture: max(1, width / 2) x
// max(1, height / 2) texels, each the rounded mean of the 2 x 2 (at an odd edge: 2 x 1,
// 1 x 2 or 1 x 1) texels it covers. An odd last row or column folds into its neighbour.
void HalveRgba(const uint8_t* source, uint32_t width, uint32_t height, uint8_t* destination);

// Of two scratch pictures, the one level does not point into.
inline std::vector<uint8_t>& OtherScratch(std::vector<uint8_t> (&scratch)[2],
                                          const uint8_t* level) {
  return scratch[0].data() == level ? scratch[1] : scratch[0];
}
// A chain of levels made in two scratch pictures: HalveRgba of the *width x *height
// picture at *level into the other scratch picture, which *level, *width and *height then
// describe.
void HalveIntoScratch(std::vector<uint8_t> (&scratch)[2], const uint8_t** level, uint32_t* width,
                      uint32_t* height);

// What a device takes as a texture's size.
struct TextureLimits {
  uint32_t maxWidth = 2048;
  uint32_t maxHeight = 2048;
  bool powerOfTwo = false;  // each side a power of two
  bool square = false;      // both sides equal
};

// The nearest size the device takes for a width x height picture: halved while past its
// maximum; each side rounded up to a power of two where it asks for those (down where up
// would pass the maximum); both sides the larger where it asks for squares.
void SupportedTextureSize(const TextureLimits& limits, uint32_t* width, uint32_t* height);

// A width x height RGBA8 picture resampled to newWidth x newHeight by bilinear filtering
// between texel centres (edges clamped), each channel rounded.
void ResizeRgba(const uint8_t* source, uint32_t width, uint32_t height, uint8_t* destination,
                uint32_t newWidth, uint32_t newHeight);

// One row of RGBA8 texels as A8R8G8B8 (bytes B, G, R, A in memory).
void RgbaRowToBgra(const uint8_t* rgba, uint32_t count, uint8_t* bgra);

// Back-buffer rows (pitch bytes apart, row 0 at the top) as tightly packed RGBA8 with
// alpha 255: X8R8G8B8 / A8R8G8B8 (bytes B, G, R, x) or R5G6B5 (each channel widened by
// repeating its top bits, so 0 stays 0 and full stays 255).
void XrgbToRgba(const uint8_t* source, uint32_t pitch, uint32_t width, uint32_t height,
                uint8_t* rgba);
void Rgb565ToRgba(const uint8_t* source, uint32_t pitch, uint32_t width, uint32_t height,
                  uint8_t* rgba);

}  // namespace yulo

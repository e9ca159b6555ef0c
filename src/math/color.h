// Packed colour: bytes blue, green, red, alpha, so the little-endian word reads 0xAARRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

struct ColorARGB {
  uint8_t b;
  uint8_t g;
  uint8_t r;
  uint8_t a;

  // Default construction leaves the bytes unset; arrays of colours are filled explicitly.
  ColorARGB() = default;
  ColorARGB(int red, int green, int blue, int alpha) { Set(red, green, blue, alpha); }

  // Stores the low 8 bits of each channel.
  ColorARGB& Set(int red, int green, int blue, int alpha) {
    r = static_cast<uint8_t>(red);
    g = static_cast<uint8_t>(green);
    b = static_cast<uint8_t>(blue);
    a = static_cast<uint8_t>(alpha);
    return *this;
  }
  // The colour as the 32-bit value 0xAARRGGBB.
  uint32_t Value() const {
    return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | uint32_t{b};
  }
};
static_assert(sizeof(ColorARGB) == 4);
static_assert(offsetof(ColorARGB, b) == 0 && offsetof(ColorARGB, a) == 3);

}  // namespace yulo

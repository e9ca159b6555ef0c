// Degree trigonometry and the table-driven square root.
#pragma once

#include <bit>
#include <cstdint>

namespace yulo {

// Degrees to radians, rounded to single precision (bit pattern 0x3C8EFA35).
inline constexpr float DegToRad = 0.017453292f;

// Sine and cosine of radians, in single precision.
float Sin(float radians);
float Cos(float radians);

// Sine and cosine of an angle in degrees: the angle times DegToRad, rounded to float first.
float SinDeg(float degrees);
float CosDeg(float degrees);

namespace detail {
extern uint32_t sqrtTable[65536];  // mantissas of the roots; filled by BuildSqrtTable
}

// Square root of a non-negative finite x from a 64K-entry table (about 16 bits of
// precision; exact for 0, 0.25, 1, 4, 100, ...). BuildSqrtTable must have run. Inline:
// the skinning and particle loops call it per vertex.
inline float FastSqrt(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  if (bits == 0) return 0.0f;
  // Halving the unbiased exponent: the subtraction may wrap for x < 1, the mask fixes it.
  const uint32_t exponent = (((bits - 0x3F800000u) >> 1) + 0x3F800000u) & 0x7F800000u;
  // The lowest exponent bit picks the half of the table, the top 15 mantissa bits the entry.
  const uint32_t index = (bits >> 8) & 0xFFFFu;
  return std::bit_cast<float>(exponent | detail::sqrtTable[index]);
}

// Fills the FastSqrt table (256 KiB). Called once at start-up; calling it again is harmless.
void BuildSqrtTable();

}  // namespace yulo

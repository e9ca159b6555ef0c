// Degree trigonometry and the table-driven square root.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The table's root of the float with these bits.
inline float TableSqrt(uint32_t bits) {
  if (bits == 0) return 0.0f;
  // Halving the unbiased exponent: the subtraction may wrap for x < 1, the mask fixes it.
  const uint32_t exponent = (((bits - 0x3F800000u) >> 1) + 0x3F800000u) & 0x7F800000u;
  // The lowest exponent bit picks the half of the table, the top 15 mantissa bits the entry.
  const uint32_t index = (bits >> 8) & 0xFFFFu;
  return std::bit_cast<float>(exponent | sqrtTable[index]);
}
}  // namespace detail

// The mantissa bits FastSqrt leaves out of its input.
inline constexpr uint32_t kSqrtIgnoredBitsMask = ~0xFFu;

// True when the float with these bits is positive, finite and not subnormal.
inline constexpr bool IsPositiveNormal(uint32_t bits) {
  return bits - 0x00800000u < 0x7F000000u;
}

// Square root of a non-negative finite x from a 64K-entry table (about 16 bits of
// precision; exact for 0, 0.25, 1, 4, 100, ...). BuildSqrtTable must have run. Inline:
// the skinning and particle loops call it per vertex.
//
// Each table entry is the correctly rounded root of its input with the low eight mantissa
// bits cleared (a root rounded in double and then to float is rounded correctly). So for
// a positive normal x the processor's square root of x with those bits cleared gives the
// same bits without the table's memory traffic; zero, subnormals and non-finite inputs
// still take the table's path.
inline float FastSqrt(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
#if defined(__SSE2__)
  if (IsPositiveNormal(bits)) {
    return _mm_cvtss_f32(_mm_sqrt_ss(
        _mm_castsi128_ps(_mm_cvtsi32_si128(static_cast<int>(bits & kSqrtIgnoredBitsMask)))));
  }
#endif
  return detail::TableSqrt(bits);
}

// Fills the FastSqrt table (256 KiB). Called once at start-up; calling it again is harmless.
void BuildSqrtTable();

}  // namespace yulo

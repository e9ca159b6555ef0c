#include "math/scalar.h"

#include <bit>
#include <cmath>

namespace yulo {

namespace {
uint32_t sqrtTable[65536];
}

float Sin(float radians) {
  return std::sin(radians);
}
float Cos(float radians) {
  return std::cos(radians);
}

float SinDeg(float degrees) {
  const float radians = degrees * DegToRad;
  return Sin(radians);
}

float CosDeg(float degrees) {
  const float radians = degrees * DegToRad;
  return Cos(radians);
}

float FastSqrt(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  if (bits == 0) return 0.0f;
  // Halving the unbiased exponent: the subtraction may wrap for x < 1, the mask fixes it.
  const uint32_t exponent = (((bits - 0x3F800000u) >> 1) + 0x3F800000u) & 0x7F800000u;
  // The lowest exponent bit picks the half of the table, the top 15 mantissa bits the entry.
  const uint32_t index = (bits >> 8) & 0xFFFFu;
  return std::bit_cast<float>(exponent | sqrtTable[index]);
}

void BuildSqrtTable() {
  for (uint32_t i = 0; i < 32768; ++i) {
    const float odd = std::bit_cast<float>(0x3F800000u | (i << 8));   // [1, 2)
    const float even = std::bit_cast<float>(0x40000000u | (i << 8));  // [2, 4)
    const float rootOdd = static_cast<float>(std::sqrt(static_cast<double>(odd)));
    const float rootEven = static_cast<float>(std::sqrt(static_cast<double>(even)));
    sqrtTable[32768 + i] = std::bit_cast<uint32_t>(rootOdd) & 0x7FFFFFu;
    sqrtTable[i] = std::bit_cast<uint32_t>(rootEven) & 0x7FFFFFu;
  }
}

}  // namespace yulo

#include "math/scalar.h"

#include <bit>
#include <cmath>

namespace yulo {

namespace detail {
uint32_t sqrtTable[65536];
}
using detail::sqrtTable;

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

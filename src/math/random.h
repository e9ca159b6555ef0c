// The engine's random generator: 16-bit values from a fixed 256-byte permutation through
// two cursors. One process-wide generator; the sequence repeats every 256 draws.
#pragma once

#include <cstdint>

namespace yulo {

// The generator's table: a permutation of 0..255, constant.
extern const uint8_t RandomTable[256];

// lo = seed mod 256, hi = (seed div 256) mod 256.
void RandomSeed(uint32_t seed);
// 0 .. n - 1 (n >= 1).
int RandomInt(int n);
// [-x, x): v / 32768 * x - x.
float RandomSigned(float x);
// [0, x): v * x / 65536.
float RandomFloat(float x);

}  // namespace yulo

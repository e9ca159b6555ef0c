// Deterministic randomness for the generator: a small PCG generator and tileable value
// noise. Nothing here reads the clock, so every run writes the same bytes.
#pragma once

#include <cstdint>

namespace yulo::assetgen {

class Rng {
 public:
  explicit Rng(uint64_t seed);
  uint32_t Next();
  float Uniform();                  // [0, 1)
  float Range(float lo, float hi);  // [lo, hi)
  int Below(int n);                 // 0 .. n - 1, n >= 1

 private:
  uint64_t state_;
};

// Hash of a lattice point and a seed to [0, 1).
float Hash2(int x, int y, uint32_t seed);

// Value noise in [0, 1) with smooth interpolation. The lattice wraps every `period`
// cells in x and y (period <= 0: no wrap), so noise sampled over [0, period) tiles.
float ValueNoise(float x, float y, int period, uint32_t seed);

// Sum of `octaves` ValueNoise layers, each of double frequency and half amplitude,
// normalised to [0, 1). With a period, every octave still tiles over the base period.
float Fbm(float x, float y, int period, int octaves, uint32_t seed);

float SmoothStep(float edge0, float edge1, float x);

}  // namespace yulo::assetgen

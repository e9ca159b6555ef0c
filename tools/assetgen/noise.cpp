#include "noise.h"

#include <algorithm>
#include <cmath>

namespace yulo::assetgen {

Rng::Rng(uint64_t seed) : state_(seed * 6364136223846793005ull + 1442695040888963407ull) {
  Next();
}

uint32_t Rng::Next() {
  const uint64_t old = state_;
  state_ = old * 6364136223846793005ull + 1442695040888963407ull;
  const uint32_t xorShifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
  const uint32_t rot = static_cast<uint32_t>(old >> 59u);
  return (xorShifted >> rot) | (xorShifted << ((32u - rot) & 31u));
}

float Rng::Uniform() {
  return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f);
}

float Rng::Range(float lo, float hi) {
  return lo + (hi - lo) * Uniform();
}

int Rng::Below(int n) {
  return static_cast<int>(Next() % static_cast<uint32_t>(n));
}

float Hash2(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
               seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

namespace {

int Wrap(int v, int period) {
  if (period <= 0) return v;
  const int m = v % period;
  return m < 0 ? m + period : m;
}

}  // namespace

float ValueNoise(float x, float y, int period, uint32_t seed) {
  const float fx = std::floor(x);
  const float fy = std::floor(y);
  const int ix = static_cast<int>(fx);
  const int iy = static_cast<int>(fy);
  float tx = x - fx;
  float ty = y - fy;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  const int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
  const int y0 = Wrap(iy, period), y1 = Wrap(iy + 1, period);
  const float a = Hash2(x0, y0, seed), b = Hash2(x1, y0, seed);
  const float c = Hash2(x0, y1, seed), d = Hash2(x1, y1, seed);
  const float top = a + (b - a) * tx;
  const float bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

float Fbm(float x, float y, int period, int octaves, uint32_t seed) {
  float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    sum += ValueNoise(x, y, period, seed + static_cast<uint32_t>(o) * 101u) * amplitude;
    total += amplitude;
    amplitude *= 0.5f;
    x *= 2.0f;
    y *= 2.0f;
    if (period > 0) period *= 2;
  }
  return sum / total;
}

float SmoothStep(float edge0, float edge1, float x) {
  const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

}  // namespace yulo::assetgen

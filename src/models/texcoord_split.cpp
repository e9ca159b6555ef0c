#include "models/texcoord_split.h"

#include <cstring>

namespace yulo {

namespace {

uint32_t KeyBits(float f) {
  if (f == 0.0f) f = 0.0f;  // -0 and 0 compare equal, so they must hash equal
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

struct Slot {
  int32_t source;  // -1: empty
  uint32_t u;
  uint32_t v;
  int32_t vertex;
};

uint32_t Hash(int32_t source, uint32_t u, uint32_t v) {
  uint64_t h = static_cast<uint64_t>(uint32_t(source)) * 0x9E3779B97F4A7C15ull;
  h ^= (static_cast<uint64_t>(u) << 32 | v) * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return static_cast<uint32_t>(h >> 32);
}

}  // namespace

void SplitByTexCoord(const int32_t* cornerSource, const Vector2* cornerTexCoord,
                     int32_t cornerCount, int32_t sourceCount, TexCoordSplit* out) {
  out->source.clear();
  out->texCoord.clear();
  out->cornerVertex.assign(static_cast<size_t>(cornerCount), 0);
  out->source.reserve(static_cast<size_t>(cornerCount) + static_cast<size_t>(sourceCount));
  out->texCoord.reserve(static_cast<size_t>(cornerCount) + static_cast<size_t>(sourceCount));

  // Corners grouped by source, keeping corner order inside each group (a counting sort).
  std::vector<int32_t> start(static_cast<size_t>(sourceCount) + 1, 0);
  for (int32_t i = 0; i < cornerCount; ++i) ++start[static_cast<size_t>(cornerSource[i]) + 1];
  for (int32_t k = 0; k < sourceCount; ++k)
    start[static_cast<size_t>(k) + 1] += start[static_cast<size_t>(k)];
  std::vector<int32_t> next(start.begin(), start.end() - 1);
  std::vector<int32_t> grouped(static_cast<size_t>(cornerCount));
  for (int32_t i = 0; i < cornerCount; ++i)
    grouped[static_cast<size_t>(next[static_cast<size_t>(cornerSource[i])]++)] = i;

  // The source is part of the key, so the table never needs clearing between sources.
  size_t capacity = 16;
  while (capacity < 2 * static_cast<size_t>(cornerCount)) capacity *= 2;
  std::vector<Slot> table(capacity, Slot{-1, 0, 0, 0});
  const size_t mask = capacity - 1;

  Vector2 current;
  for (int32_t k = 0; k < sourceCount; ++k) {
    const int32_t first = start[static_cast<size_t>(k)];
    const int32_t last = start[static_cast<size_t>(k) + 1];
    if (first == last) {
      out->source.push_back(k);
      out->texCoord.push_back(current);
      continue;
    }
    for (int32_t g = first; g < last; ++g) {
      const int32_t corner = grouped[static_cast<size_t>(g)];
      const Vector2 uv = cornerTexCoord[corner];
      int32_t vertex = -1;
      Slot* slot = nullptr;
      if (uv.x == uv.x && uv.y == uv.y) {  // NaN never matches, not even itself
        const uint32_t u = KeyBits(uv.x);
        const uint32_t v = KeyBits(uv.y);
        for (size_t h = Hash(k, u, v) & mask;; h = (h + 1) & mask) {
          Slot& s = table[h];
          if (s.source == -1) {
            slot = &s;
            break;
          }
          if (s.source == k && s.u == u && s.v == v) {
            vertex = s.vertex;
            break;
          }
        }
        if (slot) *slot = Slot{k, u, v, static_cast<int32_t>(out->source.size())};
      }
      if (vertex < 0) {
        vertex = static_cast<int32_t>(out->source.size());
        out->source.push_back(k);
        out->texCoord.push_back(uv);
        current = uv;
      }
      out->cornerVertex[static_cast<size_t>(corner)] = vertex;
    }
  }
}

}  // namespace yulo

// The texture-coordinate split as first written, for comparison with the linear one.
#pragma once

#include <vector>

#include "models/texcoord_split.h"

namespace yulo::test {

// The rule as first written: per source, repeated passes over every corner; the first
// unassigned candidate of a pass fixes the coordinate, exact matches join it, the rest
// wait for the next pass. Quadratic, kept here as the reference for the fast split.
inline void ReferenceSplit(const int32_t* cornerSource, const Vector2* uv, int32_t cornerCount,
                           int32_t sourceCount, TexCoordSplit* out) {
  out->source.clear();
  out->texCoord.clear();
  out->cornerVertex.assign(size_t(cornerCount), -1);
  std::vector<bool> assigned(size_t(cornerCount), false);
  Vector2 current;
  for (int32_t k = 0; k < sourceCount; ++k) {
    bool leftOver;
    do {
      leftOver = false;
      bool started = false;
      const int32_t vertex = int32_t(out->source.size());
      for (int32_t c = 0; c < cornerCount; ++c) {
        if (cornerSource[c] != k || assigned[size_t(c)]) continue;
        if (!started) {
          started = true;
          current = uv[c];
        } else if (!(uv[c].x == current.x && uv[c].y == current.y)) {
          leftOver = true;
          continue;
        }
        assigned[size_t(c)] = true;
        out->cornerVertex[size_t(c)] = vertex;
      }
      out->source.push_back(k);
      out->texCoord.push_back(current);
    } while (leftOver);
  }
}

}  // namespace yulo::test

// Splitting shared positions by texture coordinate: every distinct (position, coordinate)
// pair of the triangle corners becomes one render vertex.
#pragma once

#include <cstdint>
#include <vector>

#include "math/vector.h"

namespace yulo {

struct TexCoordSplit {
  std::vector<int32_t> source;        // per render vertex: the position it copies
  std::vector<Vector2> texCoord;      // per render vertex: its coordinate, as given
  std::vector<int32_t> cornerVertex;  // per corner: its render vertex
};

// Sources are visited in order 0..sourceCount-1; the render vertices of one source are
// numbered consecutively, in the order in which their coordinates first appear among the
// corners. Coordinates match only when u and v compare exactly equal (so NaN matches
// nothing and -0 matches 0). A source that no corner uses still gets one render vertex,
// carrying the coordinate of the vertex emitted before it ((0, 0) for the first).
// Every cornerSource[i] must lie in [0, sourceCount). Runs in expected linear time.
void SplitByTexCoord(const int32_t* cornerSource, const Vector2* cornerTexCoord,
                     int32_t cornerCount, int32_t sourceCount, TexCoordSplit* out);

}  // namespace yulo

// Whether a textured draw can only ever magnify its texture. Where every pixel's level of
// detail is below zero, GL samples the top level with the magnification filter whatever
// the mip filter says, so the draw may go without mip filtering (the rasteriser then
// skips the level-of-detail work per pixel) and give the same bytes. CPU only, no GL.
#pragma once

#include <cstdint>

#include "math/matrix.h"

namespace yulo {

// One indexed triangle list, as the device is about to draw it.
struct MagnifyDraw {
  const uint8_t* vertices = nullptr;     // the vertex buffer's bytes
  uint32_t vertexCount = 0;              // whole vertices in those bytes
  uint32_t stride = 0;                   // bytes per vertex
  uint32_t texOffset = 0;                // byte offset of the two texture coordinates
  const uint8_t* indices = nullptr;      // the index buffer's bytes, from the first index drawn
  uint32_t indexSize = 2;                // 2 or 4
  uint32_t indexCount = 0;               // three per triangle
  uint32_t baseVertex = 0;               // added to every index
  Matrix4 clip;                          // object space to clip space (row vectors)
  float texLinear[4] = {1, 0, 0, 1};     // m00 m01 m10 m11: u' = u m00 + v m10, v' = u m01 + v m11
  uint32_t texWidth = 1, texHeight = 1;  // texels of the top level
  uint32_t viewWidth = 1, viewHeight = 1;  // pixels of the viewport
};

// True when, for every triangle that can reach the viewport, fewer than 0.9 texels
// provably fall on a pixel anywhere within two pixels of it (the rasteriser's 2x2 quads
// included): a level of detail below -0.15, clear of the rounding in the rasteriser's own
// estimate. False when that can't be shown: a triangle crossing the eye plane, a sliver,
// an index out of range, texels that may come out smaller.
bool DrawOnlyMagnifies(const MagnifyDraw& draw);

}  // namespace yulo

// The proof that a draw only magnifies its texture: CPU only, no GL context.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/gl/gl_magnify.h"

namespace yulo {
namespace {

struct TexVertex {
  float x, y, z, u, v;
};

constexpr uint32_t kView = 100;  // viewport pixels, both ways

// Clip space w = z (row vectors): points at z = 1 sit on the screen as given.
Matrix4 Perspective() {
  Matrix4 m;
  m.m[2][3] = 1.0f;
  m.m[3][3] = 0.0f;
  return m;
}

struct Case {
  const char* what;
  std::vector<TexVertex> vertices;
  std::vector<uint16_t> indices;
  uint32_t texels;  // texture width and height
  float texScale;   // texture transform's linear part, uniform
  bool magnifies;
};

// Two triangles: the quad from (x0, y0) to (x1, y1) in clip units at depth z, texture
// coordinates 0..1 over it.
std::vector<TexVertex> Quad(float x0, float y0, float x1, float y1, float z0, float z1) {
  return {{x0 * z0, y0 * z0, z0, 0, 0},
          {x1 * z0, y0 * z0, z0, 1, 0},
          {x1 * z1, y1 * z1, z1, 1, 1},
          {x0 * z1, y1 * z1, z1, 0, 1}};
}
const std::vector<uint16_t> kQuadIndices = {0, 1, 2, 0, 2, 3};

TEST(DrawOnlyMagnifies, ProvesMagnificationOnlyWhereEveryPixelHasTexelsToSpare) {
  const std::vector<TexVertex> screen = Quad(-1, -1, 1, 1, 1, 1);  // 100 x 100 pixels
  // Seen from z = 1 at the bottom to 64 at the top, a plane recedes to a horizon.
  const std::vector<TexVertex> receding = Quad(-1, -1, 1, 1, 1, 64);
  std::vector<TexVertex> crossing = screen;
  crossing[2].z = -0.5f;  // behind the eye: clipped, not analysed
  std::vector<TexVertex> offscreen = Quad(2, 2, 3, 3, 1, 1);
  const Case cases[] = {
      {"80 texels over 100 pixels", screen, kQuadIndices, 80, 1, true},
      {"95 texels over 100 pixels: too near one", screen, kQuadIndices, 95, 1, false},
      {"400 texels over 100 pixels", screen, kQuadIndices, 400, 1, false},
      {"a texture transform repeating the texture 4 times", screen, kQuadIndices, 40, 4, false},
      {"a receding plane minifies towards its horizon", receding, kQuadIndices, 16, 1, false},
      {"a triangle crossing the eye plane", crossing, {0, 1, 2}, 8, 1, false},
      {"a minified quad wholly off the viewport", offscreen, kQuadIndices, 4000, 1, true},
      {"an index past the last vertex", screen, {0, 1, 4}, 8, 1, false},
  };
  for (const Case& c : cases) {
    MagnifyDraw d;
    d.vertices = reinterpret_cast<const uint8_t*>(c.vertices.data());
    d.vertexCount = static_cast<uint32_t>(c.vertices.size());
    d.stride = sizeof(TexVertex);
    d.texOffset = 12;
    d.indices = reinterpret_cast<const uint8_t*>(c.indices.data());
    d.indexSize = 2;
    d.indexCount = static_cast<uint32_t>(c.indices.size());
    d.clip = Perspective();
    d.texLinear[0] = d.texLinear[3] = c.texScale;
    d.texWidth = d.texHeight = c.texels;
    d.viewWidth = d.viewHeight = kView;
    EXPECT_EQ(DrawOnlyMagnifies(d), c.magnifies) << c.what;
  }
}

}  // namespace
}  // namespace yulo

#include "ffp_scenes/ffp_scenes.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "math/vector.h"
#include "render/renderer.h"

namespace yulo {

namespace {

// >>section vertex records
struct LitVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL
  float x, y, z, nx, ny, nz;
};
struct LitColourVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE
  float x, y, z, nx, ny, nz;
  uint32_t colour;
};
struct PositionVertex {  // D3DFVF_XYZ
  float x, y, z;
};
struct PointVertex {  // D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, the snowflake record
  float x, y, z, size;
  uint32_t colour;
};
struct ColourPointVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
  float x, y, z;
  uint32_t colour;
};
static_assert(sizeof(LitVertex) == 24 && sizeof(LitColourVertex) == 28);
static_assert(sizeof(PointVertex) == 20 && sizeof(ColourPointVertex) == 16);

constexpr uint32_t kLit = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr uint32_t kLitColour = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
constexpr uint32_t kPoint = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
constexpr uint32_t kColourPoint = D3DFVF_XYZ | D3DFVF_DIFFUSE;

constexpr float kW = static_cast<float>(kFfpSceneWidth);
// Textured and slanted shapes sit off the pixel grid (a quarter pixel right, three eighths
// down): a pixel centre exactly on an edge or a texel boundary is a tie that the last bit
// of an interpolation, or the rasteriser's tie rule, decides (docs/fidelity.md).
constexpr float kOffGridX = 0.25f;
constexpr float kOffGridY = 0.375f;
constexpr float kH = static_cast<float>(kFfpSceneHeight);

// >>section helpers
// Clip-space x and y of a screen position in pixels (x right, y down); with identity
// transforms, screen x = (clip x + 1) * width / 2 on the device's convention, where pixel
// centres sit on whole numbers.
float ClipX(float px) {
  return px * 2.0f / kW - 1.0f;
}
float ClipY(float py) {
  return 1.0f - py * 2.0f / kH;
}

// A screen rectangle [x0, x1) x [y0, y1) in pixels at depth z, with a colour per corner
// (top-left, top-right, bottom-right, bottom-left) and texture coordinates u0..u1, v0..v1.
struct Rect {
  float x0, y0, x1, y1;
};

void DrawRect(const Rect& r, float z, const uint32_t colours[4], float u0 = 0.0f, float v0 = 0.0f,
              float u1 = 1.0f, float v1 = 1.0f) {
  const float l = ClipX(r.x0), t = ClipY(r.y0), rr = ClipX(r.x1), b = ClipY(r.y1);
  // Clockwise on screen: the kept winding under the default culling.
  const QuadVertex v[6] = {
      {{l, t, z}, colours[0], u0, v0},  {{rr, t, z}, colours[1], u1, v0},
      {{rr, b, z}, colours[2], u1, v1}, {{l, t, z}, colours[0], u0, v0},
      {{rr, b, z}, colours[2], u1, v1}, {{l, b, z}, colours[3], u0, v1},
  };
  DrawUserPrimitives(v, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
}

void DrawFlatRect(const Rect& r, float z, uint32_t colour) {
  const uint32_t c[4] = {colour, colour, colour, colour};
  DrawRect(r, z, c);
}

// Cell (column, row) of a grid of columns x rows cells over the target, inset by margin.
Rect Cell(int column, int row, int columns, int rows, float margin = 4.0f) {
  const float w = kW / static_cast<float>(columns), h = kH / static_cast<float>(rows);
  return Rect{static_cast<float>(column) * w + margin, static_cast<float>(row) * h + margin,
              static_cast<float>(column + 1) * w - margin,
              static_cast<float>(row + 1) * h - margin};
}

// The rectangle moved off the pixel grid.
Rect OffGrid(const Rect& r) {
  return Rect{r.x0 + kOffGridX, r.y0 + kOffGridY, r.x1 + kOffGridX, r.y1 + kOffGridY};
}

// A texture made from a texel function; released by the scene runner.
constexpr int kMaxSceneTextures = 8;
Texture sceneTextures[kMaxSceneTextures];
int sceneTextureCount = 0;

constexpr uint32_t kMaxTexels = 64 * 64;
uint8_t textureTexels[kMaxTexels * 4];

template <typename F>
const Texture* MakeTexture(uint32_t w, uint32_t h, F texel) {
  uint8_t* texels = textureTexels;
  if (w * h > kMaxTexels || sceneTextureCount == kMaxSceneTextures) return nullptr;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t argb = texel(x, y);
      uint8_t* p = texels + (y * w + x) * 4;
      p[0] = static_cast<uint8_t>(argb >> 16);
      p[1] = static_cast<uint8_t>(argb >> 8);
      p[2] = static_cast<uint8_t>(argb);
      p[3] = static_cast<uint8_t>(argb >> 24);
    }
  }
  Texture& t = sceneTextures[sceneTextureCount++];
  std::memset(&t, 0, sizeof t);
  std::strcpy(t.name, "micro-scene");
  t.texture = GetDevice()->CreateTexture(w, h, texels);
  t.width = t.texture != nullptr ? t.texture->Width() : 0;
  t.height = t.texture != nullptr ? t.texture->Height() : 0;
  return t.texture != nullptr ? &t : nullptr;
}

// Four colours in 2 x 2 blocks of size texels, so that orientation and mirroring show.
const Texture* QuadrantTexture(uint32_t size) {
  return MakeTexture(size, size, [size](uint32_t x, uint32_t y) -> uint32_t {
    const bool right = x >= size / 2, bottom = y >= size / 2;
    if (!right && !bottom) return 0xFFE02020u;  // top-left red
    if (right && !bottom) return 0xFF20C020u;   // top-right green
    if (!right) return 0xFF2040E0u;             // bottom-left blue
    return 0xFFF0E040u;                         // bottom-right yellow
  });
}

void SetStage(TextureStageStateType type, uint32_t value) {
  GetDevice()->SetTextureStageState(0, type, value);
}

void SetFilters(uint32_t min, uint32_t mag, uint32_t mip) {
  SetStage(D3DTSS_MINFILTER, min);
  SetStage(D3DTSS_MAGFILTER, mag);
  SetStage(D3DTSS_MIPFILTER, mip);
}

// The states every scene starts from, whatever the previous scene left: the device's own
// defaults for what the engine's defaults do not cover, then no culling and no lighting.
void BaseStates() {
  SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  SetRenderState(D3DRS_ZWRITEENABLE, 1);
  SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  SetRenderState(D3DRS_LIGHTING, 0);
  SetWorldMatrix(nullptr);
  SetViewMatrix(nullptr);
  SetTextureMatrix(nullptr);
  const Matrix4 identity;
  SetProjectionMatrix(identity);
  SetTexture(nullptr);
  SetStage(D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  SetStage(D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
  SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
  SetStage(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
}

// The scene's light and material (a directional light along normalise(1.4, 1.3, 1.0),
// white diffuse, ambient 0.3).
void SceneLighting() {
  Light light{};
  light.type = D3DLIGHT_DIRECTIONAL;
  light.diffuse = {1, 1, 1, 0};
  light.specular = {1, 1, 1, 1};
  const float n = std::sqrt(1.4f * 1.4f + 1.3f * 1.3f + 1.0f * 1.0f);
  light.direction = {1.4f / n, 1.3f / n, 1.0f / n};
  light.attenuation0 = 1.0f;
  Material material{};
  material.diffuse = {1, 1, 1, 1};
  material.ambient = {0.3f, 0.3f, 0.3f, 1.0f};
  Device* device = GetDevice();
  device->SetLight(0, light);
  device->LightEnable(0, true);
  device->SetMaterial(material);
  SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);
}

// >>section scenes
// Light 0 with the scene's material: rows of quads with one normal each, drawn with world
// scales 1, 2 and 0.5 (normals are not renormalised), under a rotated view (the light is
// turned into eye space with the view), and with a normal per corner (Gouraud).
void SceneLight() {
  SceneLighting();
  SetRenderState(D3DRS_LIGHTING, 1);
  const Vector3 normals[8] = {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0},    {0, 1, 0},
                              {1, 0, 0},  {0, 0, 1},  {0, 0, -0.5f}, {-0.8f, -0.8f, -0.8f}};
  const float scales[3] = {1.0f, 2.0f, 0.5f};
  for (int row = 0; row < 5; ++row) {
    Matrix4 world, view;
    float s = 1.0f;
    if (row < 3) {
      s = scales[row];
      world.SetScale(s, s, s);
    } else {
      // view = Rx(-35) Rz(60); world = its inverse, so positions stay put while the light,
      // fixed in world space, turns against the normals.
      view.RotateZ(60.0f).RotateX(-35.0f);
      world.RotateX(35.0f).RotateZ(-60.0f);
    }
    SetWorldMatrix(&world);
    SetViewMatrix(&view);
    for (int column = 0; column < 8; ++column) {
      const Rect r = Cell(column, row, 8, 5);
      const float l = ClipX(r.x0) / s, t = ClipY(r.y0) / s, rr = ClipX(r.x1) / s,
                  b = ClipY(r.y1) / s, z = 0.5f / s;
      Vector3 n[4];
      for (Vector3& each : n) each = normals[column];
      if (row == 4) {  // corners facing four ways
        n[0] = normals[(column + 1) % 8];
        n[1] = normals[(column + 2) % 8];
        n[2] = normals[(column + 3) % 8];
        n[3] = normals[column];
      }
      const LitVertex v[6] = {
          {l, t, z, n[0].x, n[0].y, n[0].z},  {rr, t, z, n[1].x, n[1].y, n[1].z},
          {rr, b, z, n[2].x, n[2].y, n[2].z}, {l, t, z, n[0].x, n[0].y, n[0].z},
          {rr, b, z, n[2].x, n[2].y, n[2].z}, {l, b, z, n[3].x, n[3].y, n[3].z},
      };
      DrawUserPrimitives(v, 2, kLit, D3DPT_TRIANGLELIST);
    }
  }
}

// Vertex colour: Gouraud-shaded corners untextured; a format without colour draws white;
// the same corners MODULATEd with a texture (colour and alpha, shown through blending);
// with lighting on, the vertex colour stands in for the material's diffuse.
void SceneVertexColour() {
  const uint32_t corners[4][4] = {
      {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu},
      {0xFF808080u, 0xFF404040u, 0xFFC0C0C0u, 0xFF000000u},
      {0x80FF8000u, 0xFF00FFFFu, 0x40FF00FFu, 0xC0FFFF00u},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  // Backdrop stripes so that alpha shows.
  for (int i = 0; i < 8; ++i) {
    DrawFlatRect(Rect{static_cast<float>(i) * 40.0f, 0, static_cast<float>(i + 1) * 40.0f, kH},
                 0.9f, (i & 1) ? 0xFF303060u : 0xFFA0A0A0u);
  }
  for (int column = 0; column < 3; ++column) {
    DrawRect(Cell(column, 0, 4, 3), 0.5f, corners[column]);
  }
  DrawFlatRect(Cell(3, 0, 4, 3), 0.5f, 0xFF404040u);
  // No colour in the format: opaque white, whatever colour was drawn last.
  const Rect r = OffGrid(Cell(3, 0, 4, 3, 16.0f));
  const PositionVertex plain[3] = {{ClipX(r.x0), ClipY(r.y1), 0.4f},
                                   {ClipX(r.x0), ClipY(r.y0), 0.4f},
                                   {ClipX(r.x1), ClipY(r.y1), 0.4f}};
  DrawUserPrimitives(plain, 1, D3DFVF_XYZ, D3DPT_TRIANGLELIST);

  const Texture* texture = MakeTexture(8, 8, [](uint32_t x, uint32_t y) -> uint32_t {
    const uint32_t alpha = 0x40u + 0x18u * x;
    return (alpha << 24) | ((x + y) % 2 ? 0xF0F0F0u : 0x60C0FFu);
  });
  SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
  SetTexture(texture);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  for (int column = 0; column < 4; ++column) {
    DrawRect(OffGrid(Cell(column, 1, 4, 3)), 0.5f, corners[column]);
  }
  SetTexture(nullptr);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 0);

  SceneLighting();
  SetRenderState(D3DRS_LIGHTING, 1);
  for (int column = 0; column < 4; ++column) {
    const Rect c = Cell(column, 2, 4, 3);
    const float l = ClipX(c.x0), t = ClipY(c.y0), rr = ClipX(c.x1), b = ClipY(c.y1);
    const uint32_t* k = corners[column];
    const float nz = column == 3 ? -0.3f : -1.0f;
    const LitColourVertex v[6] = {
        {l, t, 0.5f, 0, 0, nz, k[0]}, {rr, t, 0.5f, 0, 0, nz, k[1]}, {rr, b, 0.5f, 0, 0, nz, k[2]},
        {l, t, 0.5f, 0, 0, nz, k[0]}, {rr, b, 0.5f, 0, 0, nz, k[2]}, {l, b, 0.5f, 0, 0, nz, k[3]},
    };
    DrawUserPrimitives(v, 2, kLitColour, D3DPT_TRIANGLELIST);
  }
}

// The two-coordinate texture transform: (u, v, 1, 0) times the matrix, so a 2-D
// translation sits in the third row; the fourth row has no effect; DISABLE ignores the
// matrix.
void SceneTextureTransform() {
  const Texture* texture = QuadrantTexture(8);
  SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
  SetTexture(texture);
  Matrix4 matrices[8];
  matrices[1].m[2][0] = 0.25f;   // slide u by a quarter
  matrices[2].m[2][1] = -0.37f;  // the globe's slide of v
  matrices[3].m[3][0] = 0.5f;    // fourth row: no effect on 2-D coordinates
  matrices[3].m[3][1] = 0.5f;
  matrices[4].m[0][0] = 2.0f;  // tiled twice across
  matrices[4].m[1][1] = 3.0f;
  matrices[5].m[0][0] = 0.0f;  // u' = v, v' = u (swap)
  matrices[5].m[0][1] = 1.0f;
  matrices[5].m[1][0] = 1.0f;
  matrices[5].m[1][1] = 0.0f;
  matrices[6].m[0][0] = 0.7f;  // turned and moved
  matrices[6].m[0][1] = 0.7f;
  matrices[6].m[1][0] = -0.7f;
  matrices[6].m[1][1] = 0.7f;
  matrices[6].m[2][0] = 0.1f;
  matrices[6].m[2][1] = 0.3f;
  matrices[7].m[2][0] = 0.5f;  // with the transform switched off
  const uint32_t white[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  for (int i = 0; i < 8; ++i) {
    SetStage(D3DTSS_TEXTURETRANSFORMFLAGS, i == 7 ? D3DTTFF_DISABLE : D3DTTFF_COUNT2);
    SetTextureMatrix(&matrices[i]);
    DrawRect(OffGrid(Cell(i % 4, i / 4, 4, 2, 6.0f)), 0.5f, white);
  }
}

// Alpha test compares 8-bit values: with GREATEREQUAL 128, alpha 127 is cut and 128 kept,
// from vertex colours and from texels alike; with reference 1 only alpha 0 is cut.
void SceneAlphaTest() {
  DrawFlatRect(Rect{0, 0, kW, kH}, 0.9f, 0xFF202040u);
  const uint8_t alphas[16] = {0,   1,   2,   64,  120, 126, 127, 128,
                              129, 130, 160, 200, 253, 254, 255, 128};
  const Texture* texture = MakeTexture(16, 1, [&alphas](uint32_t x, uint32_t) -> uint32_t {
    return (static_cast<uint32_t>(alphas[x]) << 24) | 0xFFE0A0u;
  });
  SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  const uint32_t references[2] = {128, 1};
  for (int pass = 0; pass < 2; ++pass) {
    SetRenderState(D3DRS_ALPHAREF, references[pass]);
    const float top = static_cast<float>(pass) * 120.0f;
    // One column per texel, 20 pixels wide: texel centres fall in the column centres.
    SetTexture(texture);
    const uint32_t white[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    DrawRect(OffGrid(Rect{0, top + 8, kW, top + 56}), 0.5f, white);
    SetTexture(nullptr);
    for (int i = 0; i < 16; ++i) {
      const uint32_t colour = (static_cast<uint32_t>(alphas[i]) << 24) | 0x80FFA0u;
      DrawFlatRect(Rect{static_cast<float>(i) * 20.0f + 2, top + 64,
                        static_cast<float>(i) * 20.0f + 18, top + 112},
                   0.5f, colour);
    }
  }
}

// The blend pairs the scene uses: SRCALPHA/INVSRCALPHA (snow, trees), SRCCOLOR/ONE,
// ZERO/INVSRCALPHA, SRCCOLOR/INVSRCCOLOR (sprite kinds 0, 1, 3), and ONE/ZERO.
void SceneBlend() {
  const uint32_t stripes[4] = {0xFF000000u, 0xFF808080u, 0xFFFFFFFFu, 0xFF2060C0u};
  for (int i = 0; i < 8; ++i) {
    DrawFlatRect(Rect{static_cast<float>(i) * 40.0f, 0, static_cast<float>(i + 1) * 40.0f, kH},
                 0.9f, stripes[i % 4]);
  }
  const uint32_t pairs[5][2] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                {D3DBLEND_SRCCOLOR, D3DBLEND_ONE},
                                {D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA},
                                {D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR},
                                {D3DBLEND_ONE, D3DBLEND_ZERO}};
  const uint32_t colours[4] = {0x80FF8040u, 0x40FFFFFFu, 0xC0204080u, 0xFF80C0FFu};
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_ZWRITEENABLE, 0);
  for (int row = 0; row < 5; ++row) {
    SetRenderState(D3DRS_SRCBLEND, pairs[row][0]);
    SetRenderState(D3DRS_DESTBLEND, pairs[row][1]);
    for (int i = 0; i < 4; ++i) {
      // Each colour spans two stripes horizontally.
      const float y0 = static_cast<float>(row) * 48.0f + 4.0f;
      DrawFlatRect(Rect{static_cast<float>(i) * 80.0f + 4.0f, y0,
                        static_cast<float>(i) * 80.0f + 76.0f, y0 + 40.0f},
                   0.5f, colours[i]);
    }
  }
}

// Point sprites: size from the vertex (or the state), scaled with distance through
// A = 0, B = 5, C = 5 and the viewport height, clamped at the minimum; texture coordinates
// (0, 0) at the sprite's top-left.
void ScenePointSprites() {
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  SetProjectionMatrix(projection);
  const Texture* flake = MakeTexture(16, 16, [](uint32_t x, uint32_t y) -> uint32_t {
    const float dx = (static_cast<float>(x) - 7.5f) / 8.0f,
                dy = (static_cast<float>(y) - 7.5f) / 8.0f;
    const float d = std::sqrt(dx * dx + dy * dy);
    const float a = d >= 1.0f ? 0.0f : 1.0f - d;
    return (static_cast<uint32_t>(a * 255.0f) << 24) | 0xFFFFFFu;
  });
  const Texture* quadrants = QuadrantTexture(16);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  SetRenderState(D3DRS_ALPHAREF, 1);

  // Snowflakes: size 5 at distances 36 .. 1200, across the top half.
  PointVertex snow[12];
  const float depths[12] = {36, 40, 50, 60, 80, 100, 150, 200, 300, 500, 800, 1200};
  for (int i = 0; i < 12; ++i) {
    const float z = depths[i];
    const float sx = -0.85f + 0.155f * static_cast<float>(i);  // clip x
    // Screen position fixed, depth growing: x, y scaled with z to stay in place.
    snow[i] = {sx * z / projection.m[0][0], 0.45f * z / projection.m[1][1], z, 5.0f, 0xFFFFFFFFu};
  }
  SetTexture(flake);
  DrawUserPrimitives(snow, 12, kPoint, D3DPT_POINTLIST);

  // Sprite orientation: large quadrant sprites; sizes from the vertex, then from the state.
  PointVertex big[3];
  for (int i = 0; i < 3; ++i) {
    const float z = 40.0f + 20.0f * static_cast<float>(i);
    const float sx = -0.6f + 0.45f * static_cast<float>(i);
    big[i] = {sx * z / projection.m[0][0], -0.35f * z / projection.m[1][1], z, 20.0f, 0xFFFFFFFFu};
  }
  SetTexture(quadrants);
  DrawUserPrimitives(big, 3, kPoint, D3DPT_POINTLIST);
}

// Points whose format has no size take D3DRS_POINTSIZE: scaled with distance (24 at
// distance 100: about 26 pixels), then unscaled (24 pixels). The scene never draws these;
// kept apart because Wine's Direct3D 8 differs here (docs/fidelity.md).
void ScenePointSizeState() {
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  SetProjectionMatrix(projection);
  SetTexture(QuadrantTexture(16));
  SetRenderStateFloat(D3DRS_POINTSIZE, 24.0f);
  const float z = 100.0f;
  const ColourPointVertex scaled = {0.35f * z / projection.m[0][0], -0.75f * z / projection.m[1][1],
                                    z, 0xFF80FF80u};
  DrawUserPrimitives(&scaled, 1, kColourPoint, D3DPT_POINTLIST);
  SetRenderState(D3DRS_POINTSCALEENABLE, 0);
  const ColourPointVertex fixed[2] = {
      {0.75f * z / projection.m[0][0], -0.35f * z / projection.m[1][1], z, 0xFFFFFFFFu},
      {0.75f * z / projection.m[0][0], -0.75f * z / projection.m[1][1], z, 0xFFFF8080u}};
  DrawUserPrimitives(fixed, 2, kColourPoint, D3DPT_POINTLIST);
}

// Culling by on-screen winding (y down): CCW culls counter-clockwise triangles, CW culls
// clockwise ones, NONE keeps both; a mirroring world matrix flips the winding.
void SceneCulling() {
  const uint32_t modes[3] = {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW};
  for (int column = 0; column < 3; ++column) {
    SetRenderState(D3DRS_CULLMODE, modes[column]);
    for (int row = 0; row < 2; ++row) {
      Matrix4 world;
      if (row == 1) world.SetScale(-1.0f, 1.0f, 1.0f);
      SetWorldMatrix(&world);
      for (int k = 0; k < 2; ++k) {
        const Rect r = OffGrid(Cell(column * 2 + k, row, 6, 2, 8.0f));
        const float mirror = row == 1 ? -1.0f : 1.0f;
        const float l = ClipX(r.x0) * mirror, t = ClipY(r.y0), rr = ClipX(r.x1) * mirror,
                    b = ClipY(r.y1);
        const uint32_t colour = k == 0 ? 0xFFE04040u : 0xFF40A0E0u;
        // k = 0: top-left, top-right, bottom-right: clockwise on screen; k = 1 the reverse.
        QuadVertex v[3] = {{{l, t, 0.5f}, colour, 0, 0},
                           {{rr, t, 0.5f}, colour, 0, 0},
                           {{rr, b, 0.5f}, colour, 0, 0}};
        if (k == 1) std::swap(v[1], v[2]);
        DrawUserPrimitives(v, 1, kQuadVertexFvf, D3DPT_TRIANGLELIST);
      }
    }
  }
}

// Depth 0..1: equal depths pass LESSEQUAL and fail LESS; z = 1 passes LESSEQUAL against a
// cleared 1.0; z below 0 or above 1 is clipped; writes off leave the buffer as it was;
// sloped quads cross where their interpolated depths meet.
void SceneDepth() {
  const uint32_t functions[2] = {D3DCMP_LESSEQUAL, D3DCMP_LESS};
  for (int row = 0; row < 2; ++row) {
    const float y0 = static_cast<float>(row) * 120.0f;
    SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    DrawFlatRect(Rect{8, y0 + 8, 72, y0 + 112}, 0.5f, 0xFFC03030u);
    SetRenderState(D3DRS_ZFUNC, functions[row]);
    DrawFlatRect(Rect{24, y0 + 24, 88, y0 + 96}, 0.5f, 0xFF30C030u);      // equal depth
    DrawFlatRect(Rect{96, y0 + 8, 136, y0 + 112}, 1.0f, 0xFF3030C0u);     // at the far plane
    DrawFlatRect(Rect{144, y0 + 8, 176, y0 + 112}, -0.01f, 0xFFC0C030u);  // in front of near
    DrawFlatRect(Rect{184, y0 + 8, 216, y0 + 112}, 1.01f, 0xFFC030C0u);   // behind far
    DrawFlatRect(Rect{144, y0 + 40, 216, y0 + 80}, 0.0f, 0xFF30C0C0u);    // at the near plane
    // A sloped quad through a flat one.
    SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    DrawFlatRect(Rect{228, y0 + 8, 312, y0 + 112}, 0.5f, 0xFF808080u);
    const float l = ClipX(228), rr = ClipX(312), t = ClipY(y0 + 8), b = ClipY(y0 + 112);
    const uint32_t c = 0xFFF0A040u;
    const float near = row == 0 ? 0.2f : 0.45f, far = row == 0 ? 0.81f : 0.56f;
    const QuadVertex v[6] = {{{l, t, near}, c, 0, 0}, {{rr, t, far}, c, 0, 0},
                             {{rr, b, far}, c, 0, 0}, {{l, t, near}, c, 0, 0},
                             {{rr, b, far}, c, 0, 0}, {{l, b, near}, c, 0, 0}};
    DrawUserPrimitives(v, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
  }
  // Depth writes off: the red quad is tested but leaves no depth, so the far quad after it
  // still covers it.
  SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  SetRenderState(D3DRS_ZWRITEENABLE, 0);
  DrawFlatRect(Rect{96, 200, 216, 232}, 0.3f, 0xFFFF0000u);
  SetRenderState(D3DRS_ZWRITEENABLE, 1);
  DrawFlatRect(Rect{120, 204, 192, 228}, 0.7f, 0xFF00FF00u);
}

// Texture addressing: coordinates -1..2 under WRAP, MIRROR and CLAMP, point-sampled and
// linear; and the quad function's 0..-1 coordinates, which show the texture mirrored.
void SceneAddress() {
  const Texture* texture = QuadrantTexture(4);
  SetTexture(texture);
  const uint32_t modes[3] = {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP};
  const uint32_t white[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  for (int row = 0; row < 2; ++row) {
    if (row == 0) {
      SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    } else {
      SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    }
    for (int column = 0; column < 3; ++column) {
      SetStage(D3DTSS_ADDRESSU, modes[column]);
      SetStage(D3DTSS_ADDRESSV, modes[column]);
      DrawRect(OffGrid(Cell(column, row, 4, 2, 6.0f)), 0.5f, white, -1.0f, -1.0f, 2.0f, 2.0f);
    }
  }
  SetStage(D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  SetStage(D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
  for (int row = 0; row < 2; ++row) {
    if (row == 0) {
      SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    } else {
      SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    }
    const Rect r = OffGrid(Cell(3, row, 4, 2, 6.0f));
    const float l = ClipX(r.x0), t = ClipY(r.y0), rr = ClipX(r.x1), b = ClipY(r.y1);
    const ColorARGB w(255, 255, 255, 255);
    DrawColoredQuad({l, b, 0.5f}, {l, t, 0.5f}, {rr, t, 0.5f}, {rr, b, 0.5f}, w, w, w, w);
  }
}

// Filtering as the scene sets it (LINEAR min, mag and mip) against the device's POINT:
// a floor receding in perspective, a texture minified 4x (one mip level exactly), 3x, and
// magnified 5x.
void SceneFilters() {
  const Texture* checker = MakeTexture(64, 64, [](uint32_t x, uint32_t y) -> uint32_t {
    const bool odd = ((x / 8) + (y / 8)) % 2 != 0;
    return odd ? 0xFFF0F0F0u : (0xFF000000u | (x * 4u) << 16 | (y * 4u) << 8 | 0x40u);
  });
  SetTexture(checker);
  const uint32_t white[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  for (int row = 0; row < 2; ++row) {
    if (row == 0) {
      SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    } else {
      SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    }
    const float y0 = static_cast<float>(row) * 120.0f + (row == 1 ? kOffGridY : 0.0f);
    // Minified by 4 and by 3; for LINEAR the pixel centres fall on the centres of texels of
    // the smaller mip levels, for POINT off the texel boundaries.
    DrawRect(Rect{4 - 0.5f, y0 + 4 - 0.5f, 20 - 0.5f, y0 + 20 - 0.5f}, 0.5f, white);
    DrawRect(Rect{24 - 0.5f, y0 + 4 - 0.5f, 45.333f - 0.5f, y0 + 25.333f - 0.5f}, 0.5f, white);
    DrawRect(Rect{4 - 0.5f, y0 + 30 - 0.5f, 84 - 0.5f, y0 + 110 - 0.5f}, 0.5f, white, 0, 0, 0.25f,
             0.25f);  // 16 x 16 texels over 80 x 80 pixels
  }
  // The receding floor: the scene's projection, a plane below the eye.
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  SetProjectionMatrix(projection);
  // (Point sampling of a receding floor aliases; which texel a pixel meets then hangs on the
  // last bit of the interpolation, so only the filtering the scene uses is drawn.)
  SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
  {
    // Below the eye, from 60 to 600 units away: screen x about 136..310, y 130..216.
    const float x0 = -5.1f, x1 = 31.0f;
    const uint32_t c = 0xFFFFFFFFu;
    const QuadVertex v[6] = {{{x0, -20, 60}, c, 0, 8},  {{x0, -20, 600}, c, 0, 0},
                             {{x1, -20, 600}, c, 4, 0}, {{x0, -20, 60}, c, 0, 8},
                             {{x1, -20, 600}, c, 4, 0}, {{x1, -20, 60}, c, 4, 8}};
    DrawUserPrimitives(v, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
  }
}

// Pixel centres and the 4:3 viewport: edges on whole screen coordinates cover exactly the
// pixels whose centres are inside (top-left rule); one-pixel bars; a quad over the whole
// clip square covers every pixel; a square in the scene's 4:3 projection stays square.
void SceneViewport() {
  DrawFlatRect(Rect{0, 0, kW, kH}, 0.9f, 0xFF404040u);  // exactly the target
  for (int i = 0; i < 10; ++i) {
    const float x = 8.0f + static_cast<float>(i) * 6.0f;
    DrawFlatRect(Rect{x, 8, x + 1.0f, 40}, 0.5f, 0xFFFFFFFFu);         // one pixel
    DrawFlatRect(Rect{x + 2.5f, 8, x + 4.5f, 40}, 0.5f, 0xFFFF8000u);  // halves
  }
  for (int i = 0; i < 5; ++i) {
    const float y = 48.0f + static_cast<float>(i) * 6.0f;
    DrawFlatRect(Rect{8, y, 68, y + 1.0f}, 0.5f, 0xFF00FFFFu);
  }
  // Edges touching the target's borders.
  DrawFlatRect(Rect{0, 0, 4, 4}, 0.5f, 0xFFFF0000u);
  DrawFlatRect(Rect{kW - 4, kH - 4, kW, kH}, 0.5f, 0xFF00FF00u);
  DrawFlatRect(Rect{kW - 4, 0, kW, 4}, 0.5f, 0xFF0000FFu);
  DrawFlatRect(Rect{0, kH - 4, 4, kH}, 0.5f, 0xFFFFFF00u);
  // A square 40 x 40 units at distance 200 in the scene's projection, and a diamond.
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  SetProjectionMatrix(projection);
  const uint32_t c = 0xFF80FF80u, d = 0xFFFF80FFu;
  const QuadVertex square[6] = {{{20, 40, 200}, c, 0, 0}, {{60, 40, 200}, c, 0, 0},
                                {{60, 0, 200}, c, 0, 0},  {{20, 40, 200}, c, 0, 0},
                                {{60, 0, 200}, c, 0, 0},  {{20, 0, 200}, c, 0, 0}};
  DrawUserPrimitives(square, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
  const QuadVertex diamond[6] = {{{40, -10, 200}, d, 0, 0}, {{60, -30, 200}, d, 0, 0},
                                 {{40, -50, 200}, d, 0, 0}, {{40, -10, 200}, d, 0, 0},
                                 {{40, -50, 200}, d, 0, 0}, {{20, -30, 200}, d, 0, 0}};
  DrawUserPrimitives(diamond, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
}

const FfpScene kScenes[] = {
    {"light", "light 0 with material and ambient, normals at world scales 1, 2, 0.5", SceneLight},
    {"vertex-colour", "vertex colour with and without a texture (MODULATE), lit",
     SceneVertexColour},
    {"texture-transform", "two-coordinate texture transform (third-row translation)",
     SceneTextureTransform},
    {"alpha-test", "alpha test at the 127/128 edge and against 1", SceneAlphaTest},
    {"blend", "the blend pairs of the scene and the sprites", SceneBlend},
    {"point-sprites", "point sprites scaled with distance, near and far", ScenePointSprites},
    {"point-size-state", "points without a size take the POINTSIZE state", ScenePointSizeState},
    {"culling", "culling by on-screen winding", SceneCulling},
    {"depth", "depth 0..1 with LESSEQUAL and LESS", SceneDepth},
    {"address", "texture address modes and the mirrored quad coordinates", SceneAddress},
    {"filters", "the scene's LINEAR min/mag/mip against POINT", SceneFilters},
    {"viewport", "pixel centres, edges and the 4:3 projection", SceneViewport},
};

}  // namespace

const FfpScene* FfpScenes(size_t* count) {
  *count = sizeof kScenes / sizeof kScenes[0];
  return kScenes;
}

const FfpScene* FindFfpScene(const char* name) {
  for (const FfpScene& scene : kScenes) {
    if (std::strcmp(scene.name, name) == 0) return &scene;
  }
  return nullptr;
}

void ReleaseFfpSceneResources() {
  SetTexture(nullptr);
  for (int i = 0; i < sceneTextureCount; ++i) {
    if (sceneTextures[i].texture != nullptr) sceneTextures[i].texture->Release();
    sceneTextures[i].texture = nullptr;
  }
  sceneTextureCount = 0;
}

void RenderFfpScene(const FfpScene& scene) {
  ReleaseFfpSceneResources();
  ApplyDefaultStates();
  BaseStates();
  ClearTarget(kFfpSceneBackground);
  ClearDepth(1.0f);
  BeginScene();
  scene.draw();
  EndScene();
}

}  // namespace yulo

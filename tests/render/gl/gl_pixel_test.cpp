// Pixel tests of the GL backend on the headless context (Mesa's software rasteriser).
// Expected values come from the fixed-function formulas the backend reproduces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "gl_fixture.h"
#include "render/gl/gl_device.h"
#include "render/renderer.h"

namespace yulo {
namespace {

constexpr uint32_t kSize = 64;

struct Rgba {
  int r, g, b, a;
};

struct LitVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL
  float x, y, z, nx, ny, nz;
};
using test::ColourVertex;
using test::PointVertex;

class GlPixelTest : public test::GlDeviceFixture {
 protected:
  GlPixelTest() : GlDeviceFixture(kSize) {}

  Rgba Pixel(uint32_t x, uint32_t y) {
    if (frame.empty()) {
      uint32_t w = 0, h = 0;
      EXPECT_TRUE(ReadFrame(device, &frame, &w, &h));
      EXPECT_EQ(w, kSize);
      EXPECT_EQ(h, kSize);
    }
    const uint8_t* p = frame.data() + (static_cast<size_t>(y) * kSize + x) * 4;
    return Rgba{p[0], p[1], p[2], p[3]};
  }

  // A quad over the whole target in clip space (identity transforms), as a triangle list.
  void FullScreenColourQuad(uint32_t colour, float z = 0.5f) {
    const ColourVertex v[6] = {{-1, -1, z, colour}, {-1, 1, z, colour}, {1, 1, z, colour},
                               {-1, -1, z, colour}, {1, 1, z, colour},  {1, -1, z, colour}};
    DrawUserPrimitives(v, 2, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  }

  // A 2 x 2 (or w x h) texture from texels given as 0xAARRGGBB, row 0 first.
  DeviceTexture* MakeTexture(uint32_t w, uint32_t h, std::vector<uint32_t> argb) {
    std::vector<uint8_t> rgba;
    for (uint32_t c : argb) {
      rgba.push_back(static_cast<uint8_t>(c >> 16));
      rgba.push_back(static_cast<uint8_t>(c >> 8));
      rgba.push_back(static_cast<uint8_t>(c));
      rgba.push_back(static_cast<uint8_t>(c >> 24));
    }
    return device->CreateTexture(w, h, rgba.data());
  }

  void PointSampling() {
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
  }

  std::vector<uint8_t> frame;
};

void ExpectNear(const Rgba& got, int r, int g, int b, int tolerance = 1) {
  EXPECT_NEAR(got.r, r, tolerance);
  EXPECT_NEAR(got.g, g, tolerance);
  EXPECT_NEAR(got.b, b, tolerance);
}

// >>section lighting

Light DirectionalLight(float x, float y, float z) {
  Light light{};
  light.type = D3DLIGHT_DIRECTIONAL;
  light.diffuse = ColorValue{1, 1, 1, 0};
  light.specular = ColorValue{1, 1, 1, 1};
  light.direction = Vector3(x, y, z);
  light.attenuation0 = 1.0f;
  return light;
}

void DrawLitQuadFacingViewer() {
  // Normal (0, 0, -1) points at a viewer looking along +z.
  const LitVertex v[6] = {{-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1},
                          {1, 1, 0.5f, 0, 0, -1},   {-1, -1, 0.5f, 0, 0, -1},
                          {1, 1, 0.5f, 0, 0, -1},   {1, -1, 0.5f, 0, 0, -1}};
  DrawUserPrimitives(v, 2, D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLELIST);
}

TEST_F(GlPixelTest, LightArrivesFromMinusItsDirectionOverTheAmbientTerm) {
  Material material{};
  material.diffuse = ColorValue{0.5f, 0.5f, 0.5f, 1};
  material.ambient = ColorValue{0.3f, 0.3f, 0.3f, 1};
  device->SetMaterial(material);
  const float s = std::sqrt(0.5f);
  device->SetLight(0, DirectionalLight(0, -s, s));  // travels away from the viewer, downward
  device->LightEnable(0, true);
  SetRenderState(D3DRS_LIGHTING, 1);
  DrawLitQuadFacingViewer();
  // rgb = 0.3 x ambient 1.0 + 0.5 x max(0, N.L) with L = -d: N.L = sqrt(0.5).
  const int lit = static_cast<int>(std::lround((0.3 + 0.5 * s) * 255.0));
  ExpectNear(Pixel(32, 32), lit, lit, lit);
  EXPECT_EQ(Pixel(32, 32).a, 255);

  frame.clear();
  device->SetLight(0, DirectionalLight(0, 0, -1));  // travels towards the viewer: back-lit
  DrawLitQuadFacingViewer();
  ExpectNear(Pixel(10, 50), 77, 77, 77);  // only 0.3 x 255
}

TEST_F(GlPixelTest, WorldScaleDimsTheUnrenormalisedNormal) {
  Material material{};
  material.diffuse = ColorValue{1, 1, 1, 1};
  device->SetMaterial(material);
  device->SetLight(0, DirectionalLight(0, 0, 1));
  device->LightEnable(0, true);
  SetRenderState(D3DRS_LIGHTING, 1);
  SetRenderState(D3DRS_AMBIENT, 0);
  Matrix4 world;
  world.SetScale(2, 2, 2);
  SetWorldMatrix(&world);
  const LitVertex v[3] = {{-0.5f, -0.5f, 0.25f, 0, 0, -1},
                          {-0.5f, 0.5f, 0.25f, 0, 0, -1},
                          {0.5f, 0.5f, 0.25f, 0, 0, -1}};
  DrawUserPrimitives(v, 1, D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLELIST);
  // N.L = 1 / 2 after the inverse-transpose of a scale of 2.
  ExpectNear(Pixel(20, 20), 128, 128, 128);
}

TEST_F(GlPixelTest, LightAmbientReachesVerticesWithoutNormals) {
  Material material{};
  material.ambient = ColorValue{0.5f, 0.5f, 0.5f, 1};
  device->SetMaterial(material);
  Light light = DirectionalLight(0, 0, 1);
  light.ambient = ColorValue{0.2f, 0.2f, 0.2f, 0};
  device->SetLight(0, light);
  device->LightEnable(0, true);
  SetRenderState(D3DRS_LIGHTING, 1);
  SetRenderState(D3DRS_AMBIENT, 0);
  FullScreenColourQuad(0xFF000000u);  // no normal: the diffuse term is zero
  const int ambient = static_cast<int>(std::lround(0.5 * 0.2 * 255.0));
  ExpectNear(Pixel(32, 32), ambient, ambient, ambient);
}

// >>section texture stage

TEST_F(GlPixelTest, ModulateWithoutTextureGivesTheVertexColour) {
  SetTexture(nullptr);
  FullScreenColourQuad(0xFFC86432u);
  ExpectNear(Pixel(5, 5), 0xC8, 0x64, 0x32, 0);
  ExpectNear(Pixel(60, 60), 0xC8, 0x64, 0x32, 0);
}

TEST_F(GlPixelTest, TextureModulatesVertexColourAndRowZeroIsTheTop) {
  DeviceTexture* texture = MakeTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
  ASSERT_NE(texture, nullptr);
  device->SetTexture(0, texture);
  PointSampling();
  // DrawTexturedStrip corners: p0 bottom-left ... as the sprite batch passes them.
  const Vector3 bl(-1, -1, 0.5f), tl(-1, 1, 0.5f), tr(1, 1, 0.5f), br(1, -1, 0.5f);
  DrawTexturedStrip(bl, tl, tr, br, Vector2(0, 1), Vector2(0, 0), Vector2(1, 0), Vector2(1, 1),
                    ColorARGB(255, 128, 255, 255));
  ExpectNear(Pixel(8, 8), 255, 0, 0);   // top-left texel
  ExpectNear(Pixel(56, 8), 0, 128, 0);  // top-right, green halved by the vertex colour
  ExpectNear(Pixel(8, 56), 0, 0, 255);  // bottom-left
  ExpectNear(Pixel(56, 56), 255, 128, 255);
  texture->Release();
}

TEST_F(GlPixelTest, ColouredQuadCoordinatesShowTheTextureMirroredBothWays) {
  DeviceTexture* texture = MakeTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
  ASSERT_NE(texture, nullptr);
  device->SetTexture(0, texture);
  PointSampling();
  const ColorARGB white(255, 255, 255, 255);
  DrawColoredQuad(Vector3(-1, -1, 0.5f), Vector3(-1, 1, 0.5f), Vector3(1, 1, 0.5f),
                  Vector3(1, -1, 0.5f), white, white, white, white);
  ExpectNear(Pixel(8, 56), 255, 255, 255);  // bottom-left shows texel (1, 1)
  ExpectNear(Pixel(8, 8), 0, 255, 0);       // top-left shows texel (1, 0)
  ExpectNear(Pixel(56, 8), 255, 0, 0);      // top-right shows texel (0, 0)
  ExpectNear(Pixel(56, 56), 0, 0, 255);     // bottom-right shows texel (0, 1)
  texture->Release();
}

TEST_F(GlPixelTest, TextureTransformTakesItsTranslationFromTheThirdRow) {
  DeviceTexture* texture = MakeTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
  device->SetTexture(0, texture);
  PointSampling();
  const Vector3 bl(-1, -1, 0.5f), tl(-1, 1, 0.5f), tr(1, 1, 0.5f), br(1, -1, 0.5f);
  const Vector2 uv(0.25f, 0.5f);  // every corner samples the left (red) texel
  const ColorARGB white(255, 255, 255, 255);

  Matrix4 fourthRow;
  fourthRow.m[3][0] = 0.5f;  // ignored for two-coordinate sets
  SetTextureMatrix(&fourthRow);
  DrawTexturedStrip(bl, tl, tr, br, uv, uv, uv, uv, white);
  ExpectNear(Pixel(32, 32), 255, 0, 0);

  frame.clear();
  Matrix4 thirdRow;
  thirdRow.m[2][0] = 0.5f;  // u' = u + 0.5: the right (green) texel
  SetTextureMatrix(&thirdRow);
  DrawTexturedStrip(bl, tl, tr, br, uv, uv, uv, uv, white);
  ExpectNear(Pixel(32, 32), 0, 255, 0);
  texture->Release();
}

TEST_F(GlPixelTest, AlphaTestCompares8BitValues127Fails128Passes) {
  DeviceTexture* below = MakeTexture(1, 1, {0x7FFFFFFFu});
  DeviceTexture* at = MakeTexture(1, 1, {0x80FFFFFFu});
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);  // ALPHAREF 128, GREATEREQUAL by default
  const ColorARGB white(255, 255, 255, 255);
  const Vector2 uv(0.5f, 0.5f);
  device->SetTexture(0, below);
  DrawTexturedStrip(Vector3(-1, -1, 0.5f), Vector3(-1, 1, 0.5f), Vector3(0, 1, 0.5f),
                    Vector3(0, -1, 0.5f), uv, uv, uv, uv, white);
  device->SetTexture(0, at);
  DrawTexturedStrip(Vector3(0, -1, 0.5f), Vector3(0, 1, 0.5f), Vector3(1, 1, 0.5f),
                    Vector3(1, -1, 0.5f), uv, uv, uv, uv, white);
  ExpectNear(Pixel(16, 32), 0, 0, 0, 0);
  ExpectNear(Pixel(48, 32), 255, 255, 255, 0);
  below->Release();
  at->Release();
}

TEST_F(GlPixelTest, MirrorOnceReflectsNegativeCoordinatesThenClamps) {
  DeviceTexture* texture = MakeTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
  device->SetTexture(0, texture);
  PointSampling();
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_MIRRORONCE);
  const ColorARGB white(255, 255, 255, 255);
  const Vector2 mirrored(-0.75f, 0.5f);  // reflects to 0.75: green, where a clamp reads red
  DrawTexturedStrip(Vector3(-1, -1, 0.5f), Vector3(-1, 1, 0.5f), Vector3(0, 1, 0.5f),
                    Vector3(0, -1, 0.5f), mirrored, mirrored, mirrored, mirrored, white);
  const Vector2 beyond(2.25f, 0.5f);  // past one: the last texel, not a repeat
  DrawTexturedStrip(Vector3(0, -1, 0.5f), Vector3(0, 1, 0.5f), Vector3(1, 1, 0.5f),
                    Vector3(1, -1, 0.5f), beyond, beyond, beyond, beyond, white);
  ExpectNear(Pixel(16, 32), 0, 255, 0, 0);
  ExpectNear(Pixel(48, 32), 0, 255, 0, 0);
  texture->Release();
}

TEST_F(GlPixelTest, AStageWithItsColourOperationOffPassesTheDiffuseAlphaToo) {
  DeviceTexture* texture = MakeTexture(1, 1, {0x40FFFFFFu});
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);  // alpha op still MODULATE
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);  // passes from 128: the texel's 64 would fail
  const Vector2 uv(0.5f, 0.5f);
  DrawTexturedStrip(Vector3(-1, -1, 0.5f), Vector3(-1, 1, 0.5f), Vector3(1, 1, 0.5f),
                    Vector3(1, -1, 0.5f), uv, uv, uv, uv, ColorARGB(0, 0, 255, 255));
  ExpectNear(Pixel(32, 32), 0, 0, 255, 0);
  texture->Release();
}

// >>section blending

struct BlendCase {
  uint32_t src, dst;
  float (*expected)(float s, float a, float d);
};

TEST_F(GlPixelTest, EachSpriteBlendPairFollowsItsFormula) {
  const BlendCase cases[] = {
      {D3DBLEND_SRCCOLOR, D3DBLEND_ONE, [](float s, float, float d) { return s * s + d; }},
      {D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA, [](float, float a, float d) { return d * (1 - a); }},
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA,
       [](float s, float a, float d) { return s * a + d * (1 - a); }},
      {D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
       [](float s, float, float d) { return s * s + d * (1 - s); }},
  };
  const float dest[3] = {0x40 / 255.0f, 0x80 / 255.0f, 0xC0 / 255.0f};
  const float src[3] = {0x60 / 255.0f, 0xA0 / 255.0f, 0x20 / 255.0f};
  const float alpha = 0x99 / 255.0f;
  for (const BlendCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "src " << c.src << " dest " << c.dst);
    frame.clear();
    SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    ClearTarget(0xFF4080C0u);
    SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    SetRenderState(D3DRS_SRCBLEND, c.src);
    SetRenderState(D3DRS_DESTBLEND, c.dst);
    FullScreenColourQuad(0x9960A020u);
    const Rgba got = Pixel(32, 32);
    const int channels[3] = {got.r, got.g, got.b};
    for (int ch = 0; ch < 3; ++ch) {
      const float want = std::fmin(1.0f, c.expected(src[ch], alpha, dest[ch]));
      EXPECT_NEAR(channels[ch], want * 255.0f, 1.5f) << "channel " << ch;
    }
  }
}

TEST_F(GlPixelTest, ZeroZeroAsTheFirstBlendOfADeviceStillBlends) {
  ClearTarget(0xFFFF0000u);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  FullScreenColourQuad(0xFF00FF00u);
  ExpectNear(Pixel(32, 32), 0, 0, 0, 0);
}

// >>section rasterisation

TEST_F(GlPixelTest, CounterClockwiseCullingKeepsClockwiseTriangles) {
  SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  // On screen (y down) left-bottom, top, right-bottom runs clockwise.
  const ColourVertex clockwise[3] = {{-0.5f, -0.5f, 0.5f, 0xFFFFFFFF},
                                     {0, 0.5f, 0.5f, 0xFFFFFFFF},
                                     {0.5f, -0.5f, 0.5f, 0xFFFFFFFF}};
  DrawUserPrimitives(clockwise, 1, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  // Top-left, bottom, top-right of a triangle pointing down: counter-clockwise, culled.
  const ColourVertex counter[3] = {{-0.5f, 0.6f, 0.5f, 0xFFFF0000},
                                   {0, -0.6f, 0.5f, 0xFFFF0000},
                                   {0.5f, 0.6f, 0.5f, 0xFFFF0000}};
  DrawUserPrimitives(counter, 1, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  ExpectNear(Pixel(42, 46), 255, 255, 255, 0);  // inside the kept triangle only
  ExpectNear(Pixel(40, 16), 0, 0, 0, 0);        // inside the culled one only

  frame.clear();
  SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  DrawUserPrimitives(counter, 1, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  ColourVertex green[3] = {clockwise[0], clockwise[1], clockwise[2]};
  for (ColourVertex& v : green) v.colour = 0xFF00FF00;
  DrawUserPrimitives(green, 1, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  ExpectNear(Pixel(40, 16), 255, 0, 0, 0);
  ExpectNear(Pixel(42, 46), 255, 255, 255, 0);  // the clockwise one is culled now
}

TEST_F(GlPixelTest, DepthRunsFromZeroAtTheNearPlaneToOneAtTheFar) {
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.0f, 10.0f, 100.0f);
  SetProjectionMatrix(projection);
  // A quad 20 units away fills the view; its depth is zf/(zf-zn) - zn*zf/((zf-zn)*z).
  const float z = 20.0f;
  const float e = z * 0.5f;  // tan(pi/8) * 20 is about 8.3: 10 covers the view
  const ColourVertex v[6] = {{-e, -e, z, 0xFFFFFFFF}, {-e, e, z, 0xFFFFFFFF},
                             {e, e, z, 0xFFFFFFFF},   {-e, -e, z, 0xFFFFFFFF},
                             {e, e, z, 0xFFFFFFFF},   {e, -e, z, 0xFFFFFFFF}};
  DrawUserPrimitives(v, 2, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  std::vector<float> depth;
  ASSERT_TRUE(ReadDepth(device, &depth));
  const float expected = 100.0f / 90.0f - 1000.0f / (90.0f * z);
  EXPECT_NEAR(depth[32 * kSize + 32], expected, 1e-4f);

  // Geometry in front of the near plane is clipped away, not squashed to depth 0.
  ClearDepth(1.0f);
  ClearTarget(0xFF000000u);
  frame.clear();
  const float n = 5.0f;
  const ColourVertex near[3] = {
      {-n, -n, n, 0xFFFFFFFF}, {-n, n, n, 0xFFFFFFFF}, {n, n, n, 0xFFFFFFFF}};
  DrawUserPrimitives(near, 1, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  ExpectNear(Pixel(16, 16), 0, 0, 0, 0);
}

TEST_F(GlPixelTest, PointSpriteSizeScalesWithViewportHeightOverDistance) {
  Matrix4 projection;
  BuildPerspective(projection, 0.7853982f, 1.0f, 1.0f, 1000.0f);
  SetProjectionMatrix(projection);
  SetRenderStateFloat(D3DRS_POINTSCALE_A, 0.0f);
  SetRenderStateFloat(D3DRS_POINTSCALE_B, 0.0f);
  SetRenderStateFloat(D3DRS_POINTSCALE_C, 1.0f);
  // Ss = Vh x Si / sqrt(C De^2) = 64 x 8 / 32 = 16 pixels.
  const PointVertex point = {0, 0, 32, 8, 0xFFFFFFFF};
  DrawUserPrimitives(&point, 1, D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, D3DPT_POINTLIST);
  int lit = 0;
  for (uint32_t x = 0; x < kSize; ++x) lit += Pixel(x, 32).r > 128 ? 1 : 0;
  EXPECT_EQ(lit, 16);
  int litColumn = 0;
  for (uint32_t y = 0; y < kSize; ++y) litColumn += Pixel(32, y).r > 128 ? 1 : 0;
  EXPECT_EQ(litColumn, 16);
}

TEST_F(GlPixelTest, PointSpriteTextureRunsFromTopLeftToBottomRight) {
  DeviceTexture* texture = MakeTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
  device->SetTexture(0, texture);
  PointSampling();
  SetRenderState(D3DRS_POINTSCALEENABLE, 0);
  const PointVertex point = {0, 0, 0.5f, 32, 0xFFFFFFFF};  // 32 pixels, unscaled
  DrawUserPrimitives(&point, 1, D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, D3DPT_POINTLIST);
  ExpectNear(Pixel(24, 24), 255, 0, 0);
  ExpectNear(Pixel(40, 24), 0, 255, 0);
  ExpectNear(Pixel(24, 40), 0, 0, 255);
  ExpectNear(Pixel(40, 40), 255, 255, 255);
  texture->Release();
}

}  // namespace
}  // namespace yulo

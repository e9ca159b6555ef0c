// The GL device's buffers, merging of user-memory draws, reset and adapter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "render/gl/gl_device.h"
#include "render/gl/gl_resources.h"
#include "render/renderer.h"

namespace yulo {
namespace {

constexpr uint32_t kDeviceSize = 32;

using test::ColourVertex;
constexpr uint32_t kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class GlDeviceTest : public test::GlDeviceFixture {
 protected:
  GlDeviceTest() : GlDeviceFixture(kDeviceSize) {}

  std::vector<uint8_t> Frame() {
    std::vector<uint8_t> rgba;
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(ReadFrame(device, &rgba, &w, &h));
    return rgba;
  }
  static uint32_t At(const std::vector<uint8_t>& f, uint32_t x, uint32_t y) {
    const uint8_t* p = f.data() + (y * kDeviceSize + x) * 4;
    return (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
};

// Vertices of a quad covering columns [x0, x1) of the target as two list triangles.
void Quad(float x0, float x1, uint32_t colour, ColourVertex out[6]) {
  const ColourVertex v[6] = {{x0, -1, 0.5f, colour}, {x0, 1, 0.5f, colour}, {x1, 1, 0.5f, colour},
                             {x0, -1, 0.5f, colour}, {x1, 1, 0.5f, colour}, {x1, -1, 0.5f, colour}};
  std::memcpy(out, v, sizeof v);
}

TEST_F(GlDeviceTest, BufferDrawsUse16And32BitIndicesAndTheBaseVertex) {
  ColourVertex quad[6];
  Quad(-1, 1, 0xFF00FF00u, quad);
  const ColourVertex corners[4] = {quad[0], quad[1], quad[2], quad[5]};
  VertexBuffer* vb = device->CreateVertexBuffer(sizeof corners * 2, D3DUSAGE_WRITEONLY, kColourFvf,
                                                D3DPOOL_MANAGED);
  ASSERT_NE(vb, nullptr);
  uint8_t* bytes = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), D3D_OK);
  std::memcpy(bytes, corners, sizeof corners);  // green at vertices 0..3
  ColourVertex red[4];
  std::memcpy(red, corners, sizeof red);
  for (ColourVertex& v : red) v.colour = 0xFFFF0000u;
  std::memcpy(bytes + sizeof corners, red, sizeof red);  // red at vertices 4..7
  vb->Unlock();

  IndexBuffer* ib32 =
      device->CreateIndexBuffer(24, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED);
  ASSERT_EQ(ib32->Lock(0, 0, &bytes, 0), D3D_OK);
  const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(bytes, indices, sizeof indices);
  ib32->Unlock();

  device->SetStreamSource(0, vb, sizeof(ColourVertex));
  device->SetVertexShader(kColourFvf);
  device->SetIndices(ib32, 4);  // the base vertex picks the red copy
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
  EXPECT_EQ(At(Frame(), 16, 16), 0xFFFF0000u);

  IndexBuffer* ib16 =
      device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED);
  ASSERT_EQ(ib16->Lock(0, 0, &bytes, 0), D3D_OK);
  const uint16_t shorts[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(bytes, shorts, sizeof shorts);
  ib16->Unlock();
  device->SetIndices(ib16, 0);
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
  EXPECT_EQ(At(Frame(), 16, 16), 0xFF00FF00u);

  // Strips straight from the buffer: vertices 4..7 in strip order 0 1 3 2 would be needed,
  // so draw a fan over the red copy instead.
  device->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2);
  EXPECT_EQ(At(Frame(), 16, 16), 0xFFFF0000u);

  ib16->Release();
  ib32->Release();
  vb->Release();
}

TEST_F(GlDeviceTest, DrawsBeyondTheirBuffersAreRefused) {
  ColourVertex quad[6];
  Quad(-1, 1, 0xFFFFFFFFu, quad);
  VertexBuffer* vb = device->CreateVertexBuffer(sizeof quad, 0, kColourFvf, D3DPOOL_MANAGED);
  uint8_t* bytes = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), D3D_OK);
  std::memcpy(bytes, quad, sizeof quad);
  vb->Unlock();
  IndexBuffer* ib = device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
  ASSERT_EQ(ib->Lock(0, 0, &bytes, 0), D3D_OK);
  const uint16_t indices[6] = {0, 1, 2, 0, 2, 600};  // 600 is past the buffer
  std::memcpy(bytes, indices, sizeof indices);
  ib->Unlock();
  device->SetStreamSource(0, vb, sizeof(ColourVertex));
  device->SetVertexShader(kColourFvf);
  device->SetIndices(ib, 0);
  TakeGlDrawCallCount(device);
  device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 2);               // needs vertices 1..6
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 2);  // index 600
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 3, 2);  // indices 3..8 of 6
  EXPECT_EQ(TakeGlDrawCallCount(device), 0u);
  EXPECT_EQ(At(Frame(), 16, 16), 0xFF000000u);
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 1);  // the valid half
  EXPECT_EQ(TakeGlDrawCallCount(device), 1u);
  ib->Release();
  vb->Release();
}

// The same sequence of one-quad draws with merging on and off gives the same picture; on,
// it takes one GL draw per run of equal states.
TEST_F(GlDeviceTest, MergedUserDrawsMatchSeparateOnesWithFewerGlDraws) {
  std::vector<uint8_t> pictures[2];
  uint64_t calls[2] = {};
  for (int merged = 0; merged < 2; ++merged) {
    SetGlDrawMerging(device, merged == 1);
    ClearTarget(0xFF000000u);
    TakeGlDrawCallCount(device);
    for (int i = 0; i < 8; ++i) {
      // Strips and lists mixed; blending switched half-way breaks the run once.
      if (i == 4) {
        SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      }
      const float x0 = -1.0f + 0.25f * static_cast<float>(i);
      const uint32_t colour = 0x80000000u | (0x1F * static_cast<uint32_t>(i + 1)) << 8 | 0xC0;
      if (i % 2 == 0) {
        ColourVertex quad[6];
        Quad(x0, x0 + 0.25f, colour, quad);
        DrawUserPrimitives(quad, 2, kColourFvf, D3DPT_TRIANGLELIST);
      } else {
        // Bottom-left, top-left, bottom-right, top-right: a strip of two triangles.
        const ColourVertex strip[4] = {{x0, -1, 0.5f, colour},
                                       {x0, 1, 0.5f, colour},
                                       {x0 + 0.25f, -1, 0.5f, colour},
                                       {x0 + 0.25f, 1, 0.5f, colour}};
        DrawUserPrimitives(strip, 2, kColourFvf, D3DPT_TRIANGLESTRIP);
      }
      SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);  // re-set, unchanged: no break
    }
    EndScene();
    calls[merged] = TakeGlDrawCallCount(device);
    pictures[merged] = Frame();
    SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  }
  EXPECT_EQ(calls[0], 8u);
  EXPECT_EQ(calls[1], 2u);
  EXPECT_EQ(pictures[0], pictures[1]);
  EXPECT_NE(At(pictures[1], 2, 16), 0xFF000000u);
}

TEST_F(GlDeviceTest, MergedStripsKeepTheirWindingUnderCulling) {
  SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  // Top-left, top-right, bottom-left, bottom-right: both triangles clockwise on screen.
  const ColourVertex strip[4] = {{-1, 1, 0.5f, 0xFFFFFFFF},
                                 {1, 1, 0.5f, 0xFFFFFFFF},
                                 {-1, -1, 0.5f, 0xFFFFFFFF},
                                 {1, -1, 0.5f, 0xFFFFFFFF}};
  DrawUserPrimitives(strip, 2, kColourFvf, D3DPT_TRIANGLESTRIP);
  DrawUserPrimitives(strip, 2, kColourFvf, D3DPT_TRIANGLESTRIP);
  const auto f = Frame();
  EXPECT_EQ(At(f, 4, 4), 0xFFFFFFFFu);    // first triangle
  EXPECT_EQ(At(f, 28, 28), 0xFFFFFFFFu);  // second triangle (wound the other way in order)
}

// The frame has no alpha channel, as a X8R8G8B8 back buffer: a clear colour's alpha and
// blended alpha never reach it, and destination alpha blends as one.
TEST_F(GlDeviceTest, TheFrameStaysOpaqueAndDestinationAlphaIsOne) {
  ClearTarget(0x00460064u);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTALPHA);  // 0 when the frame is opaque
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTALPHA);    // 1 when the frame is opaque
  ColourVertex quad[6];
  Quad(-1, 1, 0x20FFFFFFu, quad);
  DrawUserPrimitives(quad, 2, kColourFvf, D3DPT_TRIANGLELIST);
  EXPECT_EQ(At(Frame(), 16, 16), 0xFF460064u);
}

TEST_F(GlDeviceTest, FlatShadingTakesTheFirstVertexColour) {
  SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  const ColourVertex v[3] = {
      {-1, -1, 0.5f, 0xFF0000FF}, {-1, 3, 0.5f, 0xFFFF0000}, {3, -1, 0.5f, 0xFF00FF00}};
  DrawUserPrimitives(v, 1, kColourFvf, D3DPT_TRIANGLELIST);
  const auto f = Frame();
  EXPECT_EQ(At(f, 1, 1), 0xFF0000FFu);
  EXPECT_EQ(At(f, 30, 30), 0xFF0000FFu);
}

TEST_F(GlDeviceTest, ResetBringsBackDeviceDefaultsAndKeepsTextures) {
  const uint8_t texel[4] = {255, 0, 0, 255};
  DeviceTexture* texture = device->CreateTexture(1, 1, texel);
  SetRenderState(D3DRS_ZENABLE, 0);
  Matrix4 world;
  world.SetScale(0, 0, 0);
  SetWorldMatrix(&world);
  PresentParameters params{};
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  ASSERT_EQ(device->Reset(params), D3D_OK);
  Matrix4 read;
  read.SetScale(5, 5, 5);
  device->GetTransform(D3DTS_WORLD, &read);
  EXPECT_EQ(read.m[0][0], 1.0f);
  ApplyDefaultStates();
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTexture(0, texture);  // still usable after the reset
  const Vector3 bl(-1, -1, 0.5f), tl(-1, 1, 0.5f), tr(1, 1, 0.5f), br(1, -1, 0.5f);
  const Vector2 uv(0.5f, 0.5f);
  DrawTexturedStrip(bl, tl, tr, br, uv, uv, uv, uv, ColorARGB(255, 255, 255, 255));
  EXPECT_EQ(At(Frame(), 16, 16), 0xFFFF0000u);
  texture->Release();
}

TEST_F(GlDeviceTest, TexturesKeepThePictureSizeAndAFullMipChain) {
  std::vector<uint8_t> texels(48 * 20 * 4, 200);
  DeviceTexture* texture = device->CreateTexture(48, 20, texels.data());
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width(), 48u);
  EXPECT_EQ(texture->Height(), 20u);
  EXPECT_EQ(texture->LevelCount(), 6u);
  texture->Release();
  EXPECT_EQ(device->CreateTexture(0, 4, texels.data()), nullptr);
}

TEST_F(GlDeviceTest, OddSizedMipLevelsAreBoxMeansThatDropNoTexel) {
  // 7 x 1 with texel 2 lit: level 1 averages texels 0-1, 2-3 and 4-6 (the odd one folds
  // in), level 2 the three of level 1; each mean rounded.
  std::vector<uint8_t> texels(7 * 4, 0);
  texels[2 * 4] = 255;
  uint32_t width = 7, height = 1;
  const GLuint name = MakeGlTexture(texels.data(), &width, &height, 64);
  ASSERT_NE(name, 0u);
  uint8_t level1[3 * 4] = {}, level2[4] = {};
  glGetTexImage(GL_TEXTURE_2D, 1, GL_RGBA, GL_UNSIGNED_BYTE, level1);
  glGetTexImage(GL_TEXTURE_2D, 2, GL_RGBA, GL_UNSIGNED_BYTE, level2);
  glDeleteTextures(1, &name);
  EXPECT_EQ(level1[0], 0);
  EXPECT_EQ(level1[4], 128);  // (255 + 0) / 2, rounded
  EXPECT_EQ(level1[8], 0);
  EXPECT_EQ(level2[0], 43);  // (0 + 128 + 0) / 3, rounded
}

TEST(GlAdapter, CreateRendererMakesAHeadlessDeviceWithDefaultStates) {
  GlAdapterOptions adapter;
  adapter.headless = true;
  adapter.headlessWidth = 40;
  adapter.headlessHeight = 30;
  RendererOptions renderer;
  renderer.fullScreen = true;
  SetRendererOptions(renderer);
  ASSERT_TRUE(CreateRenderer(CreateGlAdapter(adapter), nullptr));
  EXPECT_EQ(CurrentDisplayMode().width, 800u);
  EXPECT_EQ(CurrentDisplayMode().bitsPerPixel, 32u);
  EXPECT_EQ(CurrentDisplayMode().depthFormat, D3DFMT_D32);
  ClearTarget(0xFF336699u);
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(ReadFrame(GetDevice(), &rgba, &w, &h));
  EXPECT_EQ(w, 40u);
  EXPECT_EQ(h, 30u);
  EXPECT_EQ(rgba[0], 0x33);
  EXPECT_EQ(rgba[2], 0x99);
  ReleaseRenderer();
}

}  // namespace
}  // namespace yulo

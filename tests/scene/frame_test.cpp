#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/shell_state.h"
#include "effects/effects.h"
#include "effects/particles.h"
#include "models/character.h"
#include "models/frame_matrices.h"
#include "models/model.h"
#include "render/renderer.h"
#include "scene/winter_scene.h"
#include "scene_data/scene_data.h"
#include "scene_fixture.h"

namespace yulo {
namespace {

using test::RunSceneFrame;
using test::WinterSceneTest;

// The frame as a readable script: render states by value, clears, transforms, textures
// and draws, in call order.
std::vector<std::string> Script(const TraceDevice& device) {
  std::vector<std::string> out;
  for (const TraceRecord& r : device.Records()) {
    switch (r.kind) {
      case TraceKind::SetRenderState:
        out.push_back("rs " + std::to_string(r.state) + "=" + std::to_string(r.value));
        break;
      case TraceKind::Clear:
        out.push_back("clear " + std::to_string(r.type));
        break;
      case TraceKind::SetTransform:
        out.push_back("xf " + std::to_string(r.state));
        break;
      case TraceKind::DrawPrimitiveUP:
        out.push_back("up " + std::to_string(r.type) + " " + std::to_string(r.count));
        break;
      case TraceKind::DrawIndexedPrimitive:
        out.push_back("indexed");
        break;
      default:
        break;
    }
  }
  return out;
}

std::string Rs(uint32_t state, uint32_t value) {
  return "rs " + std::to_string(state) + "=" + std::to_string(value);
}
std::string Xf(uint32_t state) {
  return "xf " + std::to_string(state);
}

void Append(std::vector<std::string>& a, std::initializer_list<std::string> b) {
  a.insert(a.end(), b);
}

TEST_F(WinterSceneTest, FrameSetsItsStatesInOrder) {
  RunSceneFrame(0);  // first frame: nothing emitted, no sprites
  std::vector<std::string> expected = {
      "rs " + std::to_string(D3DRS_ZENABLE) + "=1", "clear " + std::to_string(D3DCLEAR_ZBUFFER),
      Rs(D3DRS_CULLMODE, D3DCULL_NONE), Xf(D3DTS_PROJECTION), Rs(D3DRS_LIGHTING, 1), Xf(D3DTS_VIEW),
      "clear " + std::to_string(D3DCLEAR_TARGET),
      // sleigh (no meshes here), world none
      Xf(D3DTS_WORLD),
      // sky
      Rs(D3DRS_LIGHTING, 0), Rs(D3DRS_LIGHTING, 1),
      // globe
      Xf(D3DTS_TEXTURE0), Rs(D3DRS_LIGHTING, 0), Rs(D3DRS_LIGHTING, 1), Xf(D3DTS_TEXTURE0)};
  // Five character draws, each with its world matrix.
  for (int i = 0; i < 5; ++i) Append(expected, {Xf(D3DTS_WORLD), "indexed"});
  Append(expected,
         {Rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), Rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
          Rs(D3DRS_ALPHABLENDENABLE, 1), Rs(D3DRS_ALPHATESTENABLE, 1), Rs(D3DRS_LIGHTING, 0),
          Xf(D3DTS_WORLD), "up " + std::to_string(D3DPT_POINTLIST) + " 1024", Xf(D3DTS_WORLD),
          Rs(D3DRS_ALPHAREF, 128)});
  for (int i = 0; i < kFirTreeCount; ++i) {
    expected.push_back("up " + std::to_string(D3DPT_TRIANGLELIST) + " 2");
  }
  Append(expected,
         {Rs(D3DRS_ALPHATESTENABLE, 0),
          // sprites: none queued on the first frame
          Xf(D3DTS_WORLD), Rs(D3DRS_LIGHTING, 0), Rs(D3DRS_ALPHABLENDENABLE, 1),
          Rs(D3DRS_SRCBLEND, D3DBLEND_ZERO), Rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
          Rs(D3DRS_ZWRITEENABLE, 0), Rs(D3DRS_ZWRITEENABLE, 1), Rs(D3DRS_LIGHTING, 1),
          Rs(D3DRS_ALPHATESTENABLE, 0), Rs(D3DRS_ALPHABLENDENABLE, 0),
          // closing states, carried into the next frame
          Rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), Rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
          Rs(D3DRS_ZENABLE, 0), Rs(D3DRS_ALPHAREF, 1), Rs(D3DRS_LIGHTING, 0), Xf(D3DTS_WORLD),
          Xf(D3DTS_VIEW), Rs(D3DRS_ALPHATESTENABLE, 0), Rs(D3DRS_ALPHABLENDENABLE, 0)});
  EXPECT_EQ(Script(device), expected);
}

TEST_F(WinterSceneTest, FrameClearsToTheNightColourWithAFixedProjection) {
  RunSceneFrame(0);
  bool sawTarget = false;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind == TraceKind::Clear && r.type == D3DCLEAR_TARGET) {
      EXPECT_EQ(r.value, 0x00460064u);
      sawTarget = true;
    }
    if (r.kind == TraceKind::Clear && r.type == D3DCLEAR_ZBUFFER) {
      EXPECT_EQ(r.z, 1.0f);
    }
  }
  EXPECT_TRUE(sawTarget);
  const Matrix4& p = device.Transform(D3DTS_PROJECTION);
  EXPECT_NEAR(p.m[0][0], 1.8106600f, 1e-5);
  EXPECT_NEAR(p.m[1][1], 2.4142136f, 1e-5);
  EXPECT_NEAR(p.m[2][2], 1.0141988f, 1e-5);
  EXPECT_NEAR(p.m[3][2], -35.4969574f, 1e-4);
}

TEST_F(WinterSceneTest, SleighSkyAndGlobeTransforms) {
  RunSceneFrame(0);
  // Time 0: the sleigh is only turned round, the globe texture unshifted.
  const Matrix4& sleigh = winterScene.winterAssets.sleigh->world;
  EXPECT_NEAR(sleigh.m[0][0], -1.0f, 1e-6);
  EXPECT_NEAR(sleigh.m[1][1], -1.0f, 1e-6);
  EXPECT_NEAR(sleigh.m[2][2], 1.0f, 1e-6);
  EXPECT_NEAR(sleigh.m[0][1], 0.0f, 1e-6);
  const auto xfs = device.RecordsOf(TraceKind::SetTransform);
  std::vector<const TraceRecord*> texture;
  for (const TraceRecord* r : xfs) {
    if (r->state == D3DTS_TEXTURE0) texture.push_back(r);
  }
  ASSERT_EQ(texture.size(), 2u);
  EXPECT_EQ(texture[0]->matrix.m[2][1], 0.0f);

  const Matrix4& sky = winterScene.winterAssets.skyDome->world;
  EXPECT_EQ(sky.m[3][2], -300.0f);
  EXPECT_EQ(sky.m[0][0], 40.0f);
  EXPECT_EQ(sky.m[1][1], 40.0f);
  EXPECT_EQ(sky.m[2][2], 20.0f);
  const Matrix4& globe = winterScene.winterAssets.globe->world;
  EXPECT_EQ(globe.m[3][2], -93.0f);
  EXPECT_EQ(globe.m[0][0], 9.0f);
  EXPECT_EQ(globe.m[2][2], 9.0f);

  // About 224.4 ms in, sin(0.007 t) peaks: the sleigh leans the full half degree about X.
  device.ClearRecords();
  RunSceneFrame(224);
  const double t = 224.0;
  const double rx = 0.5 * std::sin(t * 0.007);
  const double ry = 0.5 * std::sin(t * 0.005);
  Matrix4 expected;
  expected.SetRotationZ(180.0f);
  expected.RotateX(static_cast<float>(rx)).RotateY(static_cast<float>(ry));
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(winterScene.winterAssets.sleigh->world[i], expected[i], 1e-6) << i;
  EXPECT_NEAR(rx, 0.5, 1e-3);
  for (const TraceRecord* r : device.RecordsOf(TraceKind::SetTransform)) {
    if (r->state != D3DTS_TEXTURE0) continue;
    EXPECT_NEAR(r->matrix.m[2][1], -224.0f * 0.00037f, 1e-7);
    EXPECT_EQ(r->matrix.m[2][0], 0.0f);
    EXPECT_EQ(r->matrix.m[0][0], 1.0f);
    EXPECT_EQ(r->matrix.m[1][1], 1.0f);
    break;
  }
  // The texture matrix is identity again after the globe.
  const Matrix4 identity;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(device.Transform(D3DTS_TEXTURE0)[i], identity[i]);
}

TEST_F(WinterSceneTest, FiveCharacterDrawsWithTheirPlacements) {
  RunSceneFrame(16);
  // Streams tell the characters apart; each draw follows its world matrix.
  std::vector<const void*> streams;
  std::vector<Matrix4> worlds;
  Matrix4 world;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind == TraceKind::SetTransform && r.state == D3DTS_WORLD) world = r.matrix;
    if (r.kind == TraceKind::SetStreamSource && r.object != nullptr) streams.push_back(r.object);
    if (r.kind == TraceKind::DrawIndexedPrimitive) worlds.push_back(world);
  }
  ASSERT_EQ(worlds.size(), 5u);
  ASSERT_EQ(streams.size(), 5u);
  EXPECT_EQ(streams[0], streams[2]);
  EXPECT_EQ(streams[1], streams[3]);
  EXPECT_NE(streams[0], streams[1]);
  EXPECT_NE(streams[4], streams[0]);
  EXPECT_NE(streams[4], streams[1]);
  // The clips keep the root at the origin, so each world is placement x sleigh.
  const Vector3 offsets[5] = {{0, 0, 0}, {18.4f, 0, 0}, {18.4f, -38, 0}, {0, -38, 0}, {0, 0, 0}};
  for (int i = 0; i < 5; ++i) {
    const Vector3 expected = offsets[i].Transform(frameMatrices.sleighMatrix);
    EXPECT_NEAR(worlds[static_cast<size_t>(i)].m[3][0], expected.x, 1e-4) << i;
    EXPECT_NEAR(worlds[static_cast<size_t>(i)].m[3][1], expected.y, 1e-4) << i;
    EXPECT_NEAR(worlds[static_cast<size_t>(i)].m[3][2], expected.z, 1e-4) << i;
    for (int k = 0; k < 3; ++k) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(worlds[static_cast<size_t>(i)].m[k][c], frameMatrices.sleighMatrix.m[k][c],
                    1e-6);
      }
    }
  }
  // Each character is updated once per frame although the reindeer are drawn twice.
  EXPECT_FLOAT_EQ(winterScene.reindeer[0].clipTime, 16.0f);
  EXPECT_FLOAT_EQ(winterScene.reindeer[1].clipTime,
                  0.5f * test::kClipFrames * test::kClipFrameMs + 16.0f);
  EXPECT_FLOAT_EQ(winterScene.driver.clipTime, 16.0f);
}

// Emission: ring slots filled per burst, in the order of the emission points.
constexpr int kBurst = 2 + 6 + 2 + 6 + 4 * 6;

// A stall of seconds: one burst now, the rest owed; the globe slides by the whole time.
TEST_F(WinterSceneTest, AStallOfSecondsKeepsItsBacklogAndTheGlobeItsWholeSlide) {
  RunSceneFrame(0);
  device.ClearRecords();
  RunSceneFrame(5000);
  EXPECT_EQ(effects.particleSystem.next, kBurst);
  EXPECT_EQ(winterScene.emitAccumulator, 4900u);
  float slide = 0.0f;
  for (const TraceRecord* r : device.RecordsOf(TraceKind::SetTransform)) {
    if (r->state == D3DTS_TEXTURE0) {
      slide = r->matrix.m[2][1];
      break;
    }
  }
  EXPECT_EQ(slide, -(5000.0f * 0.00037f));
}

TEST_F(WinterSceneTest, AtMostOneBurstPerFrameAndTheAccumulatorKeepsTheRest) {
  RunSceneFrame(0);
  EXPECT_EQ(effects.particleSystem.next, 0);
  RunSceneFrame(100);  // not more than 100 yet
  EXPECT_EQ(effects.particleSystem.next, 0);
  EXPECT_EQ(winterScene.emitAccumulator, 100u);
  RunSceneFrame(250);  // 350 ms: one burst only
  EXPECT_EQ(effects.particleSystem.next, kBurst);
  EXPECT_EQ(winterScene.emitAccumulator, 250u);
  RunSceneFrame(0);
  EXPECT_EQ(effects.particleSystem.next, 2 * kBurst);
  EXPECT_EQ(winterScene.emitAccumulator, 150u);
  RunSceneFrame(0);
  EXPECT_EQ(effects.particleSystem.next, 3 * kBurst);
  EXPECT_EQ(winterScene.emitAccumulator, 50u);
  RunSceneFrame(0);
  EXPECT_EQ(effects.particleSystem.next, 3 * kBurst);

  // The first burst, slot by slot.
  const Particle* ring = effects.particleSystem.ring;
  const int kinds[] = {0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 2, 2, 2, 2, 2, 2};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ring[i].kind, kinds[i]) << i;
  for (int i = 16; i < kBurst; ++i) EXPECT_EQ(ring[i].kind, 3) << i;
}

TEST_F(WinterSceneTest, AFrameDrawnAgainForAnotherWindowEmitsNoBurstAndEndsNoFade) {
  RunSceneFrame(0);
  winterScene.emitAccumulator = 250;  // two bursts due after a stall
  RunSceneFrame(0);
  ASSERT_EQ(effects.particleSystem.next, kBurst);
  Character& driver = winterScene.driver;
  AnimationClip* from = driver.currentClip;
  driver.CrossFadeTo(from);
  driver.fadeTime = kCrossFadeDuration;  // complete: the next Update would end it
  frameTiming.redraw = true;
  RunSceneFrame(0);
  frameTiming.redraw = false;
  EXPECT_EQ(effects.particleSystem.next, kBurst);
  EXPECT_EQ(winterScene.emitAccumulator, 150u);
  EXPECT_TRUE(driver.fading);
  EXPECT_EQ(driver.fadeTime, kCrossFadeDuration);
  RunSceneFrame(0);  // the next real frame has its burst
  EXPECT_EQ(effects.particleSystem.next, 2 * kBurst);
}

TEST_F(WinterSceneTest, BurstPositionsAndTheirSprites) {
  RunSceneFrame(0);
  winterScene.emitAccumulator = 150;  // a burst due, in a frame that advances nothing
  RunSceneFrame(0);
  // Kind 0 starts exactly at its point; kind 3 clouds scatter around theirs.
  const Particle* ring = effects.particleSystem.ring;
  EXPECT_EQ(ring[0].position.x, 8.5f);
  EXPECT_EQ(ring[0].position.y, -61.0f);
  EXPECT_EQ(ring[8].position.x, -8.5f);
  const float cloudX[4] = {-8.5f, -8.5f, 8.5f, 8.5f};
  const float cloudY[4] = {35.0f, 90.0f, 35.0f, 90.0f};
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < 6; ++i) {
      const Particle& p = ring[16 + 6 * c + i];
      EXPECT_LE(std::fabs(p.position.x - cloudX[c]), 5.0f);
      EXPECT_LE(std::fabs(p.position.y - cloudY[c]), 7.0f);
    }
  }
  // The particles were drawn this frame (those the camera sees).
  size_t strips = 0;
  for (const TraceRecord* r : device.RecordsOf(TraceKind::DrawPrimitiveUP)) {
    if (r->type == D3DPT_TRIANGLESTRIP) ++strips;
  }
  EXPECT_GT(strips, 0u);
  EXPECT_LE(strips, static_cast<size_t>(kBurst));
}

}  // namespace
}  // namespace yulo

#include <gtest/gtest.h>

#include <cmath>

#include "effects/effects.h"
#include "effects/particles.h"
#include "math/math.h"
#include "models/character.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "scene/winter_scene.h"
#include "scene_data/scene_data.h"
#include "scene_fixture.h"

namespace yulo {
namespace {

using test::WinterSceneTest;

TEST_F(WinterSceneTest, InitInstalledTheFixedLightAndMaterial) {
  const Light& light = device.CurrentLight();
  EXPECT_EQ(light.type, D3DLIGHT_DIRECTIONAL);
  EXPECT_NEAR(light.direction.x, 0.6492f, 1e-4);
  EXPECT_NEAR(light.direction.y, 0.6029f, 1e-4);
  EXPECT_NEAR(light.direction.z, 0.4637f, 1e-4);
  EXPECT_EQ(light.diffuse.r, 1.0f);
  EXPECT_EQ(light.diffuse.a, 0.0f);
  EXPECT_EQ(light.specular.a, 1.0f);
  EXPECT_EQ(light.ambient.r, 0.0f);
  EXPECT_EQ(light.attenuation0, 1.0f);
  EXPECT_EQ(light.range, 0.0f);
  EXPECT_TRUE(device.LightEnabled());
  const Material& m = device.CurrentMaterial();
  EXPECT_EQ(m.diffuse.g, 1.0f);
  EXPECT_EQ(m.ambient.r, 0.3f);
  EXPECT_EQ(m.ambient.a, 1.0f);
  EXPECT_EQ(m.specular.r, 0.0f);
  EXPECT_EQ(m.emissive.r, 0.0f);
  EXPECT_EQ(m.power, 0.0f);
  EXPECT_EQ(scenes.currentScene, &winterScene);
  EXPECT_EQ(winterScene.flags, 0);
  ASSERT_NE(effects.particleSystem.texture, nullptr);
  EXPECT_STREQ(effects.particleSystem.texture->name, "particles.tga");
}

TEST_F(WinterSceneTest, ReindeerShareOneClipHalfACycleApart) {
  EXPECT_EQ(winterScene.reindeer[0].currentClip, winterScene.winterAssets.reindeerClip);
  EXPECT_EQ(winterScene.reindeer[1].currentClip, winterScene.winterAssets.reindeerClip);
  EXPECT_EQ(winterScene.reindeer[0].clipTime, 0.0f);
  EXPECT_EQ(winterScene.reindeer[1].clipTime, 0.5f * test::kClipFrames * test::kClipFrameMs);
  EXPECT_EQ(winterScene.reindeer[0].skin, winterScene.reindeer[1].skin);
  EXPECT_NE(winterScene.reindeer[0].vertexBuffer, winterScene.reindeer[1].vertexBuffer);
  EXPECT_EQ(winterScene.driver.currentClip, winterScene.winterAssets.baseClip);
  EXPECT_NE(winterScene.winterAssets.gestureClip, winterScene.winterAssets.baseClip);
  EXPECT_NE(winterScene.winterAssets.gestureClip, nullptr);
  // Half a cycle apart, the two poses differ on the first frame.
  test::RunSceneFrame(0);
  EXPECT_NE(winterScene.reindeer[0].frameIndex, winterScene.reindeer[1].frameIndex);
}

TEST_F(WinterSceneTest, SnowAndTreesStartInTheirRangesOpaqueWhite) {
  for (const Snowflake& s : winterScene.snowflakes) {
    EXPECT_GE(s.position.x, -150.0f);
    EXPECT_LT(s.position.x, 150.0f);
    EXPECT_GE(s.position.y, -120.0f);
    EXPECT_LT(s.position.y, 220.0f);
    EXPECT_GE(s.position.z, -50.0f);
    EXPECT_LT(s.position.z, 150.0f);
    EXPECT_EQ(s.pointSize, 5.0f);
    EXPECT_EQ(s.colour.Value(), 0xFFFFFFFFu);
  }
  for (const FirTree& t : winterScene.firTrees) {
    EXPECT_GE(t.position.x, -370.0f);
    EXPECT_LT(t.position.x, 230.0f);
    EXPECT_GE(t.position.y, -500.0f);
    EXPECT_LT(t.position.y, 500.0f);
    EXPECT_EQ(t.position.z, -40.0f);
    EXPECT_GE(t.size, 30.0f);
    EXPECT_LT(t.size, 50.0f);
    EXPECT_EQ(t.colour.Value(), 0xFFFFFFFFu);
  }
}

TEST_F(WinterSceneTest, PlacementFollowsTheDrawOrderOfTheGenerator) {
  // Four draws per flake, three per tree, from a generator that repeats every 256 draws.
  for (int i = 0; i + 64 < kSnowflakeCount; ++i) {
    EXPECT_EQ(winterScene.snowflakes[i].position.x, winterScene.snowflakes[i + 64].position.x) << i;
    EXPECT_EQ(winterScene.snowflakes[i].position.z, winterScene.snowflakes[i + 64].position.z) << i;
  }
  for (int i = 0; i + 256 < kFirTreeCount; ++i) {
    EXPECT_EQ(winterScene.firTrees[i].position.y, winterScene.firTrees[i + 256].position.y) << i;
    EXPECT_EQ(winterScene.firTrees[i].size, winterScene.firTrees[i + 256].size) << i;
  }
  // Flake 0 with the seed's first draws: z, then y, then x.
  RandomSeed(7);
  const float z = RandomSigned(100.0f) + 50.0f;
  const float y = RandomSigned(170.0f) + 50.0f;
  const float x = RandomSigned(150.0f);
  EXPECT_EQ(winterScene.snowflakes[0].position.z, z);
  EXPECT_EQ(winterScene.snowflakes[0].position.y, y);
  EXPECT_EQ(winterScene.snowflakes[0].position.x, x);
  // Tree 0 follows the 4096 draws of the snow: size, y, x.
  RandomSeed(7);
  for (int i = 0; i < 4 * kSnowflakeCount; ++i) RandomInt(2);
  const float size = RandomFloat(20.0f) + 30.0f;
  const float ty = RandomSigned(500.0f);
  const float tx = RandomSigned(300.0f) - 70.0f;
  EXPECT_EQ(winterScene.firTrees[0].size, size);
  EXPECT_EQ(winterScene.firTrees[0].position.y, ty);
  EXPECT_EQ(winterScene.firTrees[0].position.x, tx);
}

// Start-up shows black while the assets load, then installs the light in this order.
TEST_F(WinterSceneTest, BlankFrameAndLightingCallOrder) {
  scenes.blankScene.ShowBlankFrame();
  scenes.blankScene.SetupLighting();
  std::vector<TraceKind> kinds;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind == TraceKind::TestCooperativeLevel) continue;
    kinds.push_back(r.kind);
    if (r.kind == TraceKind::Clear) {
      EXPECT_EQ(r.type, static_cast<uint32_t>(D3DCLEAR_TARGET));
      EXPECT_EQ(r.value, 0u);
    }
    if (r.kind == TraceKind::SetRenderState) {
      EXPECT_EQ(r.state, static_cast<uint32_t>(D3DRS_LIGHTING));
      EXPECT_EQ(r.value, 1u);
    }
  }
  const std::vector<TraceKind> expected = {TraceKind::BeginScene,     TraceKind::Clear,
                                           TraceKind::EndScene,       TraceKind::Present,
                                           TraceKind::SetRenderState, TraceKind::SetLight,
                                           TraceKind::LightEnable,    TraceKind::SetMaterial};
  EXPECT_EQ(kinds, expected);
}

}  // namespace
}  // namespace yulo

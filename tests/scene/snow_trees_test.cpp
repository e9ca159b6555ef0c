#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/shell_state.h"
#include "math/math.h"
#include "models/frame_matrices.h"
#include "render/renderer.h"
#include "scene/snow_trees.h"
#include "scene/winter_scene.h"
#include "scene_fixture.h"

namespace yulo {
namespace {

using test::WinterSceneTest;

// Every flake parked where no rule touches it, except the ones a test places.
void ParkSnow() {
  for (Snowflake& s : winterScene.snowflakes) s.position.Set(0.0f, 0.0f, 100.0f);
}

void StepSnow(float ms) {
  frameTiming.elapsedTime = ms;
  UpdateSnow();
}
void StepTrees(float ms) {
  frameTiming.elapsedTime = ms;
  UpdateTrees();
}

TEST_F(WinterSceneTest, SnowIsDrawnWhereItStoodAsOnePointList) {
  const Snowflake before = winterScene.snowflakes[5];
  StepSnow(16.0f);
  const auto draws = device.RecordsOf(TraceKind::DrawPrimitiveUP);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0]->type, static_cast<uint32_t>(D3DPT_POINTLIST));
  EXPECT_EQ(draws[0]->count, static_cast<uint32_t>(kSnowflakeCount));
  EXPECT_EQ(draws[0]->value, 20u);  // stride
  ASSERT_EQ(draws[0]->data.size(), sizeof(winterScene.snowflakes));
  Snowflake drawn;
  std::memcpy(&drawn, draws[0]->data.data() + 5 * sizeof(Snowflake), sizeof drawn);
  EXPECT_EQ(drawn.position.z, before.position.z);
  EXPECT_EQ(drawn.pointSize, 5.0f);
  EXPECT_EQ(drawn.colour.Value(), 0xFFFFFFFFu);
  EXPECT_NE(winterScene.snowflakes[5].position.z, before.position.z);  // moved after the draw
  for (const TraceRecord* r : device.RecordsOf(TraceKind::SetVertexShader)) {
    EXPECT_EQ(r->value, D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE);
  }
}

TEST_F(WinterSceneTest, ZeroStepMovesNothing) {
  Snowflake flakes[kSnowflakeCount];
  FirTree trees[kFirTreeCount];
  std::memcpy(flakes, winterScene.snowflakes, sizeof flakes);
  std::memcpy(trees, winterScene.firTrees, sizeof trees);
  for (int i = 0; i < 3; ++i) {
    StepSnow(0.0f);
    StepTrees(0.0f);
  }
  EXPECT_EQ(0, std::memcmp(flakes, winterScene.snowflakes, sizeof flakes));
  for (int i = 0; i < kFirTreeCount; ++i) {
    EXPECT_EQ(winterScene.firTrees[i].position.y, trees[i].position.y);
    EXPECT_EQ(winterScene.firTrees[i].colour.a, TreeAlpha(trees[i].position.y));
  }
}

TEST_F(WinterSceneTest, FlakeBelowTheBottomIsRecycledIntoANewColumn) {
  ParkSnow();
  winterScene.snowflakes[1].position.Set(10.0f, 30.0f,
                                         -49.0f);  // kind 1 falls 1.2 per unit of step
  RandomSeed(99);
  const float y = RandomSigned(170.0f) + 50.0f;
  const float x = RandomSigned(150.0f);
  RandomSeed(99);
  StepSnow(100.0f);  // step 5.1: z = -49 - 6.12
  const Vector3 p = winterScene.snowflakes[1].position;
  EXPECT_NEAR(p.z, -49.0f - 1.2f * 5.1f + 200.0f, 1e-3);
  EXPECT_EQ(p.y, y);
  EXPECT_EQ(p.x, x);
}

TEST_F(WinterSceneTest, FlakeBehindJumpsForwardAndSidesWrap) {
  ParkSnow();
  winterScene.snowflakes[2].position.Set(5.0f, -119.5f, 100.0f);  // kind 2: y drifts by -1 per unit
  winterScene.snowflakes[3].position.Set(150.0f, 0.0f, 100.0f);   // kind 0: no sideways drift
  winterScene.snowflakes[6].position.Set(-150.0f, 0.0f, 100.0f);  // kind 0
  winterScene.snowflakes[4].position.Set(149.9f, 0.0f, 100.0f);   // kind 1: drifts +x
  StepSnow(10.0f);                                                // step 0.51
  EXPECT_EQ(winterScene.snowflakes[2].position.y, 220.0f);
  EXPECT_NEAR(winterScene.snowflakes[2].position.z, 100.0f - 1.5f * 0.51f, 1e-4);
  EXPECT_GT(winterScene.snowflakes[2].position.x, 5.0f);
  EXPECT_EQ(winterScene.snowflakes[3].position.x, 150.0f);
  EXPECT_EQ(winterScene.snowflakes[6].position.x, -150.0f);
  EXPECT_EQ(winterScene.snowflakes[4].position.x, -150.0f);
}

TEST_F(WinterSceneTest, TreeFadesAtTheEndsOfTheStrip) {
  EXPECT_EQ(TreeAlpha(-450.0f), 255);
  EXPECT_EQ(TreeAlpha(-475.0f), 127);
  EXPECT_EQ(TreeAlpha(485.0f), 127);
  EXPECT_EQ(TreeAlpha(470.0f), 255);
  EXPECT_EQ(TreeAlpha(-500.0f), 0);
  EXPECT_EQ(TreeAlpha(0.0f), 255);
  // And through the frame's own pass.
  winterScene.firTrees[0].position.y = -475.0f;
  winterScene.firTrees[1].position.y = 485.0f;
  winterScene.firTrees[2].position.y = -450.0f;
  StepTrees(0.0f);
  EXPECT_EQ(winterScene.firTrees[0].colour.a, 127);
  EXPECT_EQ(winterScene.firTrees[1].colour.a, 127);
  EXPECT_EQ(winterScene.firTrees[2].colour.a, 255);
}

TEST_F(WinterSceneTest, TreePastTheBackReappearsAtTheFrontAndFadesIn) {
  winterScene.firTrees[7].position.y = -499.0f;
  StepTrees(25.0f);  // step 2: y = -501 -> 499
  EXPECT_FLOAT_EQ(winterScene.firTrees[7].position.y, 499.0f);
  EXPECT_LT(winterScene.firTrees[7].colour.a, 20);
  int previous = winterScene.firTrees[7].colour.a;
  for (int i = 0; i < 15; ++i) {
    StepTrees(25.0f);
    EXPECT_GE(winterScene.firTrees[7].colour.a, previous);
    previous = winterScene.firTrees[7].colour.a;
  }
  EXPECT_FLOAT_EQ(winterScene.firTrees[7].position.y, 469.0f);
  EXPECT_EQ(winterScene.firTrees[7].colour.a, 255);
}

TEST_F(WinterSceneTest, TreesSwitchTextureAtTheHalfAndStandOnTheGround) {
  frameMatrices.cameraMatrix.SetIdentity();
  winterScene.firTrees[0].position.Set(30.0f, 40.0f, -40.0f);
  winterScene.firTrees[0].size = 40.0f;
  StepTrees(0.0f);
  // Texture changes: fir for trees 0..177, fir2 for 178..355.
  int drawsBeforeSwitch = 0;
  int textures = 0;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind == TraceKind::SetTexture) ++textures;
    if (r.kind == TraceKind::DrawPrimitiveUP && textures == 1) ++drawsBeforeSwitch;
  }
  EXPECT_EQ(textures, 2);
  EXPECT_EQ(drawsBeforeSwitch, 178);
  // Tree 0: bottom centre on the sphere of radius 2600 whose top is at z = -40; camera
  // axes are the world axes, so the quad is 0.8 h wide along x and h tall along y.
  const auto draws = device.RecordsOf(TraceKind::DrawPrimitiveUP);
  ASSERT_EQ(draws.size(), static_cast<size_t>(kFirTreeCount));
  QuadVertex v[6];
  ASSERT_EQ(draws[0]->data.size(), sizeof v);
  std::memcpy(v, draws[0]->data.data(), sizeof v);
  const float z = std::sqrt(2600.0f * 2600.0f - 30.0f * 30.0f - 40.0f * 40.0f) - 2640.0f;
  EXPECT_NEAR(v[0].position.x, 30.0f - 16.0f, 1e-3);  // bottom-left
  EXPECT_NEAR(v[0].position.y, 40.0f, 1e-3);
  EXPECT_NEAR(v[0].position.z, z, 0.1);
  EXPECT_NEAR(v[1].position.y, 80.0f, 1e-3);  // top-left
  EXPECT_NEAR(v[2].position.x, 46.0f, 1e-3);  // top-right
  EXPECT_NEAR(v[5].position.x, 46.0f, 1e-3);  // bottom-right
  EXPECT_NEAR(v[5].position.y, 40.0f, 1e-3);
  EXPECT_EQ(v[0].color, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace yulo

#include <gtest/gtest.h>

#include <cmath>

#include "base/shell_state.h"
#include "effects/effects.h"
#include "effects/particles.h"
#include "render/renderer.h"
#include "scene/snow_trees.h"
#include "scene/winter_scene.h"
#include "scene_fixture.h"
#include "support/allocation/allocation_counter.h"

namespace yulo {
namespace {

using test::RunSceneFrame;
using test::WinterSceneTest;

constexpr double kWeekMs = 7.0 * 24.0 * 3600.0 * 1000.0;

// The phase advance per step must not depend on how long the scene has run.
TEST_F(WinterSceneTest, AWeekInTheSceneAnimatesLikeTheFirstMinute) {
  for (double start : {0.0, kWeekMs}) {
    SCOPED_TRACE(start);
    winterScene.sceneTime = start;
    winterScene.snowTime = start;
    for (int k = 1; k <= 50; ++k) {
      const double before = GlobeTextureOffset();
      RunSceneFrame(16);
      const long double t = static_cast<long double>(start) + 16.0L * k;
      EXPECT_NEAR(SleighRockX(), 0.5L * std::sin(t * 0.007L), 2e-7);
      EXPECT_NEAR(SleighRockY(), 0.5L * std::sin(t * 0.005L), 2e-7);
      // The texture shift advances by 16 x 0.00037 each step (modulo whole wraps).
      double delta = GlobeTextureOffset() - before;
      if (delta > 0.5) delta -= 1.0;
      EXPECT_NEAR(delta, -16.0 * 0.00037, 1e-6);
      EXPECT_LE(GlobeTextureOffset(), 0.0f);
      EXPECT_GT(GlobeTextureOffset(), start == 0.0 ? -1.0f : -1024.0f);
    }
    EXPECT_EQ(winterScene.sceneTime, start + 50 * 16.0);
    EXPECT_EQ(winterScene.snowTime, start + 50 * 16.0);
  }
}

TEST_F(WinterSceneTest, OneStepOfAnHourKeepsEverythingInRange) {
  RunSceneFrame(0);
  RunSceneFrame(3600u * 1000u);
  for (const Snowflake& s : winterScene.snowflakes) {
    EXPECT_GE(s.position.x, -150.0f);
    EXPECT_LE(s.position.x, 150.0f);
    EXPECT_GE(s.position.y, -120.0f);
    EXPECT_LE(s.position.y, 220.0f);
    EXPECT_GE(s.position.z, -50.0f);
    EXPECT_LT(s.position.z, 150.0f);
  }
  for (const FirTree& t : winterScene.firTrees) {
    EXPECT_GE(t.position.y, -500.0f);
    EXPECT_LT(t.position.y, 500.0f);
    EXPECT_EQ(t.colour.a, TreeAlpha(t.position.y));
  }
  EXPECT_GE(winterScene.cameraTime, 0.0f);
  EXPECT_LT(winterScene.cameraTime, 35000.0f);
  // 3 600 000 ms is 102 loops and 30 000 ms: the start of shot 6.
  EXPECT_EQ(winterScene.cameraSegment, 6);
  EXPECT_EQ(winterScene.cameraTime, 30000.0f);
  // One burst, and at most a minute's worth more owed: no hour-long catch-up after a stall.
  EXPECT_EQ(winterScene.emitAccumulator, kMaxEmitBacklogMs - 100u);
  device.SetRecording(false);  // hundreds of frames: the null device
  int bursts = 0;
  for (int next = effects.particleSystem.next; bursts < 1000; ++bursts) {
    RunSceneFrame(0);
    if (effects.particleSystem.next == next) break;
    next = effects.particleSystem.next;
  }
  // One a frame while more than 100 are owed: kMax - 100, ..., 200.
  EXPECT_EQ(bursts, static_cast<int>((kMaxEmitBacklogMs - 200u) / 100u));
}

TEST_F(WinterSceneTest, NoHeapAllocationPerFrameAfterTheFirst) {
  device.SetRecording(false);  // the null device: records nothing
  RunSceneFrame(0);
  const long before = test::AllocationCount();
  for (int i = 0; i < 1000; ++i) RunSceneFrame(i % 7 == 0 ? 40 : 16);
  EXPECT_EQ(test::AllocationCount() - before, 0);
  EXPECT_GT(effects.particleSystem.next, 0);  // the frames did emit and draw
  device.SetRecording(true);
}

}  // namespace
}  // namespace yulo

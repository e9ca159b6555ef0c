#include <gtest/gtest.h>

#include "base/shell_state.h"
#include "models/character.h"
#include "models/frame_matrices.h"
#include "render/renderer.h"
#include "scene/winter_scene.h"
#include "scene_fixture.h"

namespace yulo {
namespace {

using test::RunSceneFrame;
using test::WinterSceneTest;

Matrix4 Shot(float tx, float ty, float tz, float x, float z) {
  Matrix4 m;
  m.Translate(tx, ty, tz).RotateX(x).RotateZ(z);
  return m;
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-4) << "element " << i;
}

TEST_F(WinterSceneTest, FirstFrameIsTheStartOfShotZero) {
  RunSceneFrame(0);
  EXPECT_EQ(winterScene.cameraSegment, 0);
  EXPECT_EQ(winterScene.previousCameraSegment, 0);
  EXPECT_EQ(winterScene.cameraFraction, 0.0f);
  ExpectMatrixNear(frameMatrices.cameraMatrix, Shot(0, 0, 244, -110, 0));
  // The view is the path's matrix itself, and it is what the frame installed.
  const auto xfs = device.RecordsOf(TraceKind::SetTransform);
  bool sawView = false;
  for (const TraceRecord* r : xfs) {
    if (r->state != D3DTS_VIEW || sawView) continue;
    sawView = true;
    ExpectMatrixNear(r->matrix, frameMatrices.cameraMatrix);
  }
  EXPECT_TRUE(sawView);
  // No clip switch on the very first frame.
  EXPECT_FALSE(winterScene.driver.fading);
  EXPECT_EQ(winterScene.driver.currentClip, winterScene.winterAssets.baseClip);
}

TEST_F(WinterSceneTest, BoundaryBelongsToTheLaterShot) {
  RunSceneFrame(0);
  RunSceneFrame(7000);
  EXPECT_EQ(winterScene.cameraSegment, 1);
  EXPECT_EQ(winterScene.cameraFraction, 0.0f);
  ExpectMatrixNear(frameMatrices.cameraMatrix, Shot(-17, -30, 90, -97, 80));
  RunSceneFrame(1500);
  EXPECT_EQ(winterScene.cameraSegment, 1);
  EXPECT_FLOAT_EQ(winterScene.cameraFraction, 0.5f);
}

TEST_F(WinterSceneTest, EveryShotAtItsMiddle) {
  struct Expect {
    float start, seconds;
    Matrix4 m;
  };
  const Expect shots[7] = {
      {0, 7, Shot(0, 0, 244, -110, 15)},         {7000, 3, Shot(-17, -30, 90, -97, 80)},
      {10000, 7, Shot(50, -40, 194, -105, 90)},  {17000, 3, Shot(0, -35, 150, -100, 0)},
      {20000, 5, Shot(20, -30, 140, -100, 165)}, {25000, 5, Shot(0, -55, 50, -95, 180)},
      {30000, 5, Shot(0, -15, 190, -94, 0)},
  };
  for (int i = 0; i < 7; ++i) {
    test::RestartScene();
    RunSceneFrame(0);
    RunSceneFrame(static_cast<uint32_t>(shots[i].start + shots[i].seconds * 500.0f));
    SCOPED_TRACE(i);
    EXPECT_EQ(winterScene.cameraSegment, i);
    EXPECT_FLOAT_EQ(winterScene.cameraFraction, 0.5f);
    ExpectMatrixNear(frameMatrices.cameraMatrix, shots[i].m);
  }
}

TEST_F(WinterSceneTest, StepPastTheLoopLandsInTheRightShot) {
  RunSceneFrame(0);
  RunSceneFrame(3 * 35000 + 21000);  // three loops and 21 s: shot 4, 1 s in
  EXPECT_EQ(winterScene.cameraSegment, 4);
  EXPECT_FLOAT_EQ(winterScene.cameraFraction, 0.2f);
  EXPECT_FLOAT_EQ(winterScene.cameraTime, 21000.0f);
  RunSceneFrame(14000);  // 35 s exactly: the start of shot 0
  EXPECT_EQ(winterScene.cameraSegment, 0);
  EXPECT_EQ(winterScene.cameraTime, 0.0f);
}

TEST_F(WinterSceneTest, DriverSwitchesClipsOncePerEntryOnEveryLoop) {
  RunSceneFrame(0);
  for (int loop = 0; loop < 2; ++loop) {
    SCOPED_TRACE(loop);
    RunSceneFrame(7000);  // into shot 1: the fade to the gesture starts
    ASSERT_EQ(winterScene.cameraSegment, 1);
    EXPECT_TRUE(winterScene.driver.fading);
    EXPECT_EQ(winterScene.driver.nextClip, winterScene.winterAssets.gestureClip);
    // A fade restarted every frame would never end; a single switch ends after 200 ms.
    for (int i = 0; i < 10; ++i) RunSceneFrame(50);
    EXPECT_FALSE(winterScene.driver.fading);
    EXPECT_EQ(winterScene.driver.currentClip, winterScene.winterAssets.gestureClip);

    RunSceneFrame(2500);  // into shot 2: back to the base clip
    ASSERT_EQ(winterScene.cameraSegment, 2);
    EXPECT_TRUE(winterScene.driver.fading);
    EXPECT_EQ(winterScene.driver.nextClip, winterScene.winterAssets.baseClip);
    for (int i = 0; i < 10; ++i) RunSceneFrame(50);
    EXPECT_FALSE(winterScene.driver.fading);
    EXPECT_EQ(winterScene.driver.currentClip, winterScene.winterAssets.baseClip);

    // Shots 3 to 6 and round into shot 0: no clip changes.
    for (uint32_t step : {6500u, 3000u, 5000u, 5000u, 5000u}) {
      RunSceneFrame(step);
      EXPECT_FALSE(winterScene.driver.fading) << winterScene.cameraSegment;
    }
    EXPECT_EQ(winterScene.cameraSegment, 0);
    EXPECT_EQ(winterScene.driver.currentClip, winterScene.winterAssets.baseClip);
  }
}

}  // namespace
}  // namespace yulo

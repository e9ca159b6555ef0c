#include "shell/run_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/clock.h"
#include "base/shell_state.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"

namespace yulo {
namespace {

uint32_t fakeNow = 0;
uint32_t FakeClock() {
  return fakeNow;
}

// A scene that leaves a mark in the trace where Render runs and notes the step that
// Render and Update see.
class ProbeScene final : public Scene {
 public:
  void Render() override {
    SetRenderState(D3DRS_FOGENABLE, 77);
    renderSteps.push_back(frameTiming.elapsedMs);
    renderRedraws.push_back(frameTiming.redraw);
  }
  void Update() override {
    updateSteps.push_back(frameTiming.elapsedMs);
    updateTimes.push_back(frameTiming.elapsedTime);
  }
  std::vector<uint32_t> renderSteps;
  std::vector<bool> renderRedraws;
  std::vector<uint32_t> updateSteps;
  std::vector<float> updateTimes;
};

class RunFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(FakeClock);
    SetDevice(&device);
    previousScene = scenes.currentScene;
    scenes.currentScene = &scene;
    SetFixedFrameStep(false, 0);
  }
  void TearDown() override {
    SetFixedFrameStep(false, 0);
    scenes.currentScene = previousScene;
    SetDevice(nullptr);
    SetClockSource(nullptr);
  }
  TraceDevice device;
  ProbeScene scene;
  Scene* previousScene = nullptr;
};

TEST_F(RunFrameTest, OneFrameInItsOrder) {
  fakeNow = 5000;
  StartFrameTiming(0);
  device.ClearRecords();
  RunFrame();
  const std::vector<TraceRecord>& r = device.Records();
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].kind, TraceKind::Clear);
  EXPECT_EQ(r[0].type, D3DCLEAR_ZBUFFER);  // the depth buffer only: the target is not cleared
  EXPECT_EQ(r[0].z, 1.0f);
  EXPECT_EQ(r[1].kind, TraceKind::BeginScene);
  EXPECT_EQ(r[2].kind, TraceKind::SetRenderState);  // the scene's Render
  EXPECT_EQ(r[2].value, 77u);
  EXPECT_EQ(r[3].kind, TraceKind::EndScene);
  EXPECT_EQ(r[4].kind, TraceKind::Present);
  EXPECT_EQ(r[5].kind, TraceKind::TestCooperativeLevel);
  // Update runs after the present, with the step measured there.
  ASSERT_EQ(scene.updateSteps.size(), 1u);
}

TEST_F(RunFrameTest, FrameNAnimatesWithTheStepMeasuredAfterFrameNMinusOne) {
  fakeNow = 1000;
  StartFrameTiming(0);
  RunFrame();  // presented at 1000: next step 0
  fakeNow = 1016;
  RunFrame();
  fakeNow = 1050;
  RunFrame();
  EXPECT_EQ(scene.renderSteps, (std::vector<uint32_t>{0, 0, 16}));
  EXPECT_EQ(scene.updateSteps, (std::vector<uint32_t>{0, 16, 34}));
  EXPECT_EQ(scene.updateTimes.back(), 34.0f);
}

TEST_F(RunFrameTest, ARedrawShowsTheSameMomentAndKeepsTheStep) {
  fakeNow = 1000;
  StartFrameTiming(0);
  RunFrame();
  fakeNow = 1040;
  RunFrame();  // Update has measured 40 for the next frame
  RedrawFrame();
  RunFrame();
  EXPECT_EQ(scene.renderSteps, (std::vector<uint32_t>{0, 0, 0, 40}));
  EXPECT_EQ(scene.renderRedraws, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(scene.updateSteps.size(), 3u);  // nothing advanced for the redraw
}

TEST_F(RunFrameTest, StartStepReachesAnyMomentThenTimeIsMeasured) {
  fakeNow = 0xFFFFFF00u;  // close to the wrap of the millisecond clock
  StartFrameTiming(17500);
  RunFrame();
  fakeNow = 0x00000010u;
  RunFrame();
  EXPECT_EQ(scene.renderSteps, (std::vector<uint32_t>{17500, 0}));
  EXPECT_EQ(scene.updateSteps, (std::vector<uint32_t>{0, 0x110}));
}

TEST_F(RunFrameTest, FixedStepIgnoresTheClockAndActivationStillResets) {
  SetFixedFrameStep(true, 16);
  fakeNow = 100;
  StartFrameTiming(0);
  RunFrame();
  fakeNow = 100000;  // a long stall does not matter
  RunFrame();
  ResumeFrameTiming();  // the window is activated again
  RunFrame();
  RunFrame();
  EXPECT_EQ(scene.renderSteps, (std::vector<uint32_t>{0, 16, 0, 16}));

  // Back to measured steps: measured from the last frame, not from the start.
  SetFixedFrameStep(false, 0);
  fakeNow = 100020;
  RunFrame();
  EXPECT_EQ(scene.updateSteps.back(), 20u);
}

}  // namespace
}  // namespace yulo

namespace yulo {
namespace {

TEST_F(RunFrameTest, ActivationBeforeTheFirstFrameKeepsTheStartStep) {
  fakeNow = 100;
  StartFrameTiming(17500);
  fakeNow = 130;
  ResumeFrameTiming();  // the window is shown and activated
  RunFrame();
  fakeNow = 150;
  RunFrame();
  fakeNow = 900;
  ResumeFrameTiming();  // later activations restart the measurement
  fakeNow = 925;
  RunFrame();
  EXPECT_EQ(scene.renderSteps, (std::vector<uint32_t>{17500, 0, 0}));
  EXPECT_EQ(scene.updateSteps, (std::vector<uint32_t>{0, 20, 25}));
}

}  // namespace
}  // namespace yulo

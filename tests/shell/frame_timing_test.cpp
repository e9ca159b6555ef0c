#include "shell/frame_timing.h"

#include <gtest/gtest.h>

#include "base/clock.h"
#include "base/shell_state.h"

namespace yulo {
namespace {

uint32_t fakeNow = 0;
uint32_t FakeClock() {
  return fakeNow;
}

class FrameTimingTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClockSource(FakeClock); }
  void TearDown() override { SetClockSource(nullptr); }
};

TEST_F(FrameTimingTest, MeasuresTheStepSinceTheLastUpdate) {
  fakeNow = 1000;
  StartFrameTiming(0);
  EXPECT_EQ(frameTiming.elapsedMs, 0u);
  EXPECT_EQ(frameTiming.elapsedTime, 0.0f);
  fakeNow = 1016;
  UpdateFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 16u);
  EXPECT_EQ(frameTiming.elapsedTime, 16.0f);
  fakeNow = 1016;
  UpdateFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 0u);
}

TEST_F(FrameTimingTest, ClockWrapGivesTheRightDifference) {
  fakeNow = 0xFFFFFFF0u;
  StartFrameTiming(0);
  fakeNow = 0x10u;
  UpdateFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 0x20u);
  EXPECT_EQ(frameTiming.elapsedTime, 32.0f);
}

TEST_F(FrameTimingTest, LongStallIsOneLargeStepAndActivationRestartsTheMeasurement) {
  fakeNow = 0;
  StartFrameTiming(0);
  fakeNow = 3600000;
  UpdateFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 3600000u);

  fakeNow = 3700000;  // deactivated for a while, then activated again
  ResumeFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 0u);
  EXPECT_EQ(frameTiming.elapsedTime, 0.0f);
  fakeNow = 3700020;
  UpdateFrameTiming();
  EXPECT_EQ(frameTiming.elapsedMs, 20u);
}

}  // namespace
}  // namespace yulo

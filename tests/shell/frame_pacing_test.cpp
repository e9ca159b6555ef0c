#include "shell/frame_timing.h"

#include <gtest/gtest.h>

namespace yulo {
namespace {

TEST(FramePacing, NoCapNeverWaits) {
  FramePacer pacer;
  SetFrameRateCap(&pacer, 0);
  for (uint64_t t = 0; t < 100; t += 10) {
    EXPECT_EQ(TimeUntilNextFrame(pacer, t), 0u);
    MarkFrameStart(&pacer, t);
  }
}

TEST(FramePacing, FramesOnTimeKeepAnEvenCadence) {
  FramePacer pacer;
  SetFrameRateCap(&pacer, 50);                     // 20 ms
  EXPECT_EQ(TimeUntilNextFrame(pacer, 1000), 0u);  // the first frame starts at once
  MarkFrameStart(&pacer, 1000);
  EXPECT_EQ(TimeUntilNextFrame(pacer, 1000 + 5000), 15000u);
  // A frame that starts 3 ms late does not push the ones after it.
  MarkFrameStart(&pacer, 24000);
  EXPECT_EQ(TimeUntilNextFrame(pacer, 24000), 17000u);
  MarkFrameStart(&pacer, 41000);
  EXPECT_EQ(TimeUntilNextFrame(pacer, 41000), 20000u);
}

TEST(FramePacing, AStallRestartsTheCadenceInsteadOfBursting) {
  FramePacer pacer;
  SetFrameRateCap(&pacer, 10);  // 100 ms
  MarkFrameStart(&pacer, 0);
  MarkFrameStart(&pacer, 5000000);  // five seconds later (a suspend)
  EXPECT_EQ(TimeUntilNextFrame(pacer, 5000000), 100000u);
  EXPECT_EQ(TimeUntilNextFrame(pacer, 5000000 + 100000), 0u);
}

TEST(FramePacing, RatesRoundToTheNearestMicrosecond) {
  FramePacer pacer;
  SetFrameRateCap(&pacer, 60);
  EXPECT_EQ(pacer.intervalUs, 16667u);
  SetFrameRateCap(&pacer, 1000);
  EXPECT_EQ(pacer.intervalUs, 1000u);
  SetFrameRateCap(&pacer, 7);
  EXPECT_EQ(pacer.intervalUs, 142857u);
}

TEST(FramePacing, CapOfARunIsTheFirstRuleThatApplies) {
  struct Row {
    FrameRateFacts facts;
    uint32_t cap;
  };
  // hasMaxFps, maxFps, chosenCap, hostWindow, retracePaced, displayHz
  const Row rows[] = {
      {{true, 24, 50, true, true, 75}, 24},   // the command line first
      {{true, 0, 50, true, false, 75}, 0},    // --max-fps 0: the retrace only
      {{false, 0, 50, true, false, 75}, 50},  // then the dialog's choice
      {{false, 0, 0, true, true, 75}, 30},    // a preview, even where the retrace paces
      {{false, 0, 0, false, true, 75}, 0},    // full screen waiting for the retrace
      {{false, 0, 0, false, false, 75}, 75},  // a window: the display's rate
      {{false, 0, 0, false, false, 0}, 60},   // a display that does not say
  };
  for (const Row& row : rows) EXPECT_EQ(ChooseFrameRateCap(row.facts), row.cap);
}

TEST(FpsCounting, ReportsOncePerSecond) {
  FpsCounter counter{};
  float fps = -1.0f;
  EXPECT_FALSE(CountFrame(&counter, 0, &fps));
  for (uint64_t i = 1; i < 30; ++i) EXPECT_FALSE(CountFrame(&counter, i * 30000, &fps));
  EXPECT_FALSE(CountFrame(&counter, 999999, &fps));
  EXPECT_TRUE(CountFrame(&counter, 1250000, &fps));  // 31 frames in 1.25 s
  EXPECT_NEAR(fps, 24.8f, 0.01f);
  EXPECT_FALSE(CountFrame(&counter, 1300000, &fps));
}

}  // namespace
}  // namespace yulo

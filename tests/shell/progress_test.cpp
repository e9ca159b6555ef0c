#include "shell/progress.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/headless.h"

namespace yulo {
namespace {

TEST(ProgressText, RateAndTimeLeft) {
  struct Case {
    uint32_t done, total;
    uint64_t elapsedUs;
    const char* text;
  };
  const Case cases[] = {
      {0, 1050, 0, "frame 0/1050"},
      {120, 1050, 4000000, "frame 120/1050  30.0 fps  0:31 left"},
      {1050, 1050, 35000000, "frame 1050/1050  30.0 fps  0:00 left"},
      // Time left rounds up, and an hour or more gets its own field.
      {1, 7201, 1000000, "frame 1/7201  1.0 fps  2:00:00 left"},
      {3, 4, 2000000, "frame 3/4  1.5 fps  0:01 left"},
  };
  for (const Case& c : cases) {
    char out[96];
    EXPECT_EQ(std::string(FormatProgress(out, sizeof out, c.done, c.total, c.elapsedUs)), c.text);
  }
}

TEST(FrameClocks, StepsAddUpToExactFrameTimes) {
  // 30 fps: 33 or 34 ms a step, and frame n lands on floor(n * 1000 / 30) ms, forever.
  const FrameClock clock = {250, 1000, 30};
  uint64_t at = 0;
  for (uint64_t n = 1; n <= 300000; ++n) {
    const uint32_t step = FrameStepMs(clock, n);
    ASSERT_TRUE(step == 33 || step == 34) << n;
    at += step;
    ASSERT_EQ(at, n * 1000 / 30) << n;
  }
  EXPECT_EQ(FrameStepMs(FrameClock{0, 40, 1}, 7), 40u);
  EXPECT_EQ(FrameStepMs(FrameClock{0, 0xFFFFFFFFu, 1}, 1000000), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace yulo

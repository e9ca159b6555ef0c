#include "shell/sdl/fps_overlay.h"

#include <gtest/gtest.h>

namespace yulo {
namespace {

TEST(FpsMeter, ReportsFramesAndCpuShareOncePerSecond) {
  FpsMeter meter{};
  const uint64_t start = 5000000;
  EXPECT_FALSE(MeasureFrame(&meter, start, 200000));  // the first frame starts the count
  int reports = 0;
  // 30 frames over the next second, 0.45 s of CPU time spent meanwhile.
  for (int i = 1; i <= 30; ++i) {
    const uint64_t now = start + static_cast<uint64_t>(i) * 1000000 / 30;
    reports += MeasureFrame(&meter, now, 200000 + static_cast<uint64_t>(i) * 15000) ? 1 : 0;
  }
  ASSERT_EQ(reports, 1);
  EXPECT_NEAR(meter.fps, 30.0f, 0.01f);
  EXPECT_NEAR(meter.cpuPercent, 45.0f, 0.01f);
  char fps[16];
  char cpu[16];
  FormatFpsLines(meter, fps, sizeof fps, cpu, sizeof cpu);
  EXPECT_STREQ(fps, "30.0 fps");
  EXPECT_STREQ(cpu, "CPU 45%");
}

}  // namespace
}  // namespace yulo

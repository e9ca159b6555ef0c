// Whole winter-scene frames on the headless GL device, with and without the merging of
// user-memory draws: GL draw calls per frame and time per frame (llvmpipe when there is no
// GPU, so the time is mostly rasterisation). The time is the CPU of the whole process per
// frame, the rasteriser's threads included: on a shared, loaded machine that is steadier
// than the wall clock, and it is what a software-rendered screensaver costs its machine.
// Every run draws the same number of frames at a fixed 40 ms step, going on through the
// show where the run before ended, so that builds of different speed draw the same frames
// (a run timed by the clock would carry a faster build further into the show, where the
// frames cost something else); seven repetitions go about once round the 35 s loop.
// Needs the generated data set: the folder in
// YULO_BENCH_DATA, else build/share/yulo/Data of the default build.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/shell_state.h"
#include "math/math.h"
#include "render/gl/gl_device.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "scene/winter_scene.h"
#include "shell/frame_timing.h"
#include "shell/run_frame.h"

namespace {

constexpr int kStepMs = 40;
constexpr int kFramesPerRun = 125;  // 5 s of the show

yulo::Device* device = nullptr;

bool SetUpScene() {
  using namespace yulo;
  const char* given = std::getenv("YULO_BENCH_DATA");
  std::snprintf(dataDir, sizeof dataDir, "%s/", given != nullptr ? given : "build/share/yulo/Data");
  if (access((std::string(dataDir) + "sani.cgo").c_str(), R_OK) != 0) return false;
  if (chdir(dataDir) != 0) return false;
  device = CreateGlDeviceHeadless(800, 600);
  if (device == nullptr) return false;
  BuildSqrtTable();
  SetDevice(device, true);
  ApplyDefaultStates();
  runMode = RunMode::Preview;
  SetSceneSeed(7);
  winterScene.Init();
  SetFixedFrameStep(true, kStepMs);
  StartFrameTiming(0);
  return true;
}

void BM_GlWinterFrame(benchmark::State& state) {
  using namespace yulo;
  static const bool ready = SetUpScene();
  if (!ready) {
    state.SkipWithError("no data set (YULO_BENCH_DATA) or no EGL context");
    return;
  }
  SetGlDrawMerging(device, state.range(0) != 0);
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  RunFrame();
  ReadFrame(device, &rgba, &w, &h);  // start from an idle rasteriser
  TakeGlDrawCallCount(device);
  for (auto _ : state) RunFrame();
  ReadFrame(device, &rgba, &w, &h);  // the last frames are paid for inside the run
  state.counters["gl_draws_per_frame"] = benchmark::Counter(
      static_cast<double>(TakeGlDrawCallCount(device)) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_GlWinterFrame)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("merged")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(kFramesPerRun);

}  // namespace

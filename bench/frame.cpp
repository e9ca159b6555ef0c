// One whole winter-scene frame on the null device: clocks, camera, the five character
// updates with their skinning, snow, trees, particles and sprites, every device call issued.
// By default on a generated data folder (characters of 24 x 24 skin vertices); with
// YULO_BENCH_DATA=<folder> on a real data set instead, e.g. build/share/yulo/Data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "base/shell_state.h"
#include "math/math.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"
#include "scene/scene.h"
#include "scene/winter_scene.h"
#include "scene_data/scene_data.h"

namespace {

std::string dataFolder;
yulo::TraceDevice* device = nullptr;

// Prepares the data folder and runs the scene's Init once for every repetition.
bool SetUpScene() {
  using namespace yulo;
  if (const char* given = std::getenv("YULO_BENCH_DATA")) {
    std::snprintf(dataDir, sizeof dataDir, "%s/", given);
  } else {
    char pattern[] = "/tmp/yulo-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    dataFolder = pattern;
    if (!test::WriteSceneData(dataFolder, 24).empty()) return false;
    std::snprintf(dataDir, sizeof dataDir, "%s/", pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dataFolder, ignored);
    });
  }
  if (chdir(dataDir) != 0) return false;
  BuildSqrtTable();
  device = new TraceDevice;
  device->SetRecording(false);  // the null device
  SetDevice(device);
  runMode = RunMode::Preview;
  SetSceneSeed(7);
  frameTiming.elapsedMs = 0;
  frameTiming.elapsedTime = 0.0f;
  winterScene.Init();
  return true;
}

void BM_WinterFrame(benchmark::State& state) {
  using namespace yulo;
  static const bool ready = SetUpScene();
  if (!ready) {
    state.SkipWithError("could not set up the scene's data folder");
    return;
  }
  frameTiming.elapsedMs = 16;
  frameTiming.elapsedTime = 16.0f;
  device->ResetCounters();
  for (auto _ : state) {
    BeginScene();
    scenes.currentScene->Render();
    EndScene();
  }
  state.counters["draws/frame"] =
      static_cast<double>(device->DrawCalls()) / static_cast<double>(state.iterations());
}
// One run is once round the 35 s show at 16 ms a frame, so that every build draws the
// same frames however fast it is.
BENCHMARK(BM_WinterFrame)->Unit(benchmark::kMicrosecond)->Iterations(35000 / 16 + 1);

}  // namespace

// Cost of the scene's many small user-memory draws: 1,000 one-quad draws per frame with
// equal states, on the GL device with and without merging (GL draw calls per frame, time
// per frame), and through the renderer functions on the null device.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/gl/gl_device.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"

namespace yulo {
namespace {

constexpr int kQuads = 1000;

// 1,000 small quads in a 40 x 25 grid, each drawn on its own as the tree rows are.
void DrawQuads() {
  const ColorARGB colour(200, 220, 255, 255);
  for (int i = 0; i < kQuads; ++i) {
    const float x = -1.0f + 0.05f * static_cast<float>(i % 40);
    const float y = -1.0f + 0.08f * static_cast<float>(i / 40);
    DrawColoredQuad(Vector3(x, y, 0.5f), Vector3(x, y + 0.04f, 0.5f),
                    Vector3(x + 0.03f, y + 0.04f, 0.5f), Vector3(x + 0.03f, y, 0.5f), colour,
                    colour, colour, colour);
  }
}

void GlFrames(benchmark::State& state) {
  Device* device = CreateGlDeviceHeadless(640, 480);
  if (device == nullptr) {
    state.SkipWithError("no EGL surfaceless context");
    return;
  }
  SetDevice(device, true);
  ApplyDefaultStates();
  SetGlDrawMerging(device, state.range(0) != 0);
  uint64_t draws = 0;
  for (auto _ : state) {
    BeginScene();
    ClearTarget(0xFF000000u);
    ClearDepth(1.0f);
    SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    SetTexture(nullptr);
    DrawQuads();
    EndScene();
    PresentFrame();
    draws += TakeGlDrawCallCount(device);
  }
  // Wait for the rasteriser so that the last frames are paid for inside the timing.
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  ReadFrame(device, &rgba, &w, &h);
  state.counters["gl_draws_per_frame"] =
      benchmark::Counter(static_cast<double>(draws) / static_cast<double>(state.iterations()));
  ReleaseRenderer();
}
BENCHMARK(GlFrames)->Arg(0)->Arg(1)->ArgName("merged")->Unit(benchmark::kMillisecond);

void NullDeviceFrames(benchmark::State& state) {
  TraceDevice device;
  device.SetRecording(false);
  SetDevice(&device);
  for (auto _ : state) {
    BeginScene();
    DrawQuads();
    EndScene();
  }
  state.counters["draws_per_frame"] = benchmark::Counter(static_cast<double>(device.DrawCalls()) /
                                                         static_cast<double>(state.iterations()));
  SetDevice(nullptr);
}
BENCHMARK(NullDeviceFrames)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace yulo

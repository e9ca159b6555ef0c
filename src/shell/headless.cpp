#include "shell/headless.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/fatal.h"
#include "math/scalar.h"
#include "render/renderer.h"
#include "resources/png_writer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"
#include "shell/frame_writer.h"
#include "shell/progress.h"
#include "shell/run_frame.h"
#include "shell/startup.h"

namespace yulo {

namespace {

// Milliseconds from the first frame to frame n.
uint64_t FrameOffsetMs(const FrameClock& clock, uint64_t n) {
  return n * clock.stepNum / clock.stepDen;
}

class PngFolderSink final : public FrameSink {
 public:
  explicit PngFolderSink(const char* folder) : folder_(folder) {}

  bool TakeFrame(uint32_t index, const uint8_t* rgba, uint32_t width, uint32_t height) override {
    char path[4200];
    std::snprintf(path, sizeof path, "%s/frame-%05u.png", folder_, index);
    errno = 0;
    try {
      if (encoder_.Write(path, rgba, width, height)) return true;
    } catch (const std::bad_alloc&) {  // the encoder's buffer, on the writer's thread
      errno = ENOMEM;
    }
    if (errno != 0) {
      std::fprintf(stderr, "yulo: can't write %s: %s\n", path, std::strerror(errno));
    } else {
      std::fprintf(stderr, "yulo: can't write %s\n", path);
    }
    return false;
  }

 private:
  const char* folder_;
  PngEncoder encoder_;  // used on the writer's thread only
};

}  // namespace

uint32_t FrameStepMs(const FrameClock& clock, uint64_t n) {
  return static_cast<uint32_t>(FrameOffsetMs(clock, n) - FrameOffsetMs(clock, n - 1));
}

int RenderHeadless(const LaunchOptions& options, const FrameClock& clock, uint32_t frames,
                   FrameSink* sink, HeadlessAdapterFactory makeAdapter) {
  BuildSqrtTable();
  if (!EnterDataFolder()) {
    FatalError("Initialization failed", "The install folder's path is too long.");
  }

  const uint32_t width = static_cast<uint32_t>(options.width);
  const uint32_t height = static_cast<uint32_t>(options.height);
  RendererOptions renderer = GetRendererOptions();
  renderer.fullScreen = false;
  renderer.preferTrueColor = true;
  renderer.waitForVSync = false;
  renderer.windowWidth = options.width;
  renderer.windowHeight = options.height;
  SetRendererOptions(renderer);
  if (!CreateRenderer(makeAdapter(width, height), nullptr)) {
    std::fprintf(stderr, "yulo: no offscreen device could be made\n");
    return 1;
  }

  ClearTarget(0x00FFFFFF);
  scenes.blankScene.ShowBlankFrame();
  if (scenes.currentScene->Init() == 0) {
    ReleaseRenderer();
    return 0;
  }
  StartFrameTiming(clock.startMs);

  ProgressLine progress;
  StartProgress(&progress, frames, ProgressClockUs());
  int exitCode = 0;
  {
    // The sink takes frame n on the writer's thread while frame n + 1 renders.
    OverlappedFrameWriter writer(sink);
    for (uint32_t frame = 0; frame < frames; ++frame) {
      // The step measured after this frame is the one the next frame animates by.
      SetFixedFrameStep(true, FrameStepMs(clock, static_cast<uint64_t>(frame) + 1));
      RunFrame();
      uint32_t readWidth = 0;
      uint32_t readHeight = 0;
      if (!GetDevice()->ReadFrame(writer.Pixels(), &readWidth, &readHeight)) {
        std::fprintf(stderr, "yulo: can't read frame %u back from the renderer\n", frame);
        exitCode = 1;
        break;
      }
      if (!writer.Submit(frame, readWidth, readHeight)) {
        exitCode = 1;
        break;
      }
      ReportProgress(&progress, frame + 1, ProgressClockUs());
    }
    if (!writer.Finish()) exitCode = 1;
  }
  EndProgress(&progress);
  ReleaseRenderer();
  scenes.currentScene->Shutdown();
  return exitCode;
}

int RenderFrames(const LaunchOptions& options, const char* folder,
                 HeadlessAdapterFactory makeAdapter) {
  // The output folder first: a wrong name is better told before the assets load.
  if (!MakeFolders(folder)) {
    std::fprintf(stderr, "yulo: can't make the folder %s: %s\n", folder, std::strerror(errno));
    return 1;
  }
  PngFolderSink sink(folder);
  const FrameClock clock = {options.startMs, options.fixedStepMs, 1};
  const int exitCode = RenderHeadless(options, clock, options.frames, &sink, makeAdapter);
  if (exitCode == 0) {
    std::printf("yulo: %u frame%s written to %s\n", options.frames, options.frames == 1 ? "" : "s",
                folder);
  }
  return exitCode;
}

}  // namespace yulo

#include "shell/headless.h"

#include <cstdio>
#include <cstdlib>

#include "base/fatal.h"
#include "math/scalar.h"
#include "render/gl/gl_device.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_writer.h"
#include "shell/run_frame.h"
#include "shell/startup.h"

namespace yulo {

int RenderFrames(const LaunchOptions& options, const char* folder) {
  // The output folder first: a wrong name is better told before the assets load.
  if (!MakeFolders(folder)) {
    std::fprintf(stderr, "yulo: can't make the folder %s\n", folder);
    return 1;
  }
  // No sound at all: the volume is 0 for this run, and no audio device is even looked for.
  setenv("SDL_AUDIODRIVER", "dummy", 1);

  BuildSqrtTable();
  if (!EnterDataFolder()) {
    FatalError("Initialization failed", "The install folder's path is too long.");
  }

  const uint32_t width = static_cast<uint32_t>(options.width);
  const uint32_t height = static_cast<uint32_t>(options.height);
  rendererOptions.fullScreen = false;
  rendererOptions.preferTrueColor = true;
  rendererOptions.waitForVSync = false;
  rendererOptions.windowWidth = options.width;
  rendererOptions.windowHeight = options.height;
  glAdapterOptions.headless = true;
  glAdapterOptions.headlessWidth = width;
  glAdapterOptions.headlessHeight = height;
  SetAdapterFactory(CreateGlAdapter);
  if (!CreateRenderer(nullptr)) {
    std::fprintf(stderr, "yulo: no offscreen OpenGL 3.3 context (EGL) could be made\n");
    return 1;
  }

  ClearTarget(0x00FFFFFF);
  blankScene.ShowBlankFrame();
  if (currentScene->Init() == 0) {
    ReleaseRenderer();
    return 0;
  }
  StartFrameTiming(options.startMs);

  // Frame n is encoded and written on the writer's thread while frame n + 1 renders.
  PngFolderOutput files(folder);
  int exitCode = 0;
  {
    OverlappedFrameWriter writer(&files);
    writer.Pixels()->reserve(static_cast<size_t>(width) * height * 4);
    for (uint32_t frame = 0; frame < options.frames; ++frame) {
      RunFrame();
      uint32_t readWidth = 0;
      uint32_t readHeight = 0;
      if (!ReadFrame(GetDevice(), writer.Pixels(), &readWidth, &readHeight)) {
        std::fprintf(stderr, "yulo: can't read frame %u back\n", frame);
        exitCode = 1;
        break;
      }
      if (!writer.Submit(readWidth, readHeight, frame)) {
        exitCode = 1;
        break;
      }
    }
    if (!writer.Finish()) exitCode = 1;
  }
  ReleaseRenderer();
  currentScene->Shutdown();
  if (exitCode == 0) {
    std::printf("yulo: %u frame%s written to %s\n", options.frames, options.frames == 1 ? "" : "s",
                folder);
  }
  return exitCode;
}

}  // namespace yulo

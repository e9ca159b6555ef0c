#include "shell/run_frame.h"

#include "base/shell_state.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"

namespace yulo {

namespace {
void (*frameOverlay)() = nullptr;
}  // namespace

void SetFrameOverlay(void (*draw)()) {
  frameOverlay = draw;
}

void RunFrame() {
  ClearDepth(1.0f);
  BeginScene();
  scenes.currentScene->Render();
  if (frameOverlay != nullptr) frameOverlay();
  EndScene();
  PresentFrame();
  MeasureFrameStep();
  scenes.currentScene->Update();
  scenes.currentScene->AfterUpdate();
}

void RedrawFrame() {
  const uint32_t stepMs = frameTiming.elapsedMs;
  const float step = frameTiming.elapsedTime;
  // A step of 0 draws the moment the last frame reached without moving anything on.
  frameTiming.elapsedMs = 0;
  frameTiming.elapsedTime = 0.0f;
  frameTiming.redraw = true;
  ClearDepth(1.0f);
  BeginScene();
  scenes.currentScene->Render();
  if (frameOverlay != nullptr) frameOverlay();
  EndScene();
  PresentFrame();
  frameTiming.elapsedMs = stepMs;
  frameTiming.elapsedTime = step;
  frameTiming.redraw = false;
}

}  // namespace yulo

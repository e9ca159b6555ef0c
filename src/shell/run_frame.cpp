#include "shell/run_frame.h"

#include "base/clock.h"
#include "base/shell_state.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"

namespace yulo {

namespace {
bool fixedStep = false;
uint32_t fixedStepMs = 0;
bool firstFrameDue = false;  // StartFrameTiming ran and no frame has measured a step since
uint32_t firstStepMs = 0;
void (*frameOverlay)() = nullptr;

void SetStep(uint32_t ms) {
  elapsedMs = ms;
  elapsedTime = static_cast<float>(ms) * speedFactor;
}
}  // namespace

void SetFixedFrameStep(bool enabled, uint32_t stepMs) {
  fixedStep = enabled;
  fixedStepMs = stepMs;
}

void StartFrameTiming(uint32_t stepMs) {
  lastFrameTime = TimeGetTime();
  SetStep(stepMs);
  firstFrameDue = true;
  firstStepMs = stepMs;
}

void RestartFrameTiming() {
  ResetFrameTiming();
  // The window is activated as it is first shown: that must not undo --start.
  if (firstFrameDue) SetStep(firstStepMs);
}

void MeasureFrameStep() {
  firstFrameDue = false;
  if (!fixedStep) {
    UpdateFrameTiming();
    return;
  }
  // The clock is still followed, so that a return to measured steps starts from now.
  lastFrameTime = TimeGetTime();
  SetStep(fixedStepMs);
}

void SetFrameOverlay(void (*draw)()) {
  frameOverlay = draw;
}

void RunFrame() {
  ClearDepth(1.0f);
  BeginScene();
  currentScene->Render();
  if (frameOverlay != nullptr) frameOverlay();
  EndScene();
  PresentFrame();
  MeasureFrameStep();
  currentScene->Update();
  currentScene->AfterUpdate();
}

void RedrawFrame() {
  const uint32_t stepMs = elapsedMs;
  const float step = elapsedTime;
  // A step of 0 draws the moment the last frame reached without moving anything on.
  elapsedMs = 0;
  elapsedTime = 0.0f;
  ClearDepth(1.0f);
  BeginScene();
  currentScene->Render();
  if (frameOverlay != nullptr) frameOverlay();
  EndScene();
  PresentFrame();
  elapsedMs = stepMs;
  elapsedTime = step;
}

}  // namespace yulo

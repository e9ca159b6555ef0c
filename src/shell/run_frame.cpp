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

void SetStep(uint32_t ms) {
  elapsedMs = ms;
  elapsedTime = static_cast<float>(ms) * speedFactor;
}
}  // namespace

void SetFixedFrameStep(bool enabled, uint32_t stepMs) {
  fixedStep = enabled;
  fixedStepMs = stepMs;
}

void StartFrameTiming(uint32_t firstStepMs) {
  lastFrameTime = TimeGetTime();
  SetStep(firstStepMs);
}

void MeasureFrameStep() {
  if (!fixedStep) {
    UpdateFrameTiming();
    return;
  }
  // The clock is still followed, so that a return to measured steps starts from now.
  lastFrameTime = TimeGetTime();
  SetStep(fixedStepMs);
}

void RunFrame() {
  ClearDepth(1.0f);
  BeginScene();
  currentScene->Render();
  EndScene();
  PresentFrame();
  MeasureFrameStep();
  currentScene->Update();
  currentScene->AfterUpdate();
}

}  // namespace yulo

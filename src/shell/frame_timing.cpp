#include "shell/frame_timing.h"

#include "base/clock.h"
#include "base/shell_state.h"
#include "shell/options.h"

namespace yulo {

// >>section the time step

namespace {

struct StepState {
  bool fixedStep = false;
  uint32_t fixedStepMs = 0;
  bool firstFrameDue = false;  // StartFrameTiming ran and no step has been measured since
  uint32_t firstStepMs = 0;
};
StepState step;

void SetStep(uint32_t ms) {
  frameTiming.elapsedMs = ms;
  frameTiming.elapsedTime = static_cast<float>(ms) * frameTiming.speedFactor;
}

}  // namespace

void SetFixedFrameStep(bool enabled, uint32_t stepMs) {
  step.fixedStep = enabled;
  step.fixedStepMs = stepMs;
}

void StartFrameTiming(uint32_t firstStepMs) {
  frameTiming.lastFrameTime = TimeGetTime();
  SetStep(firstStepMs);
  step.firstFrameDue = true;
  step.firstStepMs = firstStepMs;
}

void ResumeFrameTiming() {
  frameTiming.lastFrameTime = TimeGetTime();
  // The window is activated as it is first shown: that must not undo --start.
  SetStep(step.firstFrameDue ? step.firstStepMs : 0);
}

void UpdateFrameTiming() {
  step.firstFrameDue = false;
  const uint32_t now = TimeGetTime();
  frameTiming.elapsedMs = now - frameTiming.lastFrameTime;
  frameTiming.lastFrameTime = now;
  frameTiming.elapsedTime = static_cast<float>(frameTiming.elapsedMs) * frameTiming.speedFactor;
}

void MeasureFrameStep() {
  if (!step.fixedStep) {
    UpdateFrameTiming();
    return;
  }
  step.firstFrameDue = false;
  // The clock is still followed, so that a return to measured steps starts from now.
  frameTiming.lastFrameTime = TimeGetTime();
  SetStep(step.fixedStepMs);
}

// >>section pacing of frame starts

uint32_t ChooseFrameRateCap(const FrameRateFacts& facts) {
  if (facts.hasMaxFps) return facts.maxFps;
  if (facts.chosenCap != 0) return facts.chosenCap;
  if (facts.hostWindow) return static_cast<uint32_t>(kHostWindowFrameRate);
  if (facts.retracePaced) return 0;
  return facts.displayHz != 0 ? facts.displayHz : kFallbackRefreshRate;
}

void SetFrameRateCap(FramePacer* pacer, uint32_t maxFps) {
  pacer->intervalUs = maxFps == 0 ? 0 : (1000000u + maxFps / 2) / maxFps;
  pacer->nextUs = 0;
  pacer->started = false;
}

uint64_t TimeUntilNextFrame(const FramePacer& pacer, uint64_t nowUs) {
  if (pacer.intervalUs == 0 || !pacer.started || nowUs >= pacer.nextUs) return 0;
  return pacer.nextUs - nowUs;
}

void MarkFrameStart(FramePacer* pacer, uint64_t nowUs) {
  if (pacer->intervalUs == 0) return;
  if (!pacer->started || nowUs < pacer->nextUs || nowUs - pacer->nextUs >= pacer->intervalUs) {
    pacer->nextUs = nowUs + pacer->intervalUs;
  } else {
    pacer->nextUs += pacer->intervalUs;
  }
  pacer->started = true;
}

bool CountFrame(FpsCounter* counter, uint64_t nowUs, float* fps) {
  if (!counter->started || nowUs < counter->windowStartUs) {
    counter->started = true;
    counter->windowStartUs = nowUs;
    counter->frames = 0;
    return false;
  }
  ++counter->frames;
  const uint64_t span = nowUs - counter->windowStartUs;
  if (span < 1000000u) return false;
  *fps = static_cast<float>(static_cast<double>(counter->frames) * 1e6 / static_cast<double>(span));
  counter->windowStartUs = nowUs;
  counter->frames = 0;
  return true;
}

}  // namespace yulo

#include "shell/frame_pacing.h"

namespace yulo {

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

#include "shell/frame_timing.h"

#include "base/clock.h"
#include "base/shell_state.h"

namespace yulo {

uint32_t lastFrameTime = 0;

void UpdateFrameTiming() {
  const uint32_t now = TimeGetTime();
  elapsedMs = now - lastFrameTime;
  lastFrameTime = now;
  elapsedTime = static_cast<float>(elapsedMs) * speedFactor;
}

void ResetFrameTiming() {
  elapsedTime = 0.0f;
  elapsedMs = 0;
  lastFrameTime = TimeGetTime();
}

}  // namespace yulo

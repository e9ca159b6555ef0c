// The time step every animation advances by, measured once per frame.
#pragma once

#include <cstdint>

namespace yulo {

// TimeGetTime() at the last timing update, milliseconds.
extern uint32_t lastFrameTime;

// elapsedMs = now - lastFrameTime in unsigned 32-bit arithmetic (a wrap of the clock gives
// the right difference); lastFrameTime = now; elapsedTime = elapsedMs * speedFactor.
// No clamp: a long stall gives one large step.
void UpdateFrameTiming();

// On (re)activation: the next step is measured from now, and the current one is 0.
void ResetFrameTiming();

}  // namespace yulo

// One frame of the main loop, and the time step it animates with.
#pragma once

#include <cstdint>

namespace yulo {

// With enabled, every frame's step is stepMs instead of the measured time (--fixed-step).
void SetFixedFrameStep(bool enabled, uint32_t stepMs);

// Starts the measurement right before the first frame: lastFrameTime = now, and the first
// frame animates by firstStepMs (0 normally; --start reaches any moment of the show).
void StartFrameTiming(uint32_t firstStepMs);

// On (re)activation of the window: the next step is measured from now and the current one
// is 0, except before the first frame, which keeps the step StartFrameTiming gave it.
void RestartFrameTiming();

// The step for the next frame: the fixed step when one is set, else UpdateFrameTiming.
void MeasureFrameStep();

// Clears the depth buffer, BeginScene, Render on currentScene, EndScene, PresentFrame,
// MeasureFrameStep, then Update and AfterUpdate on currentScene. The colour target is
// not cleared here: the scene covers it every frame.
void RunFrame();

// Draws the scene once more as the last RunFrame left it, into the current target, and
// presents it: the same moment for another monitor. Nothing advances, the step is kept.
void RedrawFrame();

// Drawn over every frame after the scene, before EndScene (the frame-rate display);
// nullptr for nothing.
void SetFrameOverlay(void (*draw)());

}  // namespace yulo

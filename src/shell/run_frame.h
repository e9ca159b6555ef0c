// One frame of the main loop.
#pragma once

namespace yulo {

// Clears the depth buffer, BeginScene, Render on currentScene, EndScene, PresentFrame,
// MeasureFrameStep (shell/frame_timing.h), then Update and AfterUpdate on currentScene.
// The colour target is not cleared here: the scene covers it every frame.
void RunFrame();

// Draws the scene once more as the last RunFrame left it, into the current target, and
// presents it: the same moment for another monitor. Nothing advances, the step is kept.
void RedrawFrame();

// Drawn over every frame after the scene, before EndScene (the frame-rate display);
// nullptr for nothing.
void SetFrameOverlay(void (*draw)());

}  // namespace yulo

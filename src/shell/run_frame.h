// One frame of the main loop.
#pragma once

namespace yulo {

// Clears the depth buffer, BeginScene, Render on currentScene, EndScene, PresentFrame,
// MeasureFrameStep (shell/frame_timing.h), then Update and AfterUpdate on currentScene.
// The colour target is not cleared here: the scene covers it every frame.
void RunFrame();

}  // namespace yulo

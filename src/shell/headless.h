// Headless rendering (--render): the show drawn offscreen on the CPU into PNG files, with
// no window and no sound.
#pragma once

#include "shell/options.h"

namespace yulo {

// Renders options.frames frames into folder (absolute; made when missing) as
// folder/frame-00000.png onwards, each frame advancing by the fixed step (the first by
// options.startMs). Expects the settings loaded and ApplyRunOptions done. Returns the exit
// code: 0 when every file was written, 1 otherwise (said on stderr).
int RenderFrames(const LaunchOptions& options, const char* folder);

}  // namespace yulo

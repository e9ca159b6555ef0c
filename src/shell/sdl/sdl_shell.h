// The screensaver on an SDL2 window: our own (full screen or a normal window) or a foreign
// X11 window (a preview area, XScreenSaver's window).
#pragma once

#include "shell/options.h"

namespace yulo {

// Runs the screensaver from the window's creation to the saved settings: window, preview
// wait, renderer, blank frame, scene Init, shown window, main loop, teardown. Expects the
// settings loaded, the run options applied (ApplyRunOptions) and, for a window of our
// own, the message box installed (SetMessageBoxHook). Returns the exit code:
// 0 after a normal run, 1 when the display, the window or the renderer cannot be had.
int RunScreensaver(const LaunchOptions& options);

}  // namespace yulo

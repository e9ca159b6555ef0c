// SIGTERM and SIGINT while the program starts. SDL turns them into a quit event, which is
// read only once the main loop runs; start-up can take seconds (large files, a slow disk),
// and a screensaver host that kills a program expects it gone at once.
#pragma once

namespace yulo {

// From now until PassQuitSignalsToLoop, SIGTERM and SIGINT end the process at once, as if
// it had no handler for them. Call after SDL_Init, which installs SDL's own handlers.
void EndAtOnceOnQuitSignals();

// Gives the signals back to the handlers they had before (SDL's quit event), so that a run
// that has started ends through its normal teardown.
void PassQuitSignalsToLoop();

}  // namespace yulo

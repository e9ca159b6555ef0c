// The system's notice that it is about to sleep ends a run of our own window, as it does on
// Windows. The notice is the login manager's PrepareForSleep signal on the system bus; it is
// awaited on a thread of its own, which turns it into a quit event for the main loop. Where
// there is no system bus, nothing is watched and nothing is said.
#pragma once

namespace yulo {

// Starts watching; does nothing when already watching.
void StartSleepWatch();

// Stops watching and waits for the watching thread to end.
void StopSleepWatch();

}  // namespace yulo

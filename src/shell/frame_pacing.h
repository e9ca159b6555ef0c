// Caps the frame rate below what the display's vertical retrace allows, for less heat and
// power. Times are microseconds of a monotonic 64-bit clock (no wrap in practice).
#pragma once

#include <cstdint>

namespace yulo {

struct FramePacer {
  uint64_t intervalUs;  // shortest time between frame starts; 0 = no cap
  uint64_t nextUs;      // earliest start of the next frame
  bool started;         // a frame has started since the cap was set
};

// Sets the cap to maxFps frames a second (0 removes it) and forgets the last frame.
void SetFrameRateCap(FramePacer* pacer, uint32_t maxFps);

// Microseconds to wait before the next frame may start; 0 when it may start now.
uint64_t TimeUntilNextFrame(const FramePacer& pacer, uint64_t nowUs);

// Records a frame starting at nowUs. Frames keep an even cadence while they are on time;
// after a stall of a whole interval or more, the cadence restarts from now instead of
// running a burst of frames to catch up.
void MarkFrameStart(FramePacer* pacer, uint64_t nowUs);

// Counts frames and reports the rate once a second (-fps).
struct FpsCounter {
  uint64_t windowStartUs;
  uint32_t frames;
  bool started;
};

// Counts a frame at nowUs; returns true with the rate in *fps when a second has passed.
bool CountFrame(FpsCounter* counter, uint64_t nowUs, float* fps);

}  // namespace yulo

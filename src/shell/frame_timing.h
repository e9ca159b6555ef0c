// Frame timing, in one place: the time step every animation advances by (measured from
// the millisecond clock, or fixed), and the pacing of frame starts (rate cap, -fps count).
// This module is the only writer of frameTiming (base/shell_state.h).
#pragma once

#include <cstdint>

namespace yulo {

// >>section the time step

// With enabled, every frame's step is stepMs instead of the measured time (--fixed-step).
void SetFixedFrameStep(bool enabled, uint32_t stepMs);

// Once, right before the first frame: the measurement starts now, and the first frame
// animates by firstStepMs (0 normally; --start reaches any moment of the show).
void StartFrameTiming(uint32_t firstStepMs);

// On every activation of the window: the next step is measured from now and the current
// one is 0, except before the first frame, which keeps the step StartFrameTiming gave it.
void ResumeFrameTiming();

// The clock measurement: elapsedMs = now - lastFrameTime in unsigned 32-bit arithmetic (a
// wrap of the clock gives the right difference); lastFrameTime = now; elapsedTime =
// elapsedMs * speedFactor. No clamp: a long stall gives one large step.
void UpdateFrameTiming();

// The step for the next frame, once per frame after the present: the fixed step when one
// is set (the clock is still followed), else UpdateFrameTiming.
void MeasureFrameStep();

// >>section pacing of frame starts. Microseconds of a monotonic 64-bit clock (no wrap in
// practice).

// Caps the frame rate below what the display's vertical retrace allows, for less heat and
// power.
struct FramePacer {
  uint64_t intervalUs;  // shortest time between frame starts; 0 = no cap
  uint64_t nextUs;      // earliest start of the next frame
  bool started;         // a frame has started since the cap was set
};

// What decides a run's frame-rate cap.
struct FrameRateFacts {
  bool hasMaxFps;  // --max-fps given: maxFps, where 0 leaves only the retrace's pace
  uint32_t maxFps;
  uint32_t chosenCap;  // the cap chosen in the settings dialog; 0 = none
  bool hostWindow;     // drawing into another program's window (a preview, a daemon's)
  bool retracePaced;   // the device waits for the vertical retrace at every present
  uint32_t displayHz;  // the display's refresh rate; 0 when it does not say
};

// The rate display rates fall back to when the display does not say.
inline constexpr uint32_t kFallbackRefreshRate = 60;

// The cap for a run, the first that applies: the user's (the command line's, then the
// dialog's); in a host's window, the pace hosts give their programs (a preview need not
// heat the machine); none where the retrace paces the frames; else the display's rate, so
// that frames never come faster than they are shown even where the driver does not wait.
uint32_t ChooseFrameRateCap(const FrameRateFacts& facts);

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

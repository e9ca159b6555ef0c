// Headless rendering: the show drawn offscreen on the CPU, with no window and no sound,
// frame by frame into a sink (PNG files for --render, a video for --record).
#pragma once

#include <cstdint>

#include "render/device.h"
#include "shell/options.h"

namespace yulo {

// The platform's graphics system for a headless run: an adapter whose device, created for
// no window, draws width x height frames offscreen and reads them back (Device::ReadFrame).
// nullptr when none can be made.
using HeadlessAdapterFactory = Adapter* (*)(uint32_t width, uint32_t height);

// Receives the frames of a headless run, in order. TakeFrame may be called on a thread
// other than the renderer's, but never on two at once.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Frame index as width x height RGBA8 texels, row 0 at the top; the pixels are valid
  // only during the call. False stops the run (the sink has said why on stderr).
  virtual bool TakeFrame(uint32_t index, const uint8_t* rgba, uint32_t width, uint32_t height) = 0;
};

// Where each frame lies in the show: frame n at startMs + floor(n * stepNum / stepDen)
// milliseconds, so that a step that is no whole number of milliseconds (1000/30) never
// drifts. The scene advances in whole milliseconds, the remainder carried to later steps.
struct FrameClock {
  uint32_t startMs;
  uint32_t stepNum;
  uint32_t stepDen;  // > 0
};

// Milliseconds from frame n - 1 to frame n (n >= 1) on clock.
uint32_t FrameStepMs(const FrameClock& clock, uint64_t n);

// Renders frames frames of options.width x options.height on clock into sink, with a
// progress line on a terminal. Expects the settings loaded and ApplyRunOptions done; the
// data folder is entered here. Returns the exit code: 0 when the sink took every frame,
// 1 otherwise (said on stderr).
int RenderHeadless(const LaunchOptions& options, const FrameClock& clock, uint32_t frames,
                   FrameSink* sink, HeadlessAdapterFactory makeAdapter);

// --render: options.frames frames into folder (absolute; made when missing) as
// folder/frame-00000.png onwards, each frame advancing by the fixed step (the first by
// options.startMs). Returns the exit code: 0 when every file was written, 1 otherwise.
int RenderFrames(const LaunchOptions& options, const char* folder,
                 HeadlessAdapterFactory makeAdapter);

}  // namespace yulo

// --record: the show rendered headless into a finished video file with its music.
#pragma once

#include <cstdint>

#include "shell/headless.h"
#include "shell/options.h"

namespace yulo {

// How a recording's frames are laid out, in video frames.
struct RecordPlan {
  uint32_t outputFrames;     // frames in the file: duration x fps, rounded, at least 1
  uint32_t crossFadeFrames;  // seamless: one second (at most the whole video), else 0
  uint32_t renderedFrames;   // outputFrames + crossFadeFrames
};

RecordPlan PlanRecording(uint32_t durationMs, uint32_t fps, bool seamless);

// Which rendered frames make output frame j: frame first alone (weight 0), or first
// blended towards second by weight/256.
struct FrameBlend {
  uint32_t first;
  uint32_t second;
  uint32_t weight;  // 0..256
};

// With a cross-fade the video starts crossFadeFrames into the render, and its last
// crossFadeFrames blend what was rendered beyond its end into its first frames, so that
// the last frame leads into the first as any frame leads into the next.
FrameBlend OutputFrameSource(const RecordPlan& plan, uint32_t j);

// Renders the show into path (absolute, or "-" for y4m on standard output) as options
// say. Expects the settings loaded (their music volume is the one recorded unless
// --volume was given) and ApplyRunOptions done; the current folder is the install
// folder. Returns the exit code: 0 with the file complete under its name, 1 otherwise
// (said on stderr) with nothing left under that name, nor any temporary file.
// makeAdapter draws the frames offscreen.
int RecordVideo(const LaunchOptions& options, const char* path, HeadlessAdapterFactory makeAdapter);

}  // namespace yulo

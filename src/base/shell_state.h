// Shell state that lower layers read: the run mode, the frame's time step, the data
// folder and the user's settings record. The shell owns and writes all of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

enum class RunMode : int32_t { Configure = 0, Preview = 1, FullScreen = 2 };

// The user's settings, stored as this exact 16-byte little-endian record.
struct Settings {
  int32_t musicVolume;   // volume step 0..20; the music plays at 5 x step percent
  uint8_t reserved[12];  // not interpreted; written back exactly as read
};
static_assert(sizeof(Settings) == 16);
static_assert(offsetof(Settings, reserved) == 4);

inline constexpr int32_t kDefaultMusicVolume = 20;
inline constexpr int kPathCapacity = 256;

// The time step of the frame: written only by shell/frame_timing, read by every animation.
struct FrameTiming {
  uint32_t lastFrameTime = 0;  // TimeGetTime() at the last timing update, ms
  uint32_t elapsedMs = 0;      // time between the last two timing updates, ms; 0 at first
  float elapsedTime = 0.0f;    // elapsedMs x speedFactor: every animation's step, ms
  float speedFactor = 1.0f;    // constant 1.0
  bool redraw = false;         // the last moment drawn again for another window: no new events
};

extern RunMode runMode;                 // from the command line (a host's pane: Preview)
extern Settings settings;               // loaded at start-up, saved at the end of a run
extern FrameTiming frameTiming;         // the frame's time step
extern char installDir[kPathCapacity];  // install folder
extern char dataDir[kPathCapacity];     // installDir + "/Data/": current folder while running

}  // namespace yulo

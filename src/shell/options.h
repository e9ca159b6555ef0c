// The program's own options and the XScreenSaver flags, taken off the command line before
// the screensaver switches (/s, /c:N, /p N) reach ParseCommandLine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/shell_state.h"

namespace yulo {

inline constexpr int kDefaultWindowWidth = 800;  // --windowed and --render without --size
inline constexpr int kDefaultWindowHeight = 600;
inline constexpr int kMaxSizeSide = 16384;            // largest --size side
inline constexpr uint32_t kDefaultRenderStepMs = 40;  // --render without --fixed-step
inline constexpr int32_t kMaxVolumeStep = 20;         // --volume 0..20
inline constexpr uint32_t kMaxFramesPerSecond = 1000;
// The frame-rate cap in a host's window, as XScreenSaver paces its programs.
inline constexpr int32_t kHostWindowFrameRate = 30;
inline constexpr uint32_t kMaxRenderFrames = 1000000;
inline constexpr int kCommandLineCapacity = 1024;  // switches handed on to ParseCommandLine
inline constexpr int kDefaultRecordWidth = 1280;   // --record without --size
inline constexpr int kDefaultRecordHeight = 960;
inline constexpr uint32_t kDefaultRecordFps = 30;
inline constexpr uint32_t kMaxRecordFps = 240;
inline constexpr uint32_t kDefaultRecordMs = 35000;  // one loop of the camera
inline constexpr uint32_t kMaxRecordMs = 3600000;
inline constexpr uint32_t kDefaultRecordQuality = 65;  // --quality 0..100
inline constexpr uint32_t kDefaultRecordSeed = 1;      // a video is the same every time

// How the program runs, as decided from the whole command line and the environment.
enum class Launch {
  Configure,    // the settings dialog
  Screensaver,  // the scene in a window: our own, or a foreign one (foreignWindow != 0)
  Render,       // headless frames into renderDir, no window, no audio
  Record,       // headless frames and the music into the video file recordPath
};

struct LaunchOptions {
  Launch launch;
  RunMode mode;                 // Preview or FullScreen for Screensaver/Render; Configure
  unsigned long ownerWindow;    // Configure: owner of the dialog, 0 for none
  unsigned long foreignWindow;  // Screensaver: X11 window to draw into, 0 = our own window
  bool windowed;                // our own window is a normal window, not the full screen
  bool showFps;                 // -fps: the frame rate and CPU load drawn in a corner
  bool fpsStdout;               // --fps-stdout: the same, printed once a second on stdout
  bool hasSeed;
  uint32_t seed;  // --seed: both random generators start from this
  bool hasFixedStep;
  uint32_t fixedStepMs;  // --fixed-step: every frame's step; measured otherwise
  uint32_t startMs;      // --start: the first frame's step (0 by default)
  bool hasSize;
  int width;  // --size: window or image size in pixels
  int height;
  bool hasMaxFps;
  uint32_t maxFps;      // --max-fps: frame-rate cap, 0 = vsync only
  bool fullResolution;  // --full-resolution: no 800 x 600 cap on software renderers
  bool hasVolume;
  int32_t volume;          // --volume: music volume step for this run only
  const char* renderDir;   // --render: output folder (points into argv)
  uint32_t frames;         // --frames: number of images to render
  const char* recordPath;  // --record: video file, "-" for y4m on stdout (points into argv)
  uint32_t fps;            // --fps: video frames a second
  uint32_t durationMs;     // --duration: video length
  uint32_t quality;        // --quality: 0 (smallest) .. 100 (best), mapped per codec
  bool seamless;           // --seamless: the video loops without a visible jump
};

enum class OptionsResult {
  Run,      // options holds what to do
  Help,     // print HelpText() and exit 0
  Version,  // print the version and exit 0
  Error,    // message says what is wrong; exit 2
};

// Parses argv[1..argc-1]. xscreensaverWindow is the XSCREENSAVER_WINDOW environment value
// (nullptr when unset). Long options accept "--name VALUE" and "--name=VALUE". Arguments
// that are none of ours are joined and handed to ParseCommandLine (which sets
// parentWindow). On Error, message (of messageCapacity bytes) holds one line of text.
OptionsResult ParseOptions(int argc, const char* const* argv, const char* xscreensaverWindow,
                           LaunchOptions* options, char* message, size_t messageCapacity);

// ParseOptions with its answers given on the console: the help or version text on stdout,
// a mistake on stderr. True when the program is to run; otherwise *exitCode is what it
// ends with (0 after help or version, 2 after a mistake).
bool ParseOptionsOrAnswer(int argc, const char* const* argv, const char* xscreensaverWindow,
                          LaunchOptions* options, int* exitCode);

// The --help text.
const char* HelpText();
// The --version text, one line.
const char* VersionText();

// An X11 window id written in hex ("0x2a00007") or decimal; false unless it is a whole
// number in 1..0xFFFFFFFF.
bool ParseWindowId(const char* text, unsigned long* id);

}  // namespace yulo

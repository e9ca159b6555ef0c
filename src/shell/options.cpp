#include "shell/options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/printf_format.h"
#include "shell/command_line.h"

#ifndef YULO_VERSION
#define YULO_VERSION "0.0.0"
#endif

namespace yulo {

namespace {

enum class Option {
  Help,
  Version,
  Windowed,
  Root,
  WindowId,
  Seed,
  FixedStep,
  Start,
  Size,
  MaxFps,
  Volume,
  Render,
  Frames,
  Record,
  RecordFps,
  Duration,
  Quality,
  Seamless,
  Fps,
  FpsStdout,
  Window,
  FullResolution,
};

struct OptionEntry {
  const char* name;  // as written, dashes included
  Option option;
  bool takesValue;
  bool allowsEquals;  // GNU style: --name=VALUE
};

// GNU long options of our own, then the flags XScreenSaver passes to its programs.
constexpr OptionEntry kOptions[] = {
    {"--help", Option::Help, false, false},
    {"--version", Option::Version, false, false},
    {"--windowed", Option::Windowed, false, false},
    {"--root", Option::Root, false, false},
    {"--window-id", Option::WindowId, true, true},
    {"--seed", Option::Seed, true, true},
    {"--fixed-step", Option::FixedStep, true, true},
    {"--start", Option::Start, true, true},
    {"--size", Option::Size, true, true},
    {"--max-fps", Option::MaxFps, true, true},
    {"--full-resolution", Option::FullResolution, false, false},
    {"--volume", Option::Volume, true, true},
    {"--render", Option::Render, true, true},
    {"--frames", Option::Frames, true, true},
    {"--fps-stdout", Option::FpsStdout, false, false},
    {"-h", Option::Help, false, false},
    {"-help", Option::Help, false, false},
    {"-v", Option::Version, false, false},
    {"-version", Option::Version, false, false},
    {"--record", Option::Record, true, true},
    {"--fps", Option::RecordFps, true, true},
    {"--duration", Option::Duration, true, true},
    {"--quality", Option::Quality, true, true},
    {"--seamless", Option::Seamless, false, false},
    {"-root", Option::Root, false, false},
    {"-window", Option::Window, false, false},
    {"-window-id", Option::WindowId, true, false},
    {"-fps", Option::Fps, false, false},
};
constexpr int kOptionCount = static_cast<int>(sizeof kOptions / sizeof kOptions[0]);

#if defined(_WIN32)
constexpr char kHelpText[] =
    "Usage: yulo.scr [OPTION]... [SWITCH]\n"
    "A winter night in 3D: a sleigh and its reindeer over a snowy globe.\n"
    "\n"
    "Screensaver switches:\n"
    "  /s               run full screen (further monitors go black)\n"
    "  /c[:HWND]        open the settings dialog (owned by the window with the decimal\n"
    "                   handle HWND); also without switch\n"
    "  /p HWND          draw into the window HWND (decimal), without music\n"
    "\n"
    "Options:\n"
    "  --windowed       run in a normal window instead of full screen\n"
    "  --size WxH       size of that window, or of the rendered images (default 800x600)\n"
    "  --max-fps N      draw at most N frames a second (default: full screen as fast as\n"
    "                   the vertical retrace allows, a window at the display's rate, a\n"
    "                   preview 30)\n"
    "  --volume N       music volume 0..20 for this run (the saved setting is kept)\n"
    "  --seed N         start the random generators from N instead of the clock\n"
    "  --fixed-step MS  advance every frame by MS milliseconds instead of the measured time\n"
    "  --start MS       advance the first frame by MS milliseconds (0..35000 is one loop of\n"
    "                   the camera)\n"
    "  --render DIR     draw headless, no window and no sound, into DIR\\frame-00000.png...\n"
    "  --frames N       number of frames --render writes (default 1; frames advance by\n"
    "                   --fixed-step, default 40 ms)\n"
    "  -fps             print the frame rate once a second\n"
    "  -h, --help       show this text and exit\n"
    "  -v, --version    show the version and exit\n"
    "\n"
    "A key press (other than Alt, keys held with Alt and F10), a mouse click or losing\n"
    "the focus ends a full-screen run.\n";
#else
constexpr char kHelpText[] =
    "Usage: yulo [OPTION]... [SWITCH]\n"
    "A winter night in 3D: a sleigh and its reindeer over a snowy globe.\n"
    "\n"
    "Screensaver switches:\n"
    "  /s               run full screen\n"
    "  /c[:ID]          open the settings dialog (owned by the decimal window ID); also\n"
    "                   without switch\n"
    "  /p ID            draw into the X11 window ID (decimal), without music\n"
    "\n"
    "XScreenSaver flags:\n"
    "  -root, --root    run full screen, into $XSCREENSAVER_WINDOW when it is set\n"
    "  -window          run in a normal window (as --windowed)\n"
    "  -window-id ID, --window-id ID\n"
    "                   draw into the X11 window ID (hex 0x... or decimal), without music\n"
    "  -fps             show the frame rate and the CPU load in a corner\n"
    "  Without a switch, $XSCREENSAVER_WINDOW is drawn into as with -window-id.\n"
    "\n"
    "Options:\n"
    "  --windowed       run in a normal window instead of full screen\n"
    "  --size WxH       size of that window, or of the rendered images (default 800x600),\n"
    "                   or of the video (default 1280x960, even sides)\n"
    "  --max-fps N      draw at most N frames a second (default: the settings dialog's\n"
    "                   limit, else the display's rate, or 30 in a host's window; 0: as\n"
    "                   fast as the vertical retrace allows)\n"
    "  --full-resolution\n"
    "                   draw at the window's full size on a software OpenGL renderer too\n"
    "                   (there the scene is otherwise drawn at most 800x600 and stretched)\n"
    "  --volume N       music volume 0..20 for this run (the saved setting is kept;\n"
    "                   0 records a video without sound)\n"
    "  --seed N         start the random generators from N instead of the clock (a video\n"
    "                   starts from 1 unless told)\n"
    "  --fixed-step MS  advance every frame by MS milliseconds instead of the measured time\n"
    "  --start MS       advance the first frame by MS milliseconds (0..35000 is one loop of\n"
    "                   the camera)\n"
    "  --render DIR     draw headless, no window and no sound, into DIR/frame-00000.png...\n"
    "  --frames N       number of frames --render writes (default 1; frames advance by\n"
    "                   --fixed-step, default 40 ms)\n"
    "  --record FILE    draw headless into a video with the music: .mp4 (H.264, AAC),\n"
    "                   .webm (VP9, Opus), .mkv (H.264, Opus), .gif, .y4m (raw);\n"
    "                   - writes y4m to standard output\n"
    "  --fps N          video frames a second (default 30; 50 at most for a GIF)\n"
    "  --duration S     video length in seconds (default 35, one loop of the camera)\n"
    "  --quality N      0 (smallest file) .. 100 (best picture), default 65\n"
    "  --seamless       make the video loop without a jump: one more second is drawn\n"
    "                   and cross-faded into the start, pictures and sound\n"
    "  --fps-stdout     print the frame rate and the CPU load once a second\n"
    "  -h, --help       show this text and exit\n"
    "  -v, --version    show the version and exit\n"
    "\n"
    "A key press (other than Alt, keys held with Alt and F10), a mouse click or losing\n"
    "the focus ends a full-screen run.\n";
#endif

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A whole decimal number in 0..max, nothing else around it.
bool ParseUnsigned(const char* text, uint64_t max, uint64_t* value) {
  if (*text == '\0') return false;
  uint64_t v = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (!IsDigit(*p)) return false;
    v = v * 10 + static_cast<uint64_t>(*p - '0');
    if (v > max) return false;
  }
  *value = v;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Seconds with at most three decimals ("2", "2.5", "0.04") as milliseconds in 0..maxMs.
bool ParseMilliseconds(const char* text, uint32_t maxMs, uint32_t* ms) {
  const char* dot = std::strchr(text, '.');
  char whole[16];
  const size_t length = dot != nullptr ? static_cast<size_t>(dot - text) : std::strlen(text);
  if (length == 0 || length >= sizeof whole) return false;
  std::memcpy(whole, text, length);
  whole[length] = '\0';
  uint64_t seconds = 0;
  if (!ParseUnsigned(whole, maxMs / 1000, &seconds)) return false;
  uint64_t fraction = 0;
  if (dot != nullptr) {
    int digits = 0;
    for (const char* p = dot + 1; *p != '\0'; ++p, ++digits) {
      if (!IsDigit(*p) || digits == 3) return false;
      fraction = fraction * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (digits == 0) return false;
    for (; digits < 3; ++digits) fraction *= 10;
  }
  const uint64_t total = seconds * 1000 + fraction;
  if (total > maxMs) return false;
  *ms = static_cast<uint32_t>(total);
  return true;
}

// "WxH" (or "WXH") with both sides in 1..kMaxSizeSide.
bool ParseSize(const char* text, int* width, int* height) {
  const char* x = std::strchr(text, 'x');
  if (x == nullptr) x = std::strchr(text, 'X');
  if (x == nullptr) return false;
  char first[16];
  const size_t length = static_cast<size_t>(x - text);
  if (length == 0 || length >= sizeof first) return false;
  std::memcpy(first, text, length);
  first[length] = '\0';
  uint64_t w = 0;
  uint64_t h = 0;
  if (!ParseUnsigned(first, kMaxSizeSide, &w) || !ParseUnsigned(x + 1, kMaxSizeSide, &h)) {
    return false;
  }
  if (w == 0 || h == 0) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

// Appends " arg" to the switch text; false when it would not fit.
bool AppendSwitchText(char* text, size_t capacity, const char* arg) {
  const size_t used = std::strlen(text);
  const size_t length = std::strlen(arg);
  if (used + 1 + length + 1 > capacity) return false;
  text[used] = ' ';
  std::memcpy(text + used + 1, arg, length + 1);
  return true;
}

class Parser {
 public:
  Parser(LaunchOptions* options, char* message, size_t capacity)
      : options_(options), message_(message), capacity_(capacity) {}

  YULO_PRINTF_FORMAT(2, 3) OptionsResult Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message_, capacity_, format, args);
    va_end(args);
    return OptionsResult::Error;
  }

  // Applies one option with its value (nullptr for flags); false after Fail.
  bool Apply(const OptionEntry& entry, const char* value) {
    uint64_t number = 0;
    switch (entry.option) {
      case Option::Help:
        help_ = true;
        return true;
      case Option::Version:
        version_ = true;
        return true;
      case Option::Windowed:
      case Option::Window:
        windowed_ = true;
        return true;
      case Option::Root:
        root_ = true;
        return true;
      case Option::Fps:
        options_->showFps = true;
        return true;
      case Option::FullResolution:
        options_->fullResolution = true;
        return true;
      case Option::FpsStdout:
        options_->fpsStdout = true;
        return true;
      case Option::WindowId:
        if (!ParseWindowId(value, &windowId_)) return Bad(entry, value, "a window id");
        return true;
      case Option::Seed:
        if (!ParseUnsigned(value, 0xFFFFFFFFu, &number)) return Bad(entry, value, "0..4294967295");
        options_->hasSeed = true;
        options_->seed = static_cast<uint32_t>(number);
        return true;
      case Option::FixedStep:
        if (!ParseUnsigned(value, 0xFFFFFFFFu, &number)) return Bad(entry, value, "milliseconds");
        options_->hasFixedStep = true;
        options_->fixedStepMs = static_cast<uint32_t>(number);
        return true;
      case Option::Start:
        if (!ParseUnsigned(value, 0xFFFFFFFFu, &number)) return Bad(entry, value, "milliseconds");
        options_->startMs = static_cast<uint32_t>(number);
        return true;
      case Option::Size:
        if (!ParseSize(value, &options_->width, &options_->height)) {
          return Bad(entry, value, "WxH, each side 1..16384");
        }
        options_->hasSize = true;
        return true;
      case Option::MaxFps:
        if (!ParseUnsigned(value, kMaxFramesPerSecond, &number))
          return Bad(entry, value, "0..1000");
        options_->hasMaxFps = true;
        options_->maxFps = static_cast<uint32_t>(number);
        return true;
      case Option::Volume:
        if (!ParseUnsigned(value, kMaxVolumeStep, &number)) return Bad(entry, value, "0..20");
        options_->hasVolume = true;
        options_->volume = static_cast<int32_t>(number);
        return true;
      case Option::Render:
        if (*value == '\0') return Bad(entry, value, "a folder");
        options_->renderDir = value;
        return true;
      case Option::Frames:
        if (!ParseUnsigned(value, kMaxRenderFrames, &number) || number == 0) {
          return Bad(entry, value, "1..1000000");
        }
        hasFrames_ = true;
        options_->frames = static_cast<uint32_t>(number);
        return true;
      case Option::Record:
        if (*value == '\0') return Bad(entry, value, "a file name, or - for standard output");
        options_->recordPath = value;
        return true;
      case Option::RecordFps:
        if (!ParseUnsigned(value, kMaxRecordFps, &number) || number == 0) {
          return Bad(entry, value, "1..240");
        }
        recordOnly_ = entry.name;
        options_->fps = static_cast<uint32_t>(number);
        return true;
      case Option::Duration:
        if (!ParseMilliseconds(value, kMaxRecordMs, &options_->durationMs) ||
            options_->durationMs == 0) {
          return Bad(entry, value, "seconds, more than 0 and at most 3600");
        }
        recordOnly_ = entry.name;
        return true;
      case Option::Quality:
        if (!ParseUnsigned(value, 100, &number)) return Bad(entry, value, "0..100");
        recordOnly_ = entry.name;
        options_->quality = static_cast<uint32_t>(number);
        return true;
      case Option::Seamless:
        recordOnly_ = entry.name;
        options_->seamless = true;
        return true;
    }
    return true;
  }

  bool Bad(const OptionEntry& entry, const char* value, const char* expected) {
    Fail("invalid value '%s' for %s (expected %s)", value, entry.name, expected);
    return false;
  }

  LaunchOptions* options_;
  char* message_;
  size_t capacity_;
  bool help_ = false;
  bool version_ = false;
  bool windowed_ = false;
  bool root_ = false;
  bool hasFrames_ = false;
  const char* recordOnly_ = nullptr;  // the last option given that only --record takes
  unsigned long windowId_ = 0;
};

const OptionEntry* FindOption(const char* arg, size_t nameLength) {
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionEntry& entry = kOptions[i];
    if (std::strlen(entry.name) == nameLength && std::strncmp(entry.name, arg, nameLength) == 0) {
      return &entry;
    }
  }
  return nullptr;
}

// A dash followed by two or more letters reads as a misspelt option. The screensaver
// switches are one letter, perhaps with a number (-s, -P1234, -c:5678, a lone -), and keep
// their meaning.
bool LooksLikeUnknownWord(const char* arg) {
  if (arg[0] != '-') return false;
  int letters = 0;
  for (const char* p = arg + 1; (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'); ++p) {
    ++letters;
  }
  return letters >= 2;
}

}  // namespace

bool ParseWindowId(const char* text, unsigned long* id) {
  if (text == nullptr) return false;
  uint64_t value = 0;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const char* p = text + 2;
    if (*p == '\0') return false;
    for (; *p != '\0'; ++p) {
      const int digit = HexDigit(*p);
      if (digit < 0) return false;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return false;
    }
  } else if (!ParseUnsigned(text, 0xFFFFFFFFu, &value)) {
    return false;
  }
  if (value == 0) return false;
  *id = static_cast<unsigned long>(value);
  return true;
}

OptionsResult ParseOptions(int argc, const char* const* argv, const char* xscreensaverWindow,
                           LaunchOptions* options, char* message, size_t messageCapacity) {
  *options = LaunchOptions{};
  options->launch = Launch::Configure;
  options->mode = RunMode::Configure;
  options->width = kDefaultWindowWidth;
  options->height = kDefaultWindowHeight;
  options->frames = 1;
  options->fps = kDefaultRecordFps;
  options->durationMs = kDefaultRecordMs;
  options->quality = kDefaultRecordQuality;
  if (messageCapacity > 0) message[0] = '\0';

  Parser parser(options, message, messageCapacity);
  // The screensaver switches go on to ParseCommandLine behind a program name of our own,
  // so that the path of the executable never takes part in the search for a switch.
  char switchText[kCommandLineCapacity] = "yulo";
  bool anySwitch = false;

  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool looksLong = arg[0] == '-' && arg[1] == '-';
    const char* equals = looksLong ? std::strchr(arg, '=') : nullptr;
    const size_t nameLength =
        equals != nullptr ? static_cast<size_t>(equals - arg) : std::strlen(arg);
    const OptionEntry* entry = FindOption(arg, nameLength);
    if (entry == nullptr) {
      if (looksLong || LooksLikeUnknownWord(arg)) {
        return parser.Fail("unrecognized option '%s'", arg);
      }
      if (!AppendSwitchText(switchText, sizeof switchText, arg)) {
        return parser.Fail("the command line is too long");
      }
      anySwitch = true;
      continue;
    }
    const char* value = nullptr;
    if (equals != nullptr) {
      if (!entry->takesValue || !entry->allowsEquals) {
        return parser.Fail("option '%s' takes no value here", entry->name);
      }
      value = equals + 1;
    } else if (entry->takesValue) {
      if (i + 1 >= argc) return parser.Fail("option '%s' requires a value", entry->name);
      value = argv[++i];
    }
    if (!parser.Apply(*entry, value)) return OptionsResult::Error;
  }

  if (parser.help_) return OptionsResult::Help;
  if (parser.version_) return OptionsResult::Version;
  if (parser.hasFrames_ && options->renderDir == nullptr) {
    return parser.Fail("--frames needs --render DIR");
  }
  if (options->recordPath != nullptr) {
    // A video's frames lie on its own clock: a fixed step or a count would contradict it.
    if (options->renderDir != nullptr)
      return parser.Fail("--record and --render exclude each other");
    if (options->hasFixedStep) return parser.Fail("--record takes --fps, not --fixed-step");
    if (options->hasSize && (options->width % 2 != 0 || options->height % 2 != 0)) {
      return parser.Fail("--record needs a --size with even sides");
    }
    if (!options->hasSize) {
      options->width = kDefaultRecordWidth;
      options->height = kDefaultRecordHeight;
    }
    if (!options->hasSeed) {
      options->hasSeed = true;
      options->seed = kDefaultRecordSeed;
    }
    options->launch = Launch::Record;
    options->mode = RunMode::FullScreen;
    return OptionsResult::Run;
  }
  if (parser.recordOnly_ != nullptr) {
    return parser.Fail("%s needs --record FILE", parser.recordOnly_);
  }

  // The most explicit request wins: headless rendering, then a window id, then -root,
  // then a normal window, then the screensaver switch, then the host's window.
  if (options->renderDir != nullptr) {
    options->launch = Launch::Render;
    options->mode = RunMode::FullScreen;
    if (!options->hasFixedStep) {
      options->hasFixedStep = true;
      options->fixedStepMs = kDefaultRenderStepMs;
    }
    return OptionsResult::Run;
  }
  if (parser.windowId_ != 0) {
    options->launch = Launch::Screensaver;
    options->mode = RunMode::Preview;
    options->foreignWindow = parser.windowId_;
    return OptionsResult::Run;
  }
  // The host's window matters only from here on; a bad value is reported only then.
  unsigned long hostWindow = 0;
  if (xscreensaverWindow != nullptr && xscreensaverWindow[0] != '\0' &&
      !ParseWindowId(xscreensaverWindow, &hostWindow) &&
      (parser.root_ || (!anySwitch && !parser.windowed_))) {
    return parser.Fail("XSCREENSAVER_WINDOW='%s' is not a window id", xscreensaverWindow);
  }
  if (parser.root_) {
    // XScreenSaver's own full-screen window when it gives one: it owns the input.
    options->launch = Launch::Screensaver;
    options->mode = RunMode::FullScreen;
    options->foreignWindow = hostWindow;
    return OptionsResult::Run;
  }

  parentWindow = 0;
  const RunMode switchMode = ParseCommandLine(switchText);
  if (parser.windowed_ && (!anySwitch || switchMode == RunMode::FullScreen)) {
    options->launch = Launch::Screensaver;
    options->mode = RunMode::FullScreen;
    options->windowed = true;
    return OptionsResult::Run;
  }
  if (switchMode == RunMode::Configure && (anySwitch || hostWindow == 0)) {
    // An explicit /c, or nothing at all and no host window: the settings dialog.
    options->ownerWindow = parentWindow;
    return OptionsResult::Run;
  }
  options->launch = Launch::Screensaver;
  if (switchMode == RunMode::Configure) {
    options->mode = RunMode::Preview;  // only the host's window was given
    options->foreignWindow = hostWindow;
    return OptionsResult::Run;
  }
  options->mode = switchMode;
  if (switchMode == RunMode::Preview) {
    if (parentWindow == 0 || parentWindow > 0xFFFFFFFFul) {
      return parser.Fail("/p needs the id of the window to draw into");
    }
    options->foreignWindow = parentWindow;
  }
  return OptionsResult::Run;
}

bool ParseOptionsOrAnswer(int argc, const char* const* argv, const char* xscreensaverWindow,
                          LaunchOptions* options, int* exitCode) {
  char message[256];
  const OptionsResult result =
      ParseOptions(argc, argv, xscreensaverWindow, options, message, sizeof message);
  switch (result) {
    case OptionsResult::Help:
    case OptionsResult::Version: {
      // An answer that could not be written (a full disk, a closed pipe) is not a success.
      std::fputs(result == OptionsResult::Help ? HelpText() : VersionText(), stdout);
      const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
      if (!written)
        std::fprintf(stderr, "yulo: can't write the answer: %s\n", std::strerror(errno));
      *exitCode = written ? 0 : 1;
      return false;
    }
    case OptionsResult::Error:
      std::fprintf(stderr, "yulo: %s\nTry 'yulo --help' for more information.\n", message);
      *exitCode = 2;
      return false;
    case OptionsResult::Run:
      break;
  }
  return true;
}

const char* HelpText() {
  return kHelpText;
}

const char* VersionText() {
  return "yulo " YULO_VERSION "\n";
}

}  // namespace yulo

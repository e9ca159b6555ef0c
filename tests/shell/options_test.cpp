#include "shell/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "shell/command_line.h"

namespace yulo {
namespace {

// Splits "a b c" into argv (argv[0] = the program), runs the parser.
struct Parsed {
  OptionsResult result;
  LaunchOptions options;
  std::string message;
};

Parsed Parse(const std::string& args, const char* xscreensaverWindow = nullptr) {
  static std::vector<std::string> words;  // keeps renderDir valid after the call
  words.clear();
  words.push_back("/usr/lib/yulo -s/bin/yulo");  // a path that must never count as a switch
  size_t start = 0;
  while (start < args.size()) {
    size_t end = args.find(' ', start);
    if (end == std::string::npos) end = args.size();
    if (end > start) words.push_back(args.substr(start, end - start));
    start = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  Parsed p{};
  char message[256];
  std::memset(message, 'x', sizeof message);
  p.result = ParseOptions(static_cast<int>(argv.size()), argv.data(), xscreensaverWindow,
                          &p.options, message, sizeof message);
  p.message = message;
  return p;
}

struct ModeCase {
  const char* args;
  const char* xscreensaverWindow;
  Launch launch;
  RunMode mode;
  unsigned long foreignWindow;
  unsigned long ownerWindow;
  bool windowed;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << '[' << c.args
      << "] XSCREENSAVER_WINDOW=" << (c.xscreensaverWindow ? c.xscreensaverWindow : "(unset)");
}

class LaunchModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(LaunchModes, ModeWindowsAndOwner) {
  const ModeCase& c = GetParam();
  const Parsed p = Parse(c.args, c.xscreensaverWindow);
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_EQ(p.options.launch, c.launch);
  EXPECT_EQ(p.options.mode, c.mode);
  EXPECT_EQ(p.options.foreignWindow, c.foreignWindow);
  EXPECT_EQ(p.options.ownerWindow, c.ownerWindow);
  EXPECT_EQ(p.options.windowed, c.windowed);
}

constexpr Launch kDialog = Launch::Configure;
constexpr Launch kSaver = Launch::Screensaver;

INSTANTIATE_TEST_SUITE_P(
    Table, LaunchModes,
    ::testing::Values(
        // The screensaver switches, as the desktop's host passes them.
        ModeCase{"", nullptr, kDialog, RunMode::Configure, 0, 0, false},
        ModeCase{"/c", nullptr, kDialog, RunMode::Configure, 0, 0, false},
        ModeCase{"/c:5678", nullptr, kDialog, RunMode::Configure, 0, 5678, false},
        ModeCase{"/s", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"-S", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"-", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"-x", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"/a", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"-c:5678", nullptr, kDialog, RunMode::Configure, 0, 5678, false},
        ModeCase{"/p 1234", nullptr, kSaver, RunMode::Preview, 1234, 0, false},
        ModeCase{"/p:99", nullptr, kSaver, RunMode::Preview, 99, 0, false},
        ModeCase{"-P1234", nullptr, kSaver, RunMode::Preview, 1234, 0, false},
        ModeCase{"/s /p 5", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        // XScreenSaver's flags and its window.
        ModeCase{"-root", nullptr, kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"--root", "0x2a00007", kSaver, RunMode::FullScreen, 0x2a00007, 0, false},
        ModeCase{"-root", "1234", kSaver, RunMode::FullScreen, 1234, 0, false},
        ModeCase{"-window", nullptr, kSaver, RunMode::FullScreen, 0, 0, true},
        ModeCase{"-window-id 0x400001", nullptr, kSaver, RunMode::Preview, 0x400001, 0, false},
        ModeCase{"-window-id 4194305", nullptr, kSaver, RunMode::Preview, 4194305, 0, false},
        ModeCase{"--window-id 0XABC", nullptr, kSaver, RunMode::Preview, 0xabc, 0, false},
        ModeCase{"--window-id=77", nullptr, kSaver, RunMode::Preview, 77, 0, false},
        ModeCase{"", "0x1e00003", kSaver, RunMode::Preview, 0x1e00003, 0, false},
        ModeCase{"-fps", "0x1e00003", kSaver, RunMode::Preview, 0x1e00003, 0, false},
        // Mixtures: the most explicit request wins.
        ModeCase{"/c", "0x1e00003", kDialog, RunMode::Configure, 0, 0, false},
        ModeCase{"/s", "0x1e00003", kSaver, RunMode::FullScreen, 0, 0, false},
        ModeCase{"-window-id 12 /s", nullptr, kSaver, RunMode::Preview, 12, 0, false},
        ModeCase{"/p 5 -window-id 12", nullptr, kSaver, RunMode::Preview, 12, 0, false},
        ModeCase{"--windowed", nullptr, kSaver, RunMode::FullScreen, 0, 0, true},
        ModeCase{"--windowed /s", nullptr, kSaver, RunMode::FullScreen, 0, 0, true},
        ModeCase{"--windowed", "0x1e00003", kSaver, RunMode::FullScreen, 0, 0, true},
        ModeCase{"--windowed /c:8", nullptr, kDialog, RunMode::Configure, 0, 8, false},
        ModeCase{"--seed 7 /p 42 --max-fps 30", nullptr, kSaver, RunMode::Preview, 42, 0, false},
        ModeCase{"--render out --windowed /p 3", "0x10", Launch::Render, RunMode::FullScreen, 0, 0,
                 false}),
    [](const ::testing::TestParamInfo<ModeCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(LaunchOptionsValues, LongOptionsInBothSpellings) {
  for (const char* args : {"--seed 7 --fixed-step 16 --start 17500 --size 640x480 --max-fps 24 "
                           "--volume 5 --full-resolution /s",
                           "--seed=7 --fixed-step=16 --start=17500 --size=640X480 --max-fps=24 "
                           "--volume=5 /s"}) {
    const Parsed p = Parse(args);
    ASSERT_EQ(p.result, OptionsResult::Run) << args << ": " << p.message;
    const LaunchOptions& o = p.options;
    EXPECT_TRUE(o.hasSeed && o.seed == 7u) << args;
    EXPECT_TRUE(o.hasFixedStep && o.fixedStepMs == 16u) << args;
    EXPECT_EQ(o.startMs, 17500u) << args;
    EXPECT_TRUE(o.hasSize && o.width == 640 && o.height == 480) << args;
    EXPECT_TRUE(o.hasMaxFps && o.maxFps == 24u) << args;
    EXPECT_TRUE(o.hasVolume && o.volume == 5) << args;
    EXPECT_EQ(o.fullResolution, std::strstr(args, "--full-resolution") != nullptr) << args;
    EXPECT_EQ(o.mode, RunMode::FullScreen) << args;
  }
}

TEST(LaunchOptionsValues, DefaultsAndLimits) {
  Parsed p = Parse("/s");
  ASSERT_EQ(p.result, OptionsResult::Run);
  EXPECT_FALSE(p.options.hasSeed || p.options.hasFixedStep || p.options.hasSize ||
               p.options.hasMaxFps || p.options.hasVolume || p.options.showFps ||
               p.options.fullResolution);
  EXPECT_EQ(p.options.width, kDefaultWindowWidth);
  EXPECT_EQ(p.options.height, kDefaultWindowHeight);
  EXPECT_EQ(p.options.startMs, 0u);

  p = Parse("--seed 4294967295 --volume 0 --max-fps 0 --size 16384x1 /s");
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_EQ(p.options.seed, 4294967295u);
  EXPECT_EQ(p.options.volume, 0);
  EXPECT_TRUE(p.options.hasMaxFps);
  EXPECT_EQ(p.options.maxFps, 0u);
  EXPECT_EQ(p.options.width, 16384);
}

TEST(LaunchOptionsValues, RenderHasAFixedStepAndOneFrameByDefault) {
  Parsed p = Parse("--render /tmp/out");
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_EQ(p.options.launch, Launch::Render);
  EXPECT_STREQ(p.options.renderDir, "/tmp/out");
  EXPECT_EQ(p.options.frames, 1u);
  EXPECT_TRUE(p.options.hasFixedStep);
  EXPECT_EQ(p.options.fixedStepMs, kDefaultRenderStepMs);

  p = Parse("--frames 3 --render=dir --fixed-step 16 --seed 7");
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_EQ(p.options.frames, 3u);
  EXPECT_EQ(p.options.fixedStepMs, 16u);
  EXPECT_STREQ(p.options.renderDir, "dir");
}

TEST(LaunchOptionsValues, RecordHasVideoDefaultsAndAFixedSeed) {
  Parsed p = Parse("--record show.mp4");
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_EQ(p.options.launch, Launch::Record);
  EXPECT_STREQ(p.options.recordPath, "show.mp4");
  EXPECT_EQ(p.options.width, 1280);
  EXPECT_EQ(p.options.height, 960);
  EXPECT_EQ(p.options.fps, 30u);
  EXPECT_EQ(p.options.durationMs, 35000u);
  EXPECT_EQ(p.options.quality, 65u);
  EXPECT_FALSE(p.options.seamless);
  EXPECT_TRUE(p.options.hasSeed);  // the same command makes the same video

  p = Parse(
      "--record=- --size 160x120 --fps 25 --duration 2.05 --quality 0 --seamless "
      "--seed 9 --start 7000 --volume 0");
  ASSERT_EQ(p.result, OptionsResult::Run) << p.message;
  EXPECT_STREQ(p.options.recordPath, "-");
  EXPECT_EQ(p.options.width, 160);
  EXPECT_EQ(p.options.fps, 25u);
  EXPECT_EQ(p.options.durationMs, 2050u);
  EXPECT_EQ(p.options.quality, 0u);
  EXPECT_TRUE(p.options.seamless);
  EXPECT_EQ(p.options.seed, 9u);
  EXPECT_EQ(p.options.startMs, 7000u);
  EXPECT_EQ(Parse("--record a.gif --duration 3600").options.durationMs, 3600000u);
}

TEST(LaunchOptionsValues, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse("--help").result, OptionsResult::Help);
  EXPECT_EQ(Parse("/p 12 --render x --help").result, OptionsResult::Help);
  EXPECT_EQ(Parse("--version /s").result, OptionsResult::Version);
  for (const char* help : {"-h", "-help", "/s -h"}) {
    EXPECT_EQ(Parse(help).result, OptionsResult::Help) << help;
  }
  for (const char* version : {"-v", "-version", "-root -v"}) {
    EXPECT_EQ(Parse(version).result, OptionsResult::Version) << version;
  }
  EXPECT_NE(std::strstr(HelpText(), "--render DIR"), nullptr);
  EXPECT_EQ(std::strncmp(VersionText(), "yulo ", 5), 0);
}

struct BadCase {
  const char* args;
  const char* xscreensaverWindow;
  const char* messagePart;  // what the message must name
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << '[' << c.args << ']';
}

class BadCommandLines : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLines, AreRefusedWithAMessage) {
  const BadCase& c = GetParam();
  const Parsed p = Parse(c.args, c.xscreensaverWindow);
  EXPECT_EQ(p.result, OptionsResult::Error);
  EXPECT_NE(p.message.find(c.messagePart), std::string::npos) << p.message;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadCommandLines,
    ::testing::Values(
        BadCase{"--bogus", nullptr, "--bogus"}, BadCase{"-bogus", nullptr, "'-bogus'"},
        BadCase{"/s -sx", nullptr, "'-sx'"}, BadCase{"-Window", nullptr, "'-Window'"},
        BadCase{"--seed", nullptr, "requires a value"}, BadCase{"--seed -1", nullptr, "'-1'"},
        BadCase{"--seed 4294967296", nullptr, "--seed"}, BadCase{"--seed 12abc", nullptr, "12abc"},
        BadCase{"--fixed-step= /s", nullptr, "--fixed-step"},
        BadCase{"--size 800 /s", nullptr, "--size"}, BadCase{"--size 0x600 /s", nullptr, "--size"},
        BadCase{"--size 16385x10 /s", nullptr, "--size"}, BadCase{"--size x600", nullptr, "--size"},
        BadCase{"--volume 21", nullptr, "0..20"}, BadCase{"--max-fps 1001", nullptr, "--max-fps"},
        BadCase{"--frames 0 --render d", nullptr, "--frames"},
        BadCase{"--frames 3", nullptr, "--render"}, BadCase{"--render=", nullptr, "--render"},
        BadCase{"--windowed=1", nullptr, "--windowed"},
        BadCase{"-window-id 0", nullptr, "window id"},
        BadCase{"-window-id 0x", nullptr, "window id"},
        BadCase{"-window-id 0x100000000", nullptr, "window id"},
        BadCase{"--window-id 12z", nullptr, "window id"},
        BadCase{"-root", "junk", "XSCREENSAVER_WINDOW"}, BadCase{"", "0xZZ", "XSCREENSAVER_WINDOW"},
        BadCase{"/p", nullptr, "/p"}, BadCase{"/p 99999999999", nullptr, "/p"},
        BadCase{"--record a.mp4 --size 161x120", nullptr, "even"},
        BadCase{"--record a.mp4 --fixed-step 40", nullptr, "--fps"},
        BadCase{"--record a.mp4 --render d", nullptr, "--render"},
        BadCase{"--fps 30 /s", nullptr, "--record"}, BadCase{"--seamless", nullptr, "--record"},
        BadCase{"--record a --fps 0", nullptr, "--fps"},
        BadCase{"--record a --fps 241", nullptr, "--fps"},
        BadCase{"--record a --duration 0", nullptr, "--duration"},
        BadCase{"--record a --duration 3600.001", nullptr, "--duration"},
        BadCase{"--record a --duration 1.2345", nullptr, "--duration"},
        BadCase{"--record a --duration 2.", nullptr, "--duration"},
        BadCase{"--record a --duration .5", nullptr, "--duration"},
        BadCase{"--record a --quality 101", nullptr, "--quality"}),
    [](const ::testing::TestParamInfo<BadCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(LaunchOptionsValues, ABadHostWindowMattersOnlyWhenItWouldBeUsed) {
  EXPECT_EQ(Parse("/s", "junk").result, OptionsResult::Run);
  EXPECT_EQ(Parse("--windowed", "junk").result, OptionsResult::Run);
  EXPECT_EQ(Parse("-window-id 5", "junk").result, OptionsResult::Run);
}

TEST(LaunchOptionsValues, OverlongSwitchTextIsRefusedNotCut) {
  // Cutting the text could change the window number the switch carries.
  std::string args = "/p " + std::string(kCommandLineCapacity, '1');
  const Parsed p = Parse(args);
  EXPECT_EQ(p.result, OptionsResult::Error);
  EXPECT_NE(p.message.find("too long"), std::string::npos);
}

TEST(WindowIds, HexAndDecimal) {
  unsigned long id = 0;
  EXPECT_TRUE(ParseWindowId("0x2A00007", &id));
  EXPECT_EQ(id, 0x2a00007ul);
  EXPECT_TRUE(ParseWindowId("0xffffffff", &id));
  EXPECT_EQ(id, 0xfffffffful);
  EXPECT_TRUE(ParseWindowId("010", &id));
  EXPECT_EQ(id, 10ul);  // decimal, not octal
  id = 3;
  EXPECT_FALSE(ParseWindowId("", &id));
  EXPECT_FALSE(ParseWindowId(nullptr, &id));
  EXPECT_FALSE(ParseWindowId(" 12", &id));
  EXPECT_FALSE(ParseWindowId("-12", &id));
  EXPECT_EQ(id, 3ul);  // untouched on failure
}

}  // namespace
}  // namespace yulo

// The program the way hosts and users start it: without a display, with the flags every
// XScreenSaver hack knows, on the second screen of an X server, and in a host's window
// where OpenGL can't be had.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "program_env.h"
#include "support/temp_dir.h"

#include <gio/gio.h>

// Last: the X11 headers define macros (None, Bool) that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace yulo::test {
namespace {

std::vector<std::string> WithProgram(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {ProgramPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

TEST(CommandLine, HelpVersionAndMisspeltFlagsAnswerWithoutStartingTheScreensaver) {
  ScopedTempDir temp;
  struct Case {
    const char* arg;
    int code;
    const char* said;
  };
  // No display either: a run that started the screensaver would fail differently.
  for (const Case& c :
       {Case{"-h", 0, "Usage: yulo"}, Case{"-help", 0, "Usage: yulo"}, Case{"-v", 0, "yulo "},
        Case{"-version", 0, "yulo "}, Case{"-bogus", 2, "unrecognized option '-bogus'"}}) {
    std::string output;
    EXPECT_EQ(RunCommand(WithProgram({c.arg}), ProgramEnvironment(temp.Path(), ""), 10000, &output),
              c.code)
        << c.arg << ": " << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << c.arg << ": " << output;
  }
}

TEST(CommandLine, WithoutADisplayTheScreensaverEndsAtOnceSayingSo) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  for (const char* display : {"", ":99.9"}) {
    std::vector<std::string> env = ProgramEnvironment(temp.Path(), display);
    // No display named anywhere: the message is all that is said (the display libraries,
    // asked to look, would complain first about the missing XDG_RUNTIME_DIR).
    if (display[0] == '\0') env.insert(env.end(), {"XDG_RUNTIME_DIR", "WAYLAND_DISPLAY"});
    std::string output;
    EXPECT_EQ(RunCommand(WithProgram({"/s"}), env, 10000, &output), 1) << display << ": " << output;
    EXPECT_NE(output.find("no display to draw on"), std::string::npos) << output;
    if (display[0] == '\0') {
      EXPECT_EQ(output.rfind("yulo: ", 0), 0u) << output;
    }
  }
}

// An X server with two screens, as a machine with one X screen per monitor has.
class OnTwoScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server.Start({{320, 240}, {320, 240}}, false));
    display = XOpenDisplay((server.Display() + ".1").c_str());
    ASSERT_NE(display, nullptr);
    ASSERT_EQ(ScreenCount(display), 2);
    host =
        XCreateSimpleWindow(display, RootWindow(display, 1), 0, 0, 320, 240, 0, 0, kHostBackground);
    XMapWindow(display, host);
    XSync(display, False);
  }
  void TearDown() override {
    if (display != nullptr) XCloseDisplay(display);
  }

  unsigned long Pixel(int x, int y) {
    XImage* image = XGetImage(display, host, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return 0xFFFFFFFFul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  // Waits until every sample point left the background and, with untilLit, some of them
  // shows more than black; whether any of them is lit.
  bool WaitUntilCovered(ChildProcess* child, bool untilLit) {
    bool lit = false;
    for (int i = 0; i < 200 && child->Running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      bool covered = true;
      lit = false;
      for (int y = 20; y < 240; y += 50) {
        for (int x = 20; x < 320; x += 50) {
          const unsigned long p = Pixel(x, y);
          covered = covered && p != kHostBackground;
          lit = lit || (p != 0 && p != kHostBackground);
        }
      }
      if (covered && (lit || !untilLit)) break;
    }
    return lit;
  }

  void StartInHostWindow(ChildProcess* child, const std::vector<std::string>& env) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host);
    std::vector<std::string> all = ProgramEnvironment(temp.Path(), server.Display() + ".1");
    all.insert(all.end(), env.begin(), env.end());
    ASSERT_TRUE(child->Start(WithProgram({"-window-id", id, "--max-fps", "10"}), all));
  }

  // The host ends the run by destroying its window; the program's exit code.
  int EndByTheHost(ChildProcess* child) {
    XDestroyWindow(display, host);
    XSync(display, False);
    int code = -1;
    EXPECT_TRUE(child->Wait(5000, &code)) << "still running after its window went\n"
                                          << child->Output();
    return code;
  }

  XvfbServer server;
  ScopedTempDir temp;
  Display* display = nullptr;
  Window host = 0;
};

TEST_F(OnTwoScreens, AHostWindowOnTheSecondScreenIsDrawnInto) {
  const bool realData = PrepareDataSet(temp.Path());
  ChildProcess child;
  StartInHostWindow(&child, {});
  EXPECT_TRUE(WaitUntilCovered(&child, realData) || !realData) << child.Output();
  EXPECT_NE(Pixel(20, 20), kHostBackground);
  EXPECT_EQ(EndByTheHost(&child), 0) << child.Output();
}

TEST_F(OnTwoScreens, WithoutOpenGLInAHostWindowItStaysBlackUntilTheHostEndsIt) {
  PrepareDataSet(temp.Path());
  ChildProcess child;
  // The driver then offers OpenGL 2.1 only, never the 3.3 core the device needs.
  StartInHostWindow(&child, {"MESA_GL_VERSION_OVERRIDE=2.1"});
  WaitUntilCovered(&child, false);
  // A host that restarts what ends would spin: the program must wait for the host instead.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(child.Running()) << child.Output();
  EXPECT_EQ(Pixel(20, 20), 0u);
  EXPECT_EQ(Pixel(300, 220), 0u);
  const std::string said = child.Output();
  EXPECT_NE(said.find("OpenGL 3.3"), std::string::npos) << said;
  EXPECT_EQ(said.find("Direct3D"), std::string::npos) << said;
  // Hosts end their programs by SIGTERM and keep the window: the failure's exit status.
  ASSERT_EQ(kill(child.Pid(), SIGTERM), 0);
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
  EXPECT_EQ(code, 1) << child.Output();
  // A run that never started keeps nothing: not even the settings it read.
  EXPECT_FALSE(std::filesystem::exists(temp.Path() + "/velmora/screensavers/yulo/settings"));
}

// The ids of the visible windows with the program's title.
std::vector<unsigned long> ProgramWindows(const std::vector<std::string>& env) {
  std::string output;
  RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^Yulo Screensaver$"}, env, 5000,
             &output);
  std::vector<unsigned long> ids;
  size_t at = 0;
  while (at < output.size()) {
    const size_t end = output.find('\n', at);
    const std::string line = output.substr(at, end - at);
    if (!line.empty()) ids.push_back(std::stoul(line));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return ids;
}

// Whether some of a 5 x 5 grid of points inside window shows more than black.
bool ShowsAPicture(Display* display, Window window, int width, int height) {
  for (int y = height / 10; y < height; y += height / 5) {
    for (int x = width / 10; x < width; x += width / 5) {
      XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
      if (image == nullptr) continue;
      const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
      XDestroyImage(image);
      if (pixel != 0) return true;
    }
  }
  return false;
}

// A window of the program's that is gone by the time the test asks about it makes the
// request fail; Xlib's own handler would end the whole test program, saying little.
int KeepXErrorsForTheTest(Display*, XErrorEvent* error) {
  std::fprintf(stderr, "X error %d on request %d\n", error->error_code, error->request_code);
  return 0;
}

class FullScreenOnXvfb : public ::testing::Test {
 protected:
  void Start(const std::vector<std::pair<int, int>>& heads, bool xinerama) {
    if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    previousHandler = XSetErrorHandler(KeepXErrorsForTheTest);
    ASSERT_TRUE(HaveProgram("xdotool")) << "xdotool is missing (scripts/install-deps)";
    ASSERT_TRUE(server.Start(heads, xinerama));
    display = XOpenDisplay(server.Display().c_str());
    ASSERT_NE(display, nullptr);
    env = ProgramEnvironment(temp.Path(), server.Display());
    PrepareDataSet(temp.Path());
  }
  void TearDown() override {
    if (display != nullptr) XCloseDisplay(display);
    XSetErrorHandler(previousHandler);
  }

  // The program's windows once count of them show, by size.
  std::vector<unsigned long> WaitForWindows(ChildProcess* child, size_t count) {
    std::vector<unsigned long> ids;
    for (int i = 0; i < 300 && child->Running() && ids.size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ids = ProgramWindows(env);
    }
    return ids;
  }

  // Starts the program with args and waits until it has drawn for a second (its first
  // frame-rate line); false when it ended first or took more than 30 s.
  bool StartDrawing(ChildProcess* child, const std::vector<std::string>& args) {
    if (!child->Start(WithProgram(args), env)) return false;
    for (int i = 0; i < 300 && child->Running() && FpsLines(child) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return FpsLines(child) > 0;
  }

  size_t FpsLines(ChildProcess* child) {
    const std::string output = child->Output();
    size_t lines = 0;
    for (size_t at = output.find(" fps"); at != std::string::npos; at = output.find(" fps", at + 1))
      ++lines;
    return lines;
  }

  XvfbServer server;
  ScopedTempDir temp;
  Display* display = nullptr;
  std::vector<std::string> env;
  XErrorHandler previousHandler = nullptr;
};

// In the sanitizer build, what the libraries SDL loaded still hold at exit must be told
// apart from the program's own blocks by library name (tests/lsan.supp), on any machine.
TEST_F(FullScreenOnXvfb, AWindowedRunEndsCleanlyWithLeakChecking) {
  Start({{320, 240}}, false);
  env.push_back(kLeakCheckedRun);
  ChildProcess child;
  ASSERT_TRUE(
      child.Start(WithProgram({"--windowed", "--size", "160x120", "--max-fps", "10"}), env));
  ASSERT_EQ(WaitForWindows(&child, 1).size(), 1u) << child.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // some frames
  kill(child.Pid(), SIGTERM);
  int code = -1;
  ASSERT_TRUE(child.Wait(120000, &code)) << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
}

TEST_F(FullScreenOnXvfb, EveryXineramaHeadGetsAWindowOfItsOwnShowingTheScene) {
  Start({{800, 600}, {640, 480}}, true);
  ChildProcess child;
  ASSERT_TRUE(child.Start(WithProgram({"/s", "--max-fps", "10"}), env));
  const std::vector<unsigned long> windows = WaitForWindows(&child, 2);
  ASSERT_EQ(windows.size(), 2u) << child.Output();
  std::vector<std::pair<int, int>> sizes;
  for (unsigned long window : windows) {
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    sizes.push_back({attributes.width, attributes.height});
    // The heads overlap on this server: each window is drawn once it is on top.
    XRaiseWindow(display, window);
    XSync(display, False);
    bool shown = false;
    for (int i = 0; i < 100 && !shown && child.Running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      shown = ShowsAPicture(display, window, attributes.width, attributes.height);
    }
    EXPECT_TRUE(shown) << attributes.width << "x" << attributes.height << "\n" << child.Output();
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{640, 480}, {800, 600}}));
  kill(child.Pid(), SIGTERM);
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
}

// A bus of the test's own stands in for the system bus, and the test for the login manager,
// which announces sleep with PrepareForSleep(true) and the wake-up with (false).
TEST_F(FullScreenOnXvfb, TheSystemGoingToSleepEndsTheRun) {
  Start({{320, 240}}, false);
  ASSERT_TRUE(HaveProgram("dbus-daemon")) << "dbus-daemon is missing (scripts/install-deps)";
  const std::string address = "unix:path=" + temp.Path() + "/system-bus";
  ChildProcess bus;
  ASSERT_TRUE(bus.Start({"dbus-daemon", "--session", "--nofork", "--address=" + address}));
  const auto flags =
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  GDBusConnection* manager = nullptr;
  for (int i = 0; i < 100 && manager == nullptr && bus.Running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    manager =
        g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
  }
  ASSERT_NE(manager, nullptr) << bus.Output();
  GVariant* owned = g_dbus_connection_call_sync(
      manager, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", "org.freedesktop.login1", 0u), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  ASSERT_NE(owned, nullptr);
  g_variant_unref(owned);
  const auto announce = [manager](bool sleeping) {
    g_dbus_connection_emit_signal(manager, nullptr, "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep",
                                  g_variant_new("(b)", sleeping), nullptr);
    g_dbus_connection_flush_sync(manager, nullptr, nullptr);
  };

  env.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + address);
  ChildProcess child;
  ASSERT_TRUE(
      StartDrawing(&child, {"--windowed", "--size", "160x120", "--max-fps", "10", "--fps-stdout"}))
      << child.Output();
  announce(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_TRUE(child.Running()) << child.Output();
  announce(true);
  int code = -1;
  EXPECT_TRUE(child.Wait(10000, &code)) << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
  g_object_unref(manager);
}

// The display going away mid-run ends the program through its error path, with every
// thread it started still running: an exit code, not an abort.
TEST_F(FullScreenOnXvfb, TheDisplayGoingAwayEndsTheRunWithAnError) {
  Start({{320, 240}}, false);
  ChildProcess child;
  ASSERT_TRUE(
      StartDrawing(&child, {"--windowed", "--size", "160x120", "--max-fps", "10", "--fps-stdout"}))
      << child.Output();
  XCloseDisplay(display);
  display = nullptr;
  server.Stop();
  int code = -1;
  ASSERT_TRUE(child.Wait(10000, &code)) << child.Output();
  EXPECT_EQ(code, 1) << child.Output();
}

// Two X screens both start at 0, 0, where a second window could only land on the first
// screen, over the first window.
TEST_F(FullScreenOnXvfb, OnlyMonitorsAWindowCanReachGetOne) {
  Start({{320, 240}, {200, 150}}, false);
  ChildProcess child;
  ASSERT_TRUE(StartDrawing(&child, {"/s", "--max-fps", "10", "--fps-stdout"})) << child.Output();
  const std::vector<unsigned long> windows = ProgramWindows(env);
  ASSERT_EQ(windows.size(), 1u) << child.Output();
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, windows[0], &attributes), 0);
  EXPECT_EQ(attributes.width, 320);
  kill(child.Pid(), SIGTERM);
  int code = -1;
  EXPECT_TRUE(child.Wait(5000, &code)) << child.Output();
}

// A further X screen, which no window of the scene can reach, is covered in black, and a
// click there ends the run as one on the scene does.
TEST_F(FullScreenOnXvfb, AFurtherXScreenGoesBlackAndAClickThereEndsTheRun) {
  Start({{320, 240}, {200, 150}}, false);
  const Window root = RootWindow(display, 1);
  XSetWindowBackground(display, root, 0x203040);
  XClearWindow(display, root);
  XSync(display, False);
  ASSERT_TRUE(ShowsAPicture(display, root, 200, 150));
  ChildProcess child;
  ASSERT_TRUE(StartDrawing(&child, {"/s", "--max-fps", "10", "--fps-stdout"})) << child.Output();
  EXPECT_FALSE(ShowsAPicture(display, root, 200, 150));
  std::vector<std::string> onSecond = env;
  for (std::string& entry : onSecond) {
    if (entry.rfind("DISPLAY=", 0) == 0) entry += ".1";
  }
  RunCommand({"xdotool", "mousemove", "50", "50", "click", "1"}, onSecond, 5000, nullptr);
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
}

// A sound library that finds no device prints nothing of its own (here: a configuration
// without any device, as on a machine without a sound card).
TEST_F(FullScreenOnXvfb, WithoutASoundDeviceTheSoundLibraryKeepsQuiet) {
  Start({{320, 240}}, false);
  std::ofstream(temp.Path() + "/asound.conf").flush();
  env.insert(env.end(),
             {"SDL_AUDIODRIVER=alsa", "ALSA_CONFIG_PATH=" + temp.Path() + "/asound.conf"});
  ChildProcess child;
  ASSERT_TRUE(child.Start(
      WithProgram({"--windowed", "--volume", "20", "--max-fps", "10", "--fps-stdout"}), env));
  for (int i = 0; i < 300 && child.Running() && FpsLines(&child) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(child.Pid(), SIGTERM);
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
  EXPECT_GT(FpsLines(&child), 0u) << child.Output();
  EXPECT_EQ(child.Output().find("ALSA"), std::string::npos) << child.Output();
}

TEST_F(FullScreenOnXvfb, AFullyCoveredWindowDrawsNothingUntilUncovered) {
  Start({{320, 240}}, false);
  ChildProcess child;
  ASSERT_TRUE(child.Start(WithProgram({"/s", "--max-fps", "20", "--fps-stdout"}), env));
  ASSERT_EQ(WaitForWindows(&child, 1).size(), 1u) << child.Output();
  for (int i = 0; i < 100 && FpsLines(&child) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_GT(FpsLines(&child), 0u) << child.Output();

  // A window above everything, as a screen locker's or another program's.
  XSetWindowAttributes above{};
  above.override_redirect = True;
  above.background_pixel = 0x203040;
  const Window cover =
      XCreateWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &above);
  XMapRaised(display, cover);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the last report in flight
  const size_t covered = FpsLines(&child);
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  EXPECT_EQ(FpsLines(&child), covered) << "frames were drawn under the cover\n" << child.Output();
  ASSERT_TRUE(child.Running()) << child.Output();

  XUnmapWindow(display, cover);
  XSync(display, False);
  for (int i = 0; i < 50 && FpsLines(&child) == covered; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_GT(FpsLines(&child), covered) << "no frames after the cover went\n" << child.Output();
  kill(child.Pid(), SIGTERM);
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
}

}  // namespace
}  // namespace yulo::test

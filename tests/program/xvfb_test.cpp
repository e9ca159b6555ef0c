// The program on a real X server (Xvfb, started here): the full-screen window, the input
// that ends a run and the input that does not, drawing into a window made by the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "formats/formats.h"
#include "program_env.h"
#include "support/temp_dir.h"

// Last: the X11 headers define macros (None, Bool) that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace yulo::test {
namespace {

// Small enough that a software-rendered frame stays well under the time bounds below.
constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

class OnXvfb : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveProgram("Xvfb")) return;
    server = new XvfbServer;
    if (!server->Start(kScreenWidth, kScreenHeight)) {
      delete server;
      server = nullptr;
      started = false;
      return;
    }
    started = true;
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(started) << "Xvfb did not start";
    ASSERT_TRUE(HaveProgram("xdotool")) << "xdotool is missing (scripts/install-deps)";
    display = XOpenDisplay(server->Display().c_str());
    ASSERT_NE(display, nullptr);
  }
  void TearDown() override {
    if (display != nullptr) XCloseDisplay(display);
  }

  std::vector<std::string> Env() const {
    return ProgramEnvironment(temp.Path(), server->Display());
  }

  // Starts the program with args on the test's server.
  void Launch(ChildProcess* child, const std::vector<std::string>& args,
              std::vector<std::string> env = {}) {
    std::vector<std::string> argv = {ProgramPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> all = Env();
    all.insert(all.end(), env.begin(), env.end());
    ASSERT_TRUE(child->Start(argv, all));
  }

  // The id of the visible "Loading Error" box (as xdotool prints it), "" if none shows.
  std::string WaitForLoadingErrorBox(ChildProcess* child) {
    std::string box;
    for (int i = 0; i < 100 && box.empty() && child->Running(); ++i) {
      RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^Loading Error$"}, Env(), 5000,
                 &box);
      if (box.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return box;
  }

  // Runs xdotool with args on the test's server; its output.
  std::string XdoTool(const std::vector<std::string>& args, int timeoutMs = 5000) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string output;
    EXPECT_EQ(RunCommand(argv, Env(), timeoutMs, &output), 0) << output;
    return output;
  }

  // The id of the visible window with the program's title, 0 if none shows in time.
  unsigned long WaitForMainWindow(ChildProcess* child) {
    for (int i = 0; i < 300 && child->Running(); ++i) {
      std::string output;
      const int code =
          RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^Yulo Screensaver$"}, Env(),
                     5000, &output);
      if (code == 0 && !output.empty()) return std::stoul(output);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
  }

  // What a window manager sends when the user closes a window.
  void SendClose(Window window) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XSync(display, False);
  }

  // The window's pixel at (x, y) as 0xRRGGBB.
  unsigned long Pixel(Window window, int x, int y) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return 0xFFFFFFFFul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  static XvfbServer* server;
  static bool started;
  ScopedTempDir temp;
  Display* display = nullptr;
};

XvfbServer* OnXvfb::server = nullptr;
bool OnXvfb::started = false;

TEST_F(OnXvfb, FullScreenWindowAppearsAndAKeyEndsTheRunAtOnce) {
  PrepareDataSet(temp.Path());
  ChildProcess child;
  Launch(&child, {"/s", "--max-fps", "20"});
  const unsigned long window = WaitForMainWindow(&child);
  ASSERT_NE(window, 0u) << child.Output();

  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
  EXPECT_EQ(attributes.width, kScreenWidth);
  EXPECT_EQ(attributes.height, kScreenHeight);

  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(child.Running()) << child.Output();
  XdoTool({"key", "space"});  // returns once the key has been sent
  int code = -1;
  ASSERT_TRUE(child.Wait(1000, &code)) << "still running a second after the key";
  EXPECT_EQ(code, 0) << child.Output();
}

TEST_F(OnXvfb, MouseMovesDoNotEndTheRunButAClickDoes) {
  PrepareDataSet(temp.Path());
  ChildProcess child;
  Launch(&child, {"-s", "--max-fps", "20"});
  ASSERT_NE(WaitForMainWindow(&child), 0u) << child.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first frames
  XdoTool({"mousemove", "10", "10"});
  XdoTool({"mousemove", "780", "580"});
  XdoTool({"mousemove_relative", "--", "-400", "-300"});
  XdoTool({"mousedown", "1"});  // the left button ends a run on release only
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_TRUE(child.Running()) << child.Output();
  XdoTool({"mouseup", "1"});
  int code = -1;
  ASSERT_TRUE(child.Wait(3000, &code)) << "still running after the click\n" << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
}

TEST_F(OnXvfb, WindowedRunEndsWhenItsWindowIsClosed) {
  PrepareDataSet(temp.Path());
  ChildProcess child;
  Launch(&child, {"--windowed", "--size", "400x300", "--max-fps", "20"});
  const unsigned long window = WaitForMainWindow(&child);
  ASSERT_NE(window, 0u) << child.Output();
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
  EXPECT_EQ(attributes.width, 400);
  EXPECT_EQ(attributes.height, 300);
  SendClose(window);
  int code = -1;
  ASSERT_TRUE(child.Wait(3000, &code)) << child.Output();
  EXPECT_EQ(code, 0) << child.Output();
}

TEST_F(OnXvfb, TermAndInterruptSignalsEndTheRunCleanly) {
  PrepareDataSet(temp.Path());
  for (int signal : {SIGTERM, SIGINT}) {
    ChildProcess child;
    Launch(&child, {"/s", "--max-fps", "20", "-fps", "--fps-stdout"});
    ASSERT_NE(WaitForMainWindow(&child), 0u) << child.Output();
    // -fps reports once a second after the first frame.
    for (int i = 0; i < 100 && child.Output().find(" fps") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child.Pid(), signal);
    int code = -1;
    ASSERT_TRUE(child.Wait(3000, &code)) << "signal " << signal << "\n" << child.Output();
    EXPECT_EQ(code, 0) << child.Output();
    EXPECT_NE(child.Output().find(" fps"), std::string::npos) << child.Output();
  }
}

// A window of the test's own, filled with kHostBackground, standing for a host's window.
Window MakeHostWindow(Display* display, int width, int height) {
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, kHostBackground);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

class DrawsIntoAForeignWindow : public OnXvfb {
 protected:
  // minimumWaitMs: the program must leave the window alone at least this long.
  void RunInHostWindow(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       Window host, int minimumWaitMs = 0) {
    // The tiny stand-in data set draws little; the real one must light the window.
    const bool realData = PrepareDataSet(temp.Path());
    ChildProcess child;
    const auto started = std::chrono::steady_clock::now();
    Launch(&child, args, env);
    if (minimumWaitMs > 0) {
      for (;;) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();
        if (waited >= minimumWaitMs) break;
        ASSERT_EQ(Pixel(host, 160, 120), kHostBackground) << "drawn after " << waited << " ms";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    // Drawn once every sample point has left the background colour and some is lit.
    bool drawn = false;
    for (int i = 0; i < 200 && !drawn && child.Running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      bool covered = true;
      bool lit = false;
      for (int y = 20; y < 240; y += 50) {
        for (int x = 20; x < 320; x += 50) {
          const unsigned long p = Pixel(host, x, y);
          covered = covered && p != kHostBackground;
          lit = lit || (p != 0 && p != kHostBackground);
        }
      }
      drawn = covered && (lit || !realData);
    }
    EXPECT_TRUE(drawn) << child.Output();
    ASSERT_TRUE(child.Running()) << child.Output();

    // The host owns the input: a key on its window leaves the program running.
    XdoTool({"mousemove", "100", "100"});
    XdoTool({"key", "--window", std::to_string(host), "space"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(child.Running()) << child.Output();

    // The host destroys its window: the run ends, cleanly.
    XDestroyWindow(display, host);
    XSync(display, False);
    int code = -1;
    ASSERT_TRUE(child.Wait(3000, &code))
        << "still running three seconds after its window was destroyed\n"
        << child.Output();
    EXPECT_EQ(code, 0) << child.Output();
  }
};

TEST_F(DrawsIntoAForeignWindow, GivenByWindowId) {
  const Window host = MakeHostWindow(display, 320, 240);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", host);
  RunInHostWindow({"-window-id", id, "--max-fps", "20"}, {}, host);
}

TEST_F(DrawsIntoAForeignWindow, GivenAsPreviewAfterAboutHalfASecond) {
  const Window host = MakeHostWindow(display, 320, 240);
  RunInHostWindow({"/p", std::to_string(host), "--max-fps", "20"}, {}, host, 450);
}

TEST_F(DrawsIntoAForeignWindow, GivenByXScreenSaverWithRoot) {
  const Window host = MakeHostWindow(display, 320, 240);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", host);
  RunInHostWindow({"-root", "--max-fps", "20"}, {std::string("XSCREENSAVER_WINDOW=") + id}, host);
}

// A data file missing at the start (links.txt, read before any window exists) is named in
// a message box; the program ends with exit code 1 once the box is closed.
TEST_F(OnXvfb, AMissingDataFileIsReportedInAMessageBox) {
  const std::string key = temp.Path() + "/velmora/screensavers/yulo";
  std::filesystem::create_directories(key);
  std::filesystem::create_directories(temp.Path() + "/empty");
  std::ofstream(key + "/InstallDir_Demo", std::ios::binary) << temp.Path() + "/empty";
  ChildProcess child;
  Launch(&child, {"--windowed", "--size", "400x300"});
  const std::string box = WaitForLoadingErrorBox(&child);
  ASSERT_FALSE(box.empty()) << child.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(child.Running()) << "the box waits to be closed";
  // The error icon beside the text: a patch of red in a box that is otherwise grey.
  XWindowAttributes area{};
  ASSERT_NE(XGetWindowAttributes(display, std::stoul(box), &area), 0);
  int red = 0;
  for (int y = 0; y < area.height; y += 2) {
    for (int x = 0; x < area.width; x += 2) {
      const unsigned long p = Pixel(std::stoul(box), x, y);
      red += (p >> 16) > 150 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80 ? 1 : 0;
    }
  }
  EXPECT_GT(red, 20);
  SendClose(std::stoul(box));
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code)) << child.Output();
  EXPECT_EQ(code, 1);
  EXPECT_NE(
      child.Output().find("Can't load links.txt...\nProgram will now stop.\n\nLooked for in /"),
      std::string::npos)
      << child.Output();
  EXPECT_NE(child.Output().find("/empty."), std::string::npos) << child.Output();
}

// A data fault met only once the show runs (a clip that animates fewer bones than its
// skin has) shows its box from inside the main loop; a quit signal must still end the
// program at once, not wait for the box to be closed.
TEST_F(OnXvfb, AQuitSignalEndsTheProgramWhileAFatalBoxWaits) {
  ClipFileData oneBone;
  oneBone.boneCount = 1;
  oneBone.frameDuration = 100;
  oneBone.rootPositions.assign(2, Vector3(0, 0, 0));
  oneBone.angles.assign(2, Vector3(0, 0, 0));
  const std::vector<uint8_t> clip = EncodeClipFile(oneBone);
  std::ofstream(WriteTinyDataSet(temp.Path()) + "/deer.anm", std::ios::binary)
      .write(reinterpret_cast<const char*>(clip.data()), static_cast<std::streamsize>(clip.size()));
  ChildProcess child;
  Launch(&child, {"--windowed", "--size", "400x300"});
  const std::string box = WaitForLoadingErrorBox(&child);
  ASSERT_FALSE(box.empty()) << child.Output();
  EXPECT_NE(child.Output().find("Can't play deer.anm"), std::string::npos) << child.Output();
  kill(child.Pid(), SIGTERM);
  int code = -1;
  ASSERT_TRUE(child.Wait(3000, &code)) << "still waiting for the box\n" << child.Output();
  EXPECT_EQ(code, 128 + SIGTERM);
}

TEST_F(OnXvfb, AWindowIdThatDoesNotExistIsReported) {
  ChildProcess child;
  Launch(&child, {"-window-id", "0x3fffff0"});
  int code = -1;
  ASSERT_TRUE(child.Wait(5000, &code));
  EXPECT_EQ(code, 1);
  EXPECT_NE(child.Output().find("0x3fffff0"), std::string::npos) << child.Output();
}

}  // namespace
}  // namespace yulo::test

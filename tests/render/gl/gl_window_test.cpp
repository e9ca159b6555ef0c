// The window device under a private Xvfb server: drawing, read-back and the 4:3 viewport.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "render/gl/gl_device.h"
#include "render/gl/gl_window_target.h"
#include "render/renderer.h"

extern char** environ;

// SDL's video start-up keeps a D-Bus connection buffer for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace yulo {
namespace {

// Starts Xvfb on a display number the server picks itself (tests run side by side, and a
// number seen free may be taken a moment later) and stops it at the end.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",       "-displayfd", fd.c_str(), "-screen", "0",
                          "800x480x24", "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    const bool spawned =
        posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (spawned && poll(&p, 1, 10000) > 0) {
      char c = 0;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (!spawned) return;
    if (number.empty()) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      return;
    }
    pid_ = pid;
    display_ = ":" + number;
  }
  ~PrivateXServer() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Running() const { return pid_ != 0; }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

bool HaveXvfb() {
  return std::system("command -v Xvfb >/dev/null 2>&1") == 0;
}

// SDL's video on a private Xvfb, with the window device's attributes; the windows made with
// Window go at the end.
class GlWindowDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server_.Running());
    setenv("DISPLAY", server_.Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    PrepareGlWindowAttributes();
  }
  void TearDown() override {
    ReleaseRenderer();            // a device a failed check left behind
    KeepLoadedLibrariesMapped();  // as the program does: leaks stay told apart by library
    for (SDL_Window* w : windows_) SDL_DestroyWindow(w);
    SDL_Quit();
  }
  // A window device for window, installed, that has drawn a frame cleared to 0x2040C0 and
  // not presented it yet.
  static Device* ClearedFrame(SDL_Window* window, bool fullResolution = false) {
    Device* device = CreateGlDeviceForWindow(window, false, true, fullResolution);
    if (device == nullptr) return nullptr;
    SetDevice(device, true);
    ApplyDefaultStates();
    BeginScene();
    ClearTarget(0xFF2040C0u);
    EndScene();
    return device;
  }
  SDL_Window* Window(int width, int height) {
    SDL_Window* w = SDL_CreateWindow("test", 0, 0, width, height, SDL_WINDOW_OPENGL);
    EXPECT_NE(w, nullptr) << SDL_GetError();
    if (w != nullptr) windows_.push_back(w);
    return w;
  }

 private:
  PrivateXServer server_;
  std::vector<SDL_Window*> windows_;
};

TEST_F(GlWindowDevice, DrawsIntoTheWindowInsideA4By3Viewport) {
  SDL_Window* window = Window(800, 480);
  ASSERT_NE(window, nullptr);
  Device* device = ClearedFrame(window, /*fullResolution=*/true);
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(GetGlDeviceStats(device).scaled);
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(ReadFrame(device, &rgba, &w, &h));
  ASSERT_EQ(w, 800u);
  ASSERT_EQ(h, 480u);
  const auto at = [&](uint32_t x, uint32_t y) { return rgba.data() + (y * w + x) * 4; };
  // 480 rows high gives a 640-pixel-wide scene centred: bars of 80 on each side.
  EXPECT_EQ(at(400, 240)[0], 0x20);
  EXPECT_EQ(at(400, 240)[2], 0xC0);
  EXPECT_EQ(at(80, 10)[2], 0xC0);
  EXPECT_EQ(at(79, 10)[2], 0x00);
  EXPECT_EQ(at(720, 470)[2], 0x00);
  EXPECT_EQ(at(719, 470)[2], 0xC0);
  PresentFrame();
  ReleaseRenderer();
}

// On a software rasteriser (Xvfb has no other) the scene of a large window is drawn at
// 800 x 600 at most, in the window's 4:3 shape, and stretched over the window at Present.
TEST_F(GlWindowDevice, SoftwareRasterisersDrawTheSceneAtMost800By600) {
  SDL_Window* window = Window(1280, 800);
  ASSERT_NE(window, nullptr);
  Device* device = ClearedFrame(window);
  ASSERT_NE(device, nullptr);
  const GlDeviceStats stats = GetGlDeviceStats(device);
  EXPECT_TRUE(stats.scaled);
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(ReadFrame(device, &rgba, &w, &h));
  EXPECT_EQ(w, 800u);  // the 1067 x 800 part of the window, scaled by 3/4
  EXPECT_EQ(h, 600u);
  EXPECT_EQ(rgba[0], 0x20);
  EXPECT_EQ(rgba[2], 0xC0);
  PresentFrame();
  ReleaseRenderer();
}

// A stretched scene fills the window's 4:3 part, and the bars around it turn black whatever
// the window's back buffer held.
TEST_F(GlWindowDevice, AStretchedSceneGetsBlackBarsOverWhatTheWindowHeld) {
  SDL_Window* window = Window(800, 400);
  ASSERT_NE(window, nullptr);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
  Device* device = ClearedFrame(window);
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(GetGlDeviceStats(device).scaled);
  // What an earlier frame may have left in the window.
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  PresentFrame();
  Display* display = info.info.x11.display;
  XSync(display, False);
  XImage* image = XGetImage(display, info.info.x11.window, 0, 0, 800, 400, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  // The 533 x 400 part runs from column 133 to 665.
  const struct {
    int x, y;
    unsigned long rgb;
  } expected[] = {{0, 0, 0},          {132, 200, 0},        {133, 200, 0x2040C0},
                  {665, 0, 0x2040C0}, {665, 399, 0x2040C0}, {666, 200, 0},
                  {799, 399, 0}};
  for (const auto& e : expected) {
    EXPECT_EQ(XGetPixel(image, e.x, e.y) & 0xFFFFFF, e.rgb) << e.x << ", " << e.y;
  }
  XDestroyImage(image);
  ReleaseRenderer();
}

// Two quads that cross at a shallow angle, so that which one shows along a wide band is
// decided by the depth buffer's precision; read back as the scene's pixels.
std::vector<uint8_t> CrossingQuads(SDL_Window* window, bool* scaled) {
  std::vector<uint8_t> rgba;
  Device* device = CreateGlDeviceForWindow(window, false, true);
  if (device == nullptr) return rgba;
  SetDevice(device, true);
  ApplyDefaultStates();
  SetRenderState(D3DRS_LIGHTING, 0);
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  SetRenderState(D3DRS_ZENABLE, 1);
  BeginScene();
  ClearTarget(0xFF000000u);
  ClearDepth(1.0f);
  const auto quad = [](float zLeft, float zRight, uint32_t colour) {
    const test::ColourVertex v[6] = {{-1, -1, zLeft, colour}, {-1, 1, zLeft, colour},
                                     {1, 1, zRight, colour},  {-1, -1, zLeft, colour},
                                     {1, 1, zRight, colour},  {1, -1, zRight, colour}};
    DrawUserPrimitives(v, 2, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST);
  };
  quad(0.4f, 0.4f, 0xFF00FF00u);
  quad(0.4f - 3e-7f, 0.4f + 3e-7f, 0xFFFF0000u);
  EndScene();
  *scaled = GetGlDeviceStats(device).scaled;
  uint32_t w = 0, h = 0;
  if (!ReadFrame(device, &rgba, &w, &h) || w != 800 || h != 600) rgba.clear();
  PresentFrame();
  ReleaseRenderer();
  return rgba;
}

// A software-rasterised window of the scene's 800 x 600 is drawn into directly, without the
// copy, and with the 24-bit depth of a larger window's scene framebuffer.
TEST_F(GlWindowDevice, AWindowOfTheScenesSizeIsDrawnIntoDirectlyWithTheScenesDepth) {
  SDL_Window* small = Window(800, 600);
  SDL_Window* large = Window(1200, 900);
  ASSERT_TRUE(small != nullptr && large != nullptr);
  bool smallScaled = true, largeScaled = false;
  const std::vector<uint8_t> direct = CrossingQuads(small, &smallScaled);
  const std::vector<uint8_t> copied = CrossingQuads(large, &largeScaled);
  EXPECT_FALSE(smallScaled);
  EXPECT_TRUE(largeScaled);
  ASSERT_EQ(direct.size(), 800u * 600u * 4u);
  ASSERT_EQ(copied.size(), direct.size());
  size_t red = 0, differing = 0;
  for (size_t i = 0; i < direct.size(); i += 4) {
    red += direct[i] == 0xFF;
    differing += std::memcmp(&direct[i], &copied[i], 4) != 0;
  }
  EXPECT_GT(red, 0u);  // the band where the depths can't be told apart
  EXPECT_LT(red, 800u * 600u);
  EXPECT_EQ(differing, 0u);
}

// A host's window may be destroyed between any two frames, and the software rasteriser
// sizes a window's buffers from a query that then fails: such a window is drawn into only
// when shown, after a check, so the scene keeps its own framebuffer even where it would fill
// the window at its own size, at full resolution too.
TEST_F(GlWindowDevice, AHostsWindowIsDrawnOnlyWhenTheFrameIsShown) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const ::Window host =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 480, 0, 0, 0xFF0000);
  XMapWindow(display, host);
  XSync(display, False);
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  SDL_Window* window = SDL_CreateWindowFrom(reinterpret_cast<void*>(host));
  ASSERT_NE(window, nullptr) << SDL_GetError();
  for (const bool fullResolution : {false, true}) {
    Device* device = ClearedFrame(window, fullResolution);
    ASSERT_NE(device, nullptr) << fullResolution;
    EXPECT_TRUE(GetGlDeviceStats(device).scaled) << fullResolution;
    PresentFrame();
    ReleaseRenderer();
    XSync(display, False);
    XImage* image = XGetImage(display, host, 0, 0, 640, 480, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    // The window's 4:3 part is all of it: no bars.
    const int points[][2] = {{0, 0}, {320, 240}, {639, 479}};
    for (const auto& p : points) {
      EXPECT_EQ(XGetPixel(image, p[0], p[1]) & 0xFFFFFF, 0x2040C0u) << p[0] << ", " << p[1];
    }
    XDestroyImage(image);
  }
  SDL_DestroyWindow(window);  // SDL's record only
  XDestroyWindow(display, host);
  XCloseDisplay(display);
}

}  // namespace
}  // namespace yulo

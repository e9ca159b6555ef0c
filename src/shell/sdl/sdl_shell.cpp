#include "shell/sdl/sdl_shell.h"

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "math/scalar.h"
#include "render/gl/gl_window_target.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"
#include "shell/run_frame.h"
#include "shell/sdl/fps_overlay.h"
#include "shell/sdl/input_policy.h"
#include "shell/sdl/quit_signals.h"
#include "shell/sdl/sdl_window.h"
#include "shell/sdl/sleep_watch.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace yulo {

namespace {

constexpr uint32_t kPreviewWaitMs = 500;  // the host's preview area settles first
constexpr int kPausedWaitMs = 1000;       // while nothing can be seen: how often to look again
constexpr uint32_t kFocusSettleMs = 250;  // focus moving between our own windows

struct ShellState {
  SDL_Window* window = nullptr;
  InputContext input{};
  bool quitRequested = false;
  bool cursorHidden = false;
  uint32_t focusCheckAt = 0;  // SDL ticks when a focus loss is judged; 0 for none
};

ShellState shell;

// Whether an environment variable is set to something.
bool Named(const char* variable) {
  return variable != nullptr && variable[0] != '\0';
}

// SDL falls back to video drivers that show nothing (offscreen, dummy) when it finds no
// display: a screensaver there would only burn the CPU unseen.
bool OnRealDisplay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && std::strcmp(driver, "offscreen") != 0 &&
         std::strcmp(driver, "dummy") != 0;
}

uint64_t NowMicroseconds() {
  static const uint64_t frequency = SDL_GetPerformanceFrequency();
  const uint64_t ticks = SDL_GetPerformanceCounter();
  return ticks / frequency * 1000000u + ticks % frequency * 1000000u / frequency;
}

void CallScene(SceneInput call) {
  switch (call) {
    case SceneInput::NoCall:
      break;
    case SceneInput::LeftButtonDown:
      scenes.currentScene->OnLeftButtonDown();
      break;
    case SceneInput::LeftButtonUp:
      scenes.currentScene->OnLeftButtonUp();
      break;
    case SceneInput::RightButtonDown:
      scenes.currentScene->OnRightButtonDown();
      break;
    case SceneInput::RightButtonUp:
      scenes.currentScene->OnRightButtonUp();
      break;
    case SceneInput::MiddleButtonDown:
      scenes.currentScene->OnMiddleButtonDown();
      break;
    case SceneInput::MouseMove:
      scenes.currentScene->OnMouseMove();
      break;
  }
}

// What the window procedure does with one event: the scene's handler first, then the
// run's end or the restart of the time measurement.
void HandleEvent(const SDL_Event& event, bool running) {
  NoteWindowVisibility(event);
  if (event.type == SDL_DISPLAYEVENT) FollowMonitors();
  const InputAction action = ClassifyEvent(event, shell.input);
  CallScene(action.sceneInput);
  const bool focusLost =
      event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_FOCUS_LOST;
  if (action.quit && focusLost && MonitorWindowCount() > 1) {
    // The focus may only be moving to our window on another monitor: judged shortly.
    shell.focusCheckAt = SDL_GetTicks() + kFocusSettleMs;
    if (shell.focusCheckAt == 0) shell.focusCheckAt = 1;
  } else if (action.quit) {
    shell.quitRequested = true;
  }
  if (action.resetTiming && running) ResumeFrameTiming();
  if (action.resized) NoteWindowResized(shell.window);
}

void CheckFocus() {
  if (shell.focusCheckAt == 0 || static_cast<int32_t>(SDL_GetTicks() - shell.focusCheckAt) < 0) {
    return;
  }
  shell.focusCheckAt = 0;
  if (!OwnsKeyboardFocus()) shell.quitRequested = true;
}

// The foreign window may go away between two events; X errors about it end the run too.
void CheckForeignWindow() {
  if (ForeignWindowLost()) shell.quitRequested = true;
}

// Waits about half a second before the renderer starts, handling the events that arrive
// meanwhile (the host may close its preview area right away).
void PreviewWait() {
  const uint32_t start = SDL_GetTicks();
  for (;;) {
    const uint32_t waited = SDL_GetTicks() - start;
    if (waited >= kPreviewWaitMs || shell.quitRequested) return;
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, static_cast<int>(kPreviewWaitMs - waited)) != 0) {
      HandleEvent(event, false);
    }
    CheckForeignWindow();
  }
}

// A host that starts us again whenever we end would spin on a failure that repeats. In a
// host's window the failure has been said on stderr; the window stays black until the host
// ends the run, and the CPU stays idle meanwhile.
int WaitInBlackWindow() {
  PaintWindowBlack(shell.window);
  PassQuitSignalsToLoop();  // the host's SIGTERM ends the wait, with the failure's status
  while (!shell.quitRequested) {
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 1000) != 0) HandleEvent(event, false);
    ProbeForeignWindow();
    CheckForeignWindow();
  }
  return 1;
}

// Whether a host's window is smaller than its screen both ways.
bool SmallerThanItsScreen(const WindowPlacement& placement) {
  SDL_Rect screen{};
  const int display = SDL_GetWindowDisplayIndex(shell.window);
  return SDL_GetDisplayBounds(display < 0 ? 0 : display, &screen) == 0 &&
         placement.width < screen.w && placement.height < screen.h;
}

uint32_t FrameRateCap(const LaunchOptions& options) {
  FrameRateFacts facts{};
  facts.hasMaxFps = options.hasMaxFps;
  facts.maxFps = options.maxFps;
  facts.chosenCap = FrameRateCapSetting(settings);
  facts.hostWindow = options.foreignWindow != 0;
  SDL_DisplayMode mode{};
  const int display = SDL_GetWindowDisplayIndex(shell.window);
  if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0) {
    facts.displayHz = static_cast<uint32_t>(mode.refresh_rate);
  }
  return ChooseFrameRateCap(facts);
}

// Whether anything drawn now could be seen: a window of ours shows and the display is on.
bool AnythingToSee() {
  if (!DisplayPoweredOn()) return false;
  for (int i = 0; i < MonitorWindowCount(); ++i) {
    if (WindowShowing(i)) return true;
  }
  return false;
}

// One moment of the scene on every monitor that shows: the first showing window runs the
// frame (which moves the scene on), the others draw the same moment again.
void DrawOnEveryMonitor() {
  const int count = MonitorWindowCount();
  bool ran = false;
  for (int i = 0; i < count; ++i) {
    if (!WindowShowing(i)) continue;
    if (count > 1 && !RetargetGlWindow(MonitorWindowAt(i))) continue;
    if (ran) {
      RedrawFrame();
    } else {
      RunFrame();
      ran = true;
    }
  }
}

void MainLoop(const LaunchOptions& options) {
  FramePacer pacer{};
  const uint32_t cap = FrameRateCap(options);
  SetFrameRateCap(&pacer, cap);
  FpsMeter fps{};
  bool paused = false;
  while (!shell.quitRequested) {
    if (InputOnCoversEndsRun()) {
      shell.quitRequested = true;
      break;
    }
    SDL_Event event;
    if (SDL_PollEvent(&event) != 0) {
      HandleEvent(event, true);
      CheckForeignWindow();
      continue;  // no frame in a pass that handled an event
    }
    CheckFocus();
    if (!AnythingToSee()) {
      // Nothing is drawn for nobody: sleep until an event, or look again in a while for
      // what no event tells (the display's power).
      paused = true;
      if (SDL_WaitEventTimeout(&event, kPausedWaitMs) != 0) HandleEvent(event, true);
      ProbeForeignWindow();
      CheckForeignWindow();
      continue;
    }
    if (paused) {
      // The pause is not animated: the scene goes on from where it stood.
      paused = false;
      ResumeFrameTiming();
      SetFrameRateCap(&pacer, cap);
    }
    const uint64_t now = NowMicroseconds();
    const uint64_t wait = TimeUntilNextFrame(pacer, now);
    if (wait > 0) {
      // Sleep until the next frame is due, but wake for any event.
      SDL_WaitEventTimeout(nullptr, static_cast<int>((wait + 999) / 1000));
      continue;
    }
    // An error about the host's window may have been read while waiting, without an event.
    CheckForeignWindow();
    if (shell.quitRequested) break;
    MarkFrameStart(&pacer, now);
    DrawOnEveryMonitor();
    CheckForeignWindow();
    if ((options.showFps || options.fpsStdout) &&
        MeasureFrame(&fps, NowMicroseconds(), ProcessCpuMicroseconds())) {
      if (options.showFps) UpdateFpsOverlay(fps);
      if (options.fpsStdout) {
        std::printf("yulo: %.1f fps, CPU %.0f%%\n", static_cast<double>(fps.fps),
                    static_cast<double>(fps.cpuPercent));
        std::fflush(stdout);
      }
    }
  }
}

// Releases the renderer, lets the scene shut down, destroys the window (never the foreign
// one itself), shows the cursor again and, for a run that started, saves the settings (a
// run that failed on the way keeps nothing).
void Teardown(bool saveSettings) {
  StopSleepWatch();
  KeepLoadedLibrariesMapped();
  SetFrameOverlay(nullptr);
  ReleaseFpsOverlay();
  ReleaseRenderer();
  scenes.currentScene->Shutdown();
  DestroyMainWindow(shell.window);
  shell.window = nullptr;
  SDL_ShowCursor(SDL_ENABLE);
  if (saveSettings && !SaveSettingsAtExit()) {
    std::fprintf(stderr, "yulo: the settings could not be saved\n");
  }
  // With a foreign window, SDL's shut-down would put Xlib's own error handler back and
  // then read the server's late complaints about the host's window, which may be gone:
  // that handler ends the process with an error. The connections close with the process.
  if (shell.input.foreignWindow == 0) SDL_Quit();
}

}  // namespace

int RunScreensaver(const LaunchOptions& options) {
  BuildSqrtTable();

  const char* display = std::getenv("DISPLAY");
  const auto sayNoDisplay = [display] {
    std::fprintf(stderr,
                 "yulo: no display to draw on (%s%s); --render DIR draws frames into files "
                 "without one\n",
                 Named(display) ? "DISPLAY=" : "DISPLAY is not set", Named(display) ? display : "");
  };
  // With no display named at all, SDL's probing would only add the display libraries'
  // own complaints (about XDG_RUNTIME_DIR, say) before this message.
  if (!Named(display) && !Named(std::getenv("WAYLAND_DISPLAY")) &&
      !Named(std::getenv("SDL_VIDEODRIVER"))) {
    sayNoDisplay();
    return 1;
  }
  // The system's own screen blanking and power saving stay in charge while we run.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "yulo: no display to draw on: %s\n", SDL_GetError());
    return 1;
  }
  if (!OnRealDisplay()) {
    sayNoDisplay();
    SDL_Quit();
    return 1;
  }
  EndAtOnceOnQuitSignals();
  const bool foreign = options.foreignWindow != 0;

  if (!EnterDataFolder()) {
    FatalError("Initialization failed", "The install folder's path is too long.");
  }

  WindowPlacement placement{};
  shell.window = CreateMainWindow(options, &placement);
  if (shell.window == nullptr) {
    SDL_Quit();
    return 1;
  }
  if (options.mode == RunMode::FullScreen && foreign && SmallerThanItsScreen(placement)) {
    // Some desktops' screensaver settings show their preview by running the full-screen
    // command in a small pane of their own: that is a preview, and it stays silent.
    runMode = RunMode::Preview;
  }
  shell.input.ownsInput = !foreign;
  shell.input.quitOnFocusLoss = !foreign && !options.windowed;
  shell.input.foreignWindow = options.foreignWindow;
  shell.quitRequested = false;

  if (options.mode == RunMode::Preview) PreviewWait();

  if (!shell.quitRequested) {
    RendererOptions renderer = GetRendererOptions();
    renderer.fullScreen = placement.fullScreen;
    renderer.preferTrueColor = true;
    renderer.waitForVSync = true;
    renderer.windowWidth = placement.width;
    renderer.windowHeight = placement.height;
    SetRendererOptions(renderer);
    if (!CreateWindowRenderer(shell.window, options.fullResolution)) {
      const int code = foreign ? WaitInBlackWindow() : 1;
      Teardown(false);
      return code;
    }
    if (options.showFps && CreateFpsOverlay()) SetFrameOverlay(DrawFpsOverlay);
    ClearTarget(0x00FFFFFF);
    scenes.blankScene.ShowBlankFrame();
    if (scenes.currentScene->Init() == 0) {
      Teardown(false);
      return 0;
    }
    ShowMainWindow(shell.window);
    StartFrameTiming(options.startMs);
    PassQuitSignalsToLoop();
    // The system going to sleep ends a run of our own window; a host sees to its own.
    if (!foreign) StartSleepWatch();
    MainLoop(options);
  }
  Teardown(true);
  return 0;
}

}  // namespace yulo

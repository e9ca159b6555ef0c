#include "shell/win32/win32_shell.h"

#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "math/scalar.h"
#include "render/d3d8/d3d8_device.h"
#include "render/renderer.h"
#include "resources/loading_error.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"
#include "shell/run_frame.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/win32/resource_ids.h"
#include "shell/window_title.h"
#include "sound/music.h"

namespace yulo {

namespace {

HWND mainWindow = nullptr;  // the one window of class "D3D"; null until created

constexpr int kMaxBlankWindows = 16;  // monitors beyond the primary one
// How often a lost device is given a frame, to find out whether it can be reset.
constexpr uint64_t kLostDeviceRetryUs = 100000;
// The power of the console's display (GUID_CONSOLE_DISPLAY_STATE, Windows 8 and later).
constexpr GUID kConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

struct ShellState {
  HINSTANCE instance = nullptr;
  HWND parentWindow = nullptr;  // the preview area, or null
  bool fullScreen = false;      // our own window covers the primary monitor
  bool quitRequested = false;
  bool previewWaiting = false;
  bool running = false;  // the main loop has started: activation restarts the timing
  int32_t windowX = 0;
  int32_t windowY = 0;
  int32_t windowWidth = 0;
  int32_t windowHeight = 0;
  HWND blankWindows[kMaxBlankWindows] = {};
  int blankWindowCount = 0;
  bool blankWindowsShown = false;
  HPOWERNOTIFY displayNotice = nullptr;  // display power changes, outside a preview
  bool displayOff = false;
  DWORD threadId = 0;  // the thread that runs the windows and the device
};
ShellState shell;

void Quit() {
  shell.quitRequested = true;
}

// Keys and buttons end the run from any of our windows, as the table of MainWindowProc
// says; the scene hears of them only through the main window.
bool IsEndingInput(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
      return true;
    default:
      return false;
  }
}

// >>section black windows over the other monitors
LRESULT CALLBACK BlankWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsEndingInput(message)) {
    Quit();
    return 0;
  }
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(nullptr);
      return TRUE;
    case WM_SYSCOMMAND:
      // The same system commands as the main window's are kept from taking effect.
      if (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_CLOSE ||
          wParam == SC_SCREENSAVE) {
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Covers the monitor unless it is the primary one: with the next cover there is, moved into
// place, else with a new one. data: how many covers are placed so far.
BOOL CALLBACK CoverMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  int* placed = reinterpret_cast<int*>(data);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(monitor, &info) || (info.dwFlags & MONITORINFOF_PRIMARY) != 0) return TRUE;
  if (*placed >= kMaxBlankWindows) return FALSE;
  const RECT& r = info.rcMonitor;
  if (*placed < shell.blankWindowCount) {
    SetWindowPos(shell.blankWindows[*placed], HWND_TOPMOST, r.left, r.top, r.right - r.left,
                 r.bottom - r.top, SWP_NOACTIVATE);
  } else {
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kBlankWindowClass, windowTitle,
                                  WS_POPUP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                  nullptr, nullptr, shell.instance, nullptr);
    if (window == nullptr) return TRUE;
    shell.blankWindows[shell.blankWindowCount++] = window;
  }
  ++*placed;
  return TRUE;
}

// Puts a cover on every monitor but the primary one, where the monitors are now: the switch
// to the full-screen mode, or a monitor plugged in or out, moves the others on the desktop.
void PlaceBlankWindows() {
  int placed = 0;
  EnumDisplayMonitors(nullptr, nullptr, CoverMonitor, reinterpret_cast<LPARAM>(&placed));
  for (int i = 0; i < shell.blankWindowCount; ++i) {
    if (i >= placed) {
      ShowWindow(shell.blankWindows[i], SW_HIDE);
    } else if (shell.blankWindowsShown) {
      ShowWindow(shell.blankWindows[i], SW_SHOWNOACTIVATE);
    }
  }
}

// Full screen takes the primary monitor; the others are covered in black so that no
// desktop stays visible.
void CreateBlankWindows() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = BlankWindowProc;
  windowClass.hInstance = shell.instance;
  windowClass.hCursor = nullptr;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kBlankWindowClass;
  if (RegisterClassExA(&windowClass) == 0) return;
  PlaceBlankWindows();
}

void ShowBlankWindows() {
  shell.blankWindowsShown = true;
  for (int i = 0; i < shell.blankWindowCount; ++i) {
    ShowWindow(shell.blankWindows[i], SW_SHOWNOACTIVATE);
    UpdateWindow(shell.blankWindows[i]);
  }
}

void DestroyBlankWindows() {
  for (int i = 0; i < shell.blankWindowCount; ++i) DestroyWindow(shell.blankWindows[i]);
  shell.blankWindowCount = 0;
  shell.blankWindowsShown = false;
  UnregisterClassA(kBlankWindowClass, shell.instance);
}

// >>section main window
bool CreateMainWindow(const LaunchOptions& options) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = shell.instance;
  windowClass.hIcon = LoadIconA(shell.instance, MAKEINTRESOURCEA(IDI_YULO));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kMainWindowClass;
  if (RegisterClassExA(&windowClass) == 0) return false;

  DWORD exStyle = 0;
  DWORD style = 0;
  if (options.mode == RunMode::Preview) {
    style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  } else if (options.windowed) {
    style = WS_OVERLAPPEDWINDOW;
  } else {
    exStyle = WS_EX_TOPMOST | WS_EX_APPWINDOW;
    style = WS_POPUP;
    ShowCursor(FALSE);
  }
  mainWindow = CreateWindowExA(exStyle, kMainWindowClass, windowTitle, style, shell.windowX,
                               shell.windowY, shell.windowWidth, shell.windowHeight,
                               shell.parentWindow, nullptr, shell.instance, nullptr);
  return mainWindow != nullptr;
}

// Window geometry per run mode; false when the preview area cannot be measured.
bool ComputeGeometry(const LaunchOptions& options) {
  if (options.mode == RunMode::Preview) {
    RECT client{};
    if (!GetClientRect(shell.parentWindow, &client)) return false;
    AdjustWindowRect(&client, WS_CHILD | WS_VISIBLE, FALSE);
    shell.windowX = client.left;
    shell.windowY = client.top;
    shell.windowWidth = client.right - client.left;
    shell.windowHeight = client.bottom - client.top;
    shell.fullScreen = false;
    return true;
  }
  if (options.windowed) {
    RECT frame = {0, 0, options.width, options.height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    shell.windowX = CW_USEDEFAULT;
    shell.windowY = CW_USEDEFAULT;
    shell.windowWidth = frame.right - frame.left;
    shell.windowHeight = frame.bottom - frame.top;
    shell.fullScreen = false;
    return true;
  }
  shell.windowX = 0;
  shell.windowY = 0;
  shell.windowWidth = kDefaultWindowWidth;
  shell.windowHeight = kDefaultWindowHeight;
  shell.fullScreen = true;
  return true;
}

// Waits about half a second before the renderer starts: the preview area settles first.
// The window procedure starts the timer on WM_USER and ends the wait on its first tick.
void PreviewWait() {
  shell.previewWaiting = true;
  PostMessageA(mainWindow, WM_USER, 0, 0);
  while (shell.previewWaiting) {
    MSG message{};
    const BOOL got = GetMessageA(&message, mainWindow, 0, 0);
    if (got == 0 || got == -1) {
      // A WM_QUIT, or the window is gone: the loop below ends at once.
      PostQuitMessage(0);
      Quit();
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

uint64_t NowMicroseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  const uint64_t hz = static_cast<uint64_t>(frequency.QuadPart);
  return ticks / hz * 1000000u + ticks % hz * 1000000u / hz;
}

// The frame-rate cap: full screen waits for the vertical retrace at every present; a window
// does not (the only interval a windowed device takes is "immediately"), so it is held to
// the display's rate, and a preview to the pace hosts give their programs.
uint32_t FrameRateCap(const LaunchOptions& options) {
  FrameRateFacts facts{};
  facts.hasMaxFps = options.hasMaxFps;
  facts.maxFps = options.maxFps;
  facts.chosenCap = FrameRateCapSetting(settings);
  facts.hostWindow = shell.parentWindow != nullptr;
  facts.retracePaced = shell.fullScreen;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  // 0 and 1 stand for the hardware's default rate, which the display does not name.
  if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1) {
    facts.displayHz = mode.dmDisplayFrequency;
  }
  return ChooseFrameRateCap(facts);
}

// One message per pass; a frame only when the queue is empty. A frame-rate cap sleeps until
// the next frame is due, waking for any message; so does a lost device between its frames,
// which show nothing until it can be reset.
void MainLoop(const LaunchOptions& options) {
  FramePacer pacer{};
  const uint32_t cap = FrameRateCap(options);
  SetFrameRateCap(&pacer, cap);
  // The waits below are whole milliseconds: without this the system's tick of about 16 ms
  // would round them up and a cap of 30 could give 21 frames a second.
  const bool fineTimer = cap != 0 && timeBeginPeriod(1) == TIMERR_NOERROR;
  FpsCounter fps{};
  uint64_t lostRetryUs = 0;
  bool paused = false;  // frames stopped while the display is off
  MSG message{};
  while (!shell.quitRequested) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        Quit();
      } else {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      continue;
    }
    if (shell.displayOff) {
      // Nothing drawn for nobody: the next message (the display back on, or input) wakes
      // the loop, and the scene goes on from where it stood.
      paused = true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
      continue;
    }
    if (paused) {
      paused = false;
      ResumeFrameTiming();
      SetFrameRateCap(&pacer, cap);
    }
    const uint64_t now = NowMicroseconds();
    uint64_t wait = TimeUntilNextFrame(pacer, now);
    if (DeviceLost() && now < lostRetryUs && lostRetryUs - now > wait) wait = lostRetryUs - now;
    if (wait > 0) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>((wait + 999) / 1000),
                                QS_ALLINPUT);
      continue;
    }
    // A preview area that vanished with its program, killed outright, sends nothing: the
    // run ends once the window is gone instead of drawing into nothing for ever.
    if (shell.parentWindow != nullptr && !IsWindow(shell.parentWindow)) {
      Quit();
      continue;
    }
    MarkFrameStart(&pacer, now);
    RunFrame();
    if (DeviceLost()) lostRetryUs = NowMicroseconds() + kLostDeviceRetryUs;
    float rate = 0.0f;
    if (options.showFps && CountFrame(&fps, NowMicroseconds(), &rate)) {
      std::printf("yulo: %.1f fps\n", static_cast<double>(rate));
      std::fflush(stdout);
    }
  }
  if (fineTimer) timeEndPeriod(1);
}

// Releases the renderer, lets the scene shut down, destroys the windows and unregisters
// the class, in this order.
void Teardown() {
  if (shell.displayNotice != nullptr) UnregisterPowerSettingNotification(shell.displayNotice);
  shell.displayNotice = nullptr;
  ReleaseRenderer();
  scenes.currentScene->Shutdown();
  if (mainWindow != nullptr) DestroyWindow(mainWindow);
  mainWindow = nullptr;
  DestroyBlankWindows();
  UnregisterClassA(kMainWindowClass, shell.instance);
}

void PlaceWindowForReset(void* window, int32_t width, int32_t height) {
  SetWindowPos(static_cast<HWND>(window), HWND_TOPMOST, 0, 0, width, height, SWP_SHOWWINDOW);
}

}  // namespace

// >>section window procedure
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      if (window == mainWindow) mainWindow = nullptr;
      Quit();
      break;
    case WM_QUIT:
      Quit();
      break;
    case WM_SIZE:
      return 0;
    case WM_DISPLAYCHANGE:
      if (shell.fullScreen && window == mainWindow) PlaceBlankWindows();
      break;
    case WM_ERASEBKGND:
      return 1;  // never erased: the renderer covers the window
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && shell.running) ResumeFrameTiming();
      return 0;
    case WM_ACTIVATEAPP:
      if (wParam == FALSE) Quit();
      break;
    case WM_KEYDOWN:
      Quit();
      return 0;
    case WM_KEYUP:
      return 0;
    case WM_SYSCOMMAND:
      // A --windowed run (full-screen mode in a normal window) keeps its close box.
      if (runMode == RunMode::FullScreen && shell.fullScreen &&
          (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_CLOSE ||
           wParam == SC_SCREENSAVE)) {
        return 0;
      }
      break;
    case WM_SETCURSOR:
      // Full screen keeps the pointer hidden wherever the system would set it.
      if (shell.fullScreen) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_TIMER:
      shell.previewWaiting = false;
      KillTimer(window, kPreviewTimer);
      break;
    case WM_USER:
      SetTimer(window, kPreviewTimer, kPreviewWaitMs, nullptr);
      break;
    case WM_MOUSEMOVE:
      scenes.currentScene->OnMouseMove();
      return 0;
    case WM_LBUTTONDOWN:
      scenes.currentScene->OnLeftButtonDown();
      return 0;
    case WM_LBUTTONUP:
      scenes.currentScene->OnLeftButtonUp();
      Quit();
      return 0;
    case WM_RBUTTONDOWN:
      scenes.currentScene->OnRightButtonDown();
      Quit();
      return 0;
    case WM_RBUTTONUP:
      scenes.currentScene->OnRightButtonUp();
      Quit();
      return 0;
    case WM_MBUTTONDOWN:
      scenes.currentScene->OnMiddleButtonDown();
      Quit();
      return 0;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMSUSPEND) Quit();
      if (wParam == PBT_POWERSETTINGCHANGE && lParam != 0) {
        const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
        DWORD state = 1;
        if (IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) &&
            setting->DataLength >= sizeof state) {
          std::memcpy(&state, setting->Data, sizeof state);
          // Off (0); on (1) and dimmed (2) are still seen.
          shell.displayOff = state == 0;
          HoldMusic(shell.displayOff);
        }
        return TRUE;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void ShowWin32MessageBox(const char* caption, const char* text) {
  // A box raised over a full-screen device (a data file that can't be loaded) could stay
  // out of sight behind the exclusive display, with the pointer hidden: the desktop's mode,
  // the desktop and the pointer come back first. The run ends after the box anyway.
  if (shell.fullScreen && GetDevice() != nullptr && GetCurrentThreadId() == shell.threadId) {
    ReleaseRenderer();
    if (mainWindow != nullptr) ShowWindow(mainWindow, SW_HIDE);
    for (int i = 0; i < shell.blankWindowCount; ++i) ShowWindow(shell.blankWindows[i], SW_HIDE);
    ShowCursor(TRUE);
  }
  // A data file that can't be loaded carries the error icon; the other messages are plain.
  const UINT icon = std::strcmp(caption, kLoadingErrorCaption) == 0 ? MB_ICONERROR : 0;
  MessageBoxA(nullptr, text, caption, MB_OK | icon);
}

int RunScreensaver(HINSTANCE instance, const LaunchOptions& options) {
  shell = ShellState{};
  shell.instance = instance;
  shell.threadId = GetCurrentThreadId();
  shell.parentWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(options.foreignWindow));

  BuildSqrtTable();
  if (!ComputeGeometry(options)) return 0;
  if (!EnterDataFolder()) {
    FatalError("Initialization failed", "The install folder's path is too long.");
  }
  if (!CreateMainWindow(options)) {
    UnregisterClassA(kMainWindowClass, instance);
    if (shell.fullScreen) ShowCursor(TRUE);
    return 0;
  }
  if (shell.fullScreen) CreateBlankWindows();
  if (options.mode == RunMode::Preview) {
    PreviewWait();
  } else {
    shell.displayNotice = RegisterPowerSettingNotification(mainWindow, &kConsoleDisplayState,
                                                           DEVICE_NOTIFY_WINDOW_HANDLE);
  }

  if (!shell.quitRequested) {
    RendererOptions renderer = GetRendererOptions();
    renderer.fullScreen = shell.fullScreen;
    renderer.preferTrueColor = true;
    renderer.waitForVSync = true;
    // The size the renderer asks for: the mode's in full screen, else the client area's.
    renderer.windowWidth = options.windowed ? options.width : shell.windowWidth;
    renderer.windowHeight = options.windowed ? options.height : shell.windowHeight;
    SetRendererOptions(renderer);
    SetWindowPlacementHook(PlaceWindowForReset);
    if (!CreateRenderer(CreateD3d8Adapter(D3d8AdapterOptions{}), mainWindow)) {
      Teardown();
      ShowCursor(TRUE);
      return 0;
    }
    ClearTarget(0x00FFFFFF);
    scenes.blankScene.ShowBlankFrame();
    if (scenes.currentScene->Init() == 0) {
      Teardown();
      ShowCursor(TRUE);
      return 0;
    }
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    ShowBlankWindows();
    StartFrameTiming(options.startMs);
    shell.running = true;
    MainLoop(options);
  }
  Teardown();
  ShowCursor(TRUE);
  if (!SaveSettingsAtExit()) std::fprintf(stderr, "yulo: the settings could not be saved\n");
  return 0;
}

}  // namespace yulo

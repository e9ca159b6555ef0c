#include "shell/sdl/sdl_window.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "render/gl/gl_device.h"
#include "render/renderer.h"
#include "shell/window_title.h"

// Last: the X11 headers define macros (None, Bool, Status) that other headers use as names.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>

namespace yulo {

namespace {

constexpr uint32_t kPowerCheckMs = 1000;  // how often the display's power state is asked

struct MonitorWindow {
  SDL_Window* window;
  SDL_Rect area;  // the monitor it covers (full-screen runs)
  bool hidden;    // unmapped or minimised
  bool obscured;  // fully covered by other windows
};

struct WindowState {
  bool foreign = false;
  bool ownFullScreen = false;
  bool sdlDisplays = true;  // full screen per SDL display; else borderless over Xinerama heads
  unsigned long foreignId = 0;
  volatile bool foreignLost = false;
  XErrorHandler previousHandler = nullptr;
  MonitorWindow windows[kMaxMonitors] = {};
  int windowCount = 0;
  Display* query = nullptr;          // a connection of our own for Xinerama and DPMS questions
  Window covers[kMaxMonitors] = {};  // black, on the further X screens (made on query)
  int coverCount = 0;
  bool dpms = false;  // the server can tell the display's power state
  bool poweredOn = true;
  uint32_t lastPowerCheck = 0;
};

WindowState state;

// Errors about the foreign window mean it is gone; they must end the run, not the
// process (Xlib's own handler exits on any error).
int OnXError(Display* display, XErrorEvent* error) {
  // Any complaint about the host's window (core or from the GL extension) means it is
  // going or gone; so does anything after that, while the run winds down.
  if (state.foreignId != 0 && (error->resourceid == state.foreignId || state.foreignLost)) {
    state.foreignLost = true;
    return 0;
  }
  return state.previousHandler != nullptr ? state.previousHandler(display, error) : 0;
}

// Whether the window exists, and its size, asked on a connection of our own so that a
// wrong id is reported before SDL or the driver trip over it.
bool QueryForeignWindow(unsigned long id, int* width, int* height) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XWindowAttributes attributes{};
  const Status found = XGetWindowAttributes(display, id, &attributes);
  XSync(display, False);
  XCloseDisplay(display);
  if (found == 0 || state.foreignLost) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

// Asks the X server to tell us when the foreign window is destroyed or resized; the other
// events its host has selected stay as they are.
void WatchForeignWindow(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, info.info.x11.window, &attributes) != 0) {
    XSelectInput(display, info.info.x11.window, attributes.your_event_mask | StructureNotifyMask);
  }
  XSync(display, False);
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

// The program's icon: a six-armed snowflake on a night-blue square, drawn here so that no
// image file is needed before the data folder is known.
void SetProgramIcon(SDL_Window* window) {
  constexpr int kSize = 32;
  static uint32_t pixels[kSize * kSize];
  const float centre = (kSize - 1) * 0.5f;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const float dx = static_cast<float>(x) - centre;
      const float dy = static_cast<float>(y) - centre;
      const float r = std::sqrt(dx * dx + dy * dy);
      // Distance to the nearest arm: arms every 60 degrees from the centre.
      const float angle = std::atan2(dy, dx);
      const float sector = 3.14159265f / 3.0f;
      const float offset = angle - sector * std::round(angle / sector);
      const float armDistance = std::fabs(r * std::sin(offset));
      const bool arm = r < 14.0f && armDistance < 1.1f;
      // A pair of short branches across each arm at two thirds of its length.
      const float along = r * std::cos(offset);
      const bool branch = std::fabs(along - 9.0f) < 1.0f && armDistance < 4.0f;
      uint32_t colour = 0xFF0A1000u | (0x40u + static_cast<uint32_t>(y) * 3u);  // night blue
      if (arm || branch || r < 2.0f) colour = 0xFFF4F8FFu;
      pixels[y * kSize + x] = colour;
    }
  }
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels, kSize, kSize, 32, kSize * 4,
                                                         SDL_PIXELFORMAT_ARGB8888);
  if (icon == nullptr) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

// Before a device reset: our own full-screen window back over the whole display, in front.
void PlaceWindowForReset(void* window, int32_t /*width*/, int32_t /*height*/) {
  if (!state.ownFullScreen || window == nullptr) return;
  SDL_Window* sdlWindow = static_cast<SDL_Window*>(window);
  SDL_ShowWindow(sdlWindow);
  SDL_RaiseWindow(sdlWindow);
}

SDL_Window* CreateForeignWindow(unsigned long id, WindowPlacement* placement) {
  state.foreign = true;
  state.foreignId = id;
  state.foreignLost = false;
  state.previousHandler = XSetErrorHandler(OnXError);
  int width = 0;
  int height = 0;
  if (!QueryForeignWindow(id, &width, &height)) {
    std::fprintf(stderr, "yulo: there is no window 0x%lx to draw into\n", id);
    return nullptr;
  }
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  SDL_Window* window = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
  if (window == nullptr) {
    std::fprintf(stderr, "yulo: can't draw into window 0x%lx: %s\n", id, SDL_GetError());
    return nullptr;
  }
  WatchForeignWindow(window);
  SDL_GetWindowSize(window, &width, &height);
  *placement = WindowPlacement{width, height, false};
  return window;
}

// Tells the window's visibility changes to us (on SDL's connection: SDL reads the events).
void WatchVisibility(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) != 0) {
    XSelectInput(info.info.x11.display, info.info.x11.window,
                 attributes.your_event_mask | VisibilityChangeMask);
  }
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

// The monitors to cover: SDL's displays, or the Xinerama heads when the server shows more
// of them than SDL does (SDL follows RandR only). Monitors showing the same area (clones)
// count once. At least one.
int QueryMonitors(SDL_Rect* areas, int capacity, bool* sdlDisplays) {
  int count = 0;
  const int displays = SDL_GetNumVideoDisplays();
  for (int i = 0; i < displays && count < capacity; ++i) {
    SDL_Rect area{};
    if (SDL_GetDisplayBounds(i, &area) != 0 || area.w <= 0 || area.h <= 0) continue;
    // SDL puts a window on the first display that holds its centre. A display whose
    // centre an earlier one holds (a clone; another X screen, whose area starts at 0, 0
    // too) can't be given a window of its own: one would only cover the earlier display
    // a second time.
    const SDL_Point centre{area.x + area.w / 2, area.y + area.h / 2};
    bool reached = false;
    for (int j = 0; j < count; ++j) reached = reached || SDL_PointInRect(&centre, &areas[j]);
    if (!reached) areas[count++] = area;
  }
  *sdlDisplays = true;
  int heads = 0;
  XineramaScreenInfo* screens = state.query != nullptr && XineramaIsActive(state.query)
                                    ? XineramaQueryScreens(state.query, &heads)
                                    : nullptr;
  if (screens != nullptr && heads > count) {
    count = 0;
    for (int i = 0; i < heads && count < capacity; ++i) {
      const SDL_Rect area{screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height};
      bool seen = false;
      for (int j = 0; j < count; ++j) seen = seen || SDL_RectEquals(&areas[j], &area);
      if (!seen && area.w > 0 && area.h > 0) areas[count++] = area;
    }
    *sdlDisplays = false;
  }
  if (screens != nullptr) XFree(screens);
  if (count == 0) {
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) return 0;
    areas[0] = SDL_Rect{0, 0, desktop.w, desktop.h};
    count = 1;
  }
  return count;
}

// SDL_CreateWindow for the OpenGL device, on an X server without the visual it prefers too.
SDL_Window* CreateGlWindow(int x, int y, int w, int h, Uint32 flags) {
  SDL_Window* window = SDL_CreateWindow(windowTitle, x, y, w, h, flags);
  if (window == nullptr && RelaxGlWindowAttributes()) {
    window = SDL_CreateWindow(windowTitle, x, y, w, h, flags);
  }
  return window;
}

// A full-screen window over a monitor's area (of QueryMonitors), hidden until shown.
SDL_Window* CreateMonitorWindow(const SDL_Rect& area) {
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (state.sdlDisplays) {
    // Full screen on the display that holds the window's centre.
    flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  } else {
    flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR;
  }
  SDL_Window* window = CreateGlWindow(area.x, area.y, area.w, area.h, flags);
  if (window == nullptr) return nullptr;
  SetProgramIcon(window);
  WatchVisibility(window);
  return window;
}

// The further screens of an X server with several (each its own root window, as opposed to
// the monitors of one screen): no window of SDL's can reach them, so full-screen runs cover
// each with a black window above everything, without a cursor, that ends the run on a key
// or a click as the scene's windows do. Made unmapped; shown with the scene's windows.
void CreateCoverWindows() {
  Display* display = state.query;
  if (display == nullptr || ScreenCount(display) < 2) return;
  for (int screen = 0; screen < ScreenCount(display) && state.coverCount < kMaxMonitors; ++screen) {
    if (screen == DefaultScreen(display)) continue;
    const Window root = RootWindow(display, screen);
    char nothing = 0;
    const Pixmap blank = XCreateBitmapFromData(display, root, &nothing, 1, 1);
    XColor black{};
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = KeyPressMask | ButtonPressMask | ButtonReleaseMask;
    attributes.cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    state.covers[state.coverCount++] = XCreateWindow(
        display, root, 0, 0, static_cast<unsigned>(DisplayWidth(display, screen)),
        static_cast<unsigned>(DisplayHeight(display, screen)), 0, CopyFromParent, InputOutput,
        CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask | CWCursor, &attributes);
    XFreeCursor(display, attributes.cursor);
    XFreePixmap(display, blank);
  }
}

MonitorWindow* Find(Uint32 windowId) {
  for (int i = 0; i < state.windowCount; ++i) {
    if (SDL_GetWindowID(state.windows[i].window) == windowId) return &state.windows[i];
  }
  return nullptr;
}

}  // namespace

SDL_Window* CreateMainWindow(const LaunchOptions& options, WindowPlacement* placement) {
  state = WindowState{};
  PrepareGlWindowAttributes();  // the window's visual must suit the OpenGL device
  state.query = XOpenDisplay(nullptr);
  int eventBase = 0;
  int errorBase = 0;
  state.dpms = state.query != nullptr && DPMSQueryExtension(state.query, &eventBase, &errorBase);
  SDL_Window* window = nullptr;
  if (options.foreignWindow != 0) {
    window = CreateForeignWindow(options.foreignWindow, placement);
    if (window != nullptr) WatchVisibility(window);
  } else if (!options.windowed) {
    SDL_Rect areas[kMaxMonitors];
    const int count = QueryMonitors(areas, kMaxMonitors, &state.sdlDisplays);
    state.ownFullScreen = true;
    SDL_ShowCursor(SDL_DISABLE);
    for (int i = 0; i < count; ++i) {
      SDL_Window* w = CreateMonitorWindow(areas[i]);
      if (w == nullptr) {
        std::fprintf(stderr, "yulo: can't create a window for monitor %d: %s\n", i + 1,
                     SDL_GetError());
        if (i == 0) return nullptr;
        continue;
      }
      state.windows[state.windowCount++] = MonitorWindow{w, areas[i], false, false};
    }
    window = state.windows[0].window;
    *placement = WindowPlacement{areas[0].w, areas[0].h, true};
    CreateCoverWindows();
    return window;
  } else {
    window = CreateGlWindow(SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, options.width,
                            options.height,
                            SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
      std::fprintf(stderr, "yulo: can't create the window: %s\n", SDL_GetError());
      return nullptr;
    }
    SetProgramIcon(window);
    WatchVisibility(window);
    *placement = WindowPlacement{options.width, options.height, false};
  }
  if (window != nullptr)
    state.windows[state.windowCount++] = MonitorWindow{window, {}, false, false};
  return window;
}

int MonitorWindowCount() {
  return state.windowCount;
}

SDL_Window* MonitorWindowAt(int index) {
  return index >= 0 && index < state.windowCount ? state.windows[index].window : nullptr;
}

bool WindowShowing(int index) {
  return index >= 0 && index < state.windowCount && !state.windows[index].hidden &&
         !state.windows[index].obscured;
}

bool OwnsKeyboardFocus() {
  SDL_Window* focus = SDL_GetKeyboardFocus();
  return focus != nullptr && Find(SDL_GetWindowID(focus)) != nullptr;
}

void NoteWindowVisibility(const SDL_Event& event) {
  if (event.type == SDL_WINDOWEVENT) {
    MonitorWindow* w = Find(event.window.windowID);
    if (w == nullptr) return;
    switch (event.window.event) {
      case SDL_WINDOWEVENT_HIDDEN:
      case SDL_WINDOWEVENT_MINIMIZED:
        w->hidden = true;
        break;
      case SDL_WINDOWEVENT_SHOWN:
      case SDL_WINDOWEVENT_RESTORED:
      case SDL_WINDOWEVENT_MAXIMIZED:
        w->hidden = false;
        break;
      default:
        break;
    }
    return;
  }
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr ||
      event.syswm.msg->subsystem != SDL_SYSWM_X11) {
    return;
  }
  const XEvent& x = event.syswm.msg->msg.x11.event;
  if (x.type != VisibilityNotify) return;
  for (int i = 0; i < state.windowCount; ++i) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(state.windows[i].window, &info) &&
        info.info.x11.window == x.xvisibility.window) {
      state.windows[i].obscured = x.xvisibility.state == VisibilityFullyObscured;
    }
  }
}

bool DisplayPoweredOn() {
  if (!state.dpms) return true;
  const uint32_t now = SDL_GetTicks();
  if (state.lastPowerCheck != 0 && now - state.lastPowerCheck < kPowerCheckMs) {
    return state.poweredOn;
  }
  state.lastPowerCheck = now != 0 ? now : 1;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  state.poweredOn = DPMSInfo(state.query, &level, &enabled) == 0 || !enabled || level == DPMSModeOn;
  return state.poweredOn;
}

bool FollowMonitors() {
  if (!state.ownFullScreen) return false;
  SDL_Rect areas[kMaxMonitors];
  bool sdlDisplays = true;
  const int count = QueryMonitors(areas, kMaxMonitors, &sdlDisplays);
  if (count == 0) return false;
  bool changed = false;
  // The first window stays: the device draws through its context.
  while (state.windowCount > count && state.windowCount > 1) {
    SDL_DestroyWindow(state.windows[--state.windowCount].window);
    changed = true;
  }
  for (int i = 0; i < state.windowCount; ++i) {
    MonitorWindow& w = state.windows[i];
    if (SDL_RectEquals(&w.area, &areas[i])) continue;
    w.area = areas[i];
    if (state.sdlDisplays) {
      SDL_SetWindowFullscreen(w.window, 0);
      SDL_SetWindowPosition(w.window, areas[i].x, areas[i].y);
      SDL_SetWindowSize(w.window, areas[i].w, areas[i].h);
      SDL_SetWindowFullscreen(w.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
      SDL_SetWindowPosition(w.window, areas[i].x, areas[i].y);
      SDL_SetWindowSize(w.window, areas[i].w, areas[i].h);
    }
    changed = true;
  }
  for (int i = state.windowCount; i < count; ++i) {
    SDL_Window* window = CreateMonitorWindow(areas[i]);
    if (window == nullptr) break;
    state.windows[state.windowCount++] = MonitorWindow{window, areas[i], false, false};
    SDL_ShowWindow(window);
    changed = true;
  }
  return changed;
}

void ShowMainWindow(SDL_Window* window) {
  if (state.foreign) return;
  // The further monitors first, so that the main window ends up with the focus.
  for (int i = 1; i < state.windowCount; ++i) SDL_ShowWindow(state.windows[i].window);
  if (state.coverCount > 0) {
    for (int i = 0; i < state.coverCount; ++i) XMapRaised(state.query, state.covers[i]);
    XFlush(state.query);
  }
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
}

void DestroyMainWindow(SDL_Window* window) {
  // The error handler stays: errors about the gone window can still arrive as late as
  // the display connection's close.
  for (int i = state.windowCount - 1; i >= 1; --i) SDL_DestroyWindow(state.windows[i].window);
  state.windowCount = 0;
  if (window != nullptr) SDL_DestroyWindow(window);
  if (state.query != nullptr) XCloseDisplay(state.query);  // the covers go with it
  state.query = nullptr;
  state.coverCount = 0;
  state.dpms = false;
}

void PaintWindowBlack(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, info.info.x11.window, &attributes) == 0) return;
  // The server repaints the background itself on every exposure: nothing to draw later.
  XSetWindowBackground(display, info.info.x11.window, BlackPixelOfScreen(attributes.screen));
  XClearWindow(display, info.info.x11.window);
  XFlush(display);
}

bool InputOnCoversEndsRun() {
  if (state.coverCount == 0) return false;
  bool ends = false;
  while (XPending(state.query) > 0) {
    XEvent event;
    XNextEvent(state.query, &event);
    if (event.type == KeyPress) {
      // As on the scene's windows: Alt, keys held with Alt and F10 are the desktop's.
      const KeySym key = XLookupKeysym(&event.xkey, 0);
      ends = ends || ((event.xkey.state & Mod1Mask) == 0 && key != XK_Alt_L && key != XK_Alt_R &&
                      key != XK_F10);
    } else if (event.type == ButtonPress) {
      ends = ends || event.xbutton.button == Button2 || event.xbutton.button == Button3;
    } else if (event.type == ButtonRelease) {
      ends = ends || event.xbutton.button == Button1;
    }
  }
  return ends;
}

bool ForeignWindowLost() {
  return state.foreignLost;
}

bool ProbeForeignWindow() {
  if (state.foreignId == 0 || state.foreignLost || state.windowCount == 0) {
    return state.foreignLost;
  }
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(state.windows[0].window, &info) || info.subsystem != SDL_SYSWM_X11) {
    return state.foreignLost;
  }
  // A destroyed window answers with an error, which the handler above records too.
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(info.info.x11.display, state.foreignId, &attributes) == 0) {
    state.foreignLost = true;
  }
  XSync(info.info.x11.display, False);
  return state.foreignLost;
}

bool CreateWindowRenderer(SDL_Window* window, bool fullResolution) {
  GlAdapterOptions adapter;
  adapter.headless = false;
  adapter.fullResolution = fullResolution;
  adapter.keep4by3 = true;  // the projection's aspect is fixed: pillarbox
  SetWindowPlacementHook(PlaceWindowForReset);
  return CreateRenderer(CreateGlAdapter(adapter), window);
}

void NoteWindowResized(SDL_Window* window) {
  int width = 0;
  int height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  if (width > 0 && height > 0) {
    RendererOptions renderer = GetRendererOptions();
    renderer.windowWidth = width;
    renderer.windowHeight = height;
    SetRendererOptions(renderer);
  }
}

}  // namespace yulo

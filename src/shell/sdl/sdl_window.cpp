#include "shell/sdl/sdl_window.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "render/gl/gl_device.h"
#include "render/renderer.h"

// Last: the X11 headers define macros (None, Bool, Status) that other headers use as names.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace yulo {

namespace {

struct WindowState {
  bool foreign = false;
  bool ownFullScreen = false;
  unsigned long foreignId = 0;
  volatile bool foreignLost = false;
  XErrorHandler previousHandler = nullptr;
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

}  // namespace

SDL_Window* CreateMainWindow(const LaunchOptions& options, WindowPlacement* placement) {
  state = WindowState{};
  PrepareGlWindowAttributes();  // the window's visual must suit the OpenGL device
  if (options.foreignWindow != 0) return CreateForeignWindow(options.foreignWindow, placement);

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int x = SDL_WINDOWPOS_CENTERED;
  int y = SDL_WINDOWPOS_CENTERED;
  int width = options.width;
  int height = options.height;
  if (!options.windowed) {
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
      std::fprintf(stderr, "yulo: no display mode: %s\n", SDL_GetError());
      return nullptr;
    }
    width = desktop.w;
    height = desktop.h;
    x = 0;
    y = 0;
    flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    state.ownFullScreen = true;
    SDL_ShowCursor(SDL_DISABLE);
  } else {
    flags |= SDL_WINDOW_RESIZABLE;
  }
  SDL_Window* window = SDL_CreateWindow(kMainWindowTitle, x, y, width, height, flags);
  if (window == nullptr) {
    std::fprintf(stderr, "yulo: can't create the window: %s\n", SDL_GetError());
    return nullptr;
  }
  SetProgramIcon(window);
  *placement = WindowPlacement{width, height, state.ownFullScreen};
  return window;
}

void ShowMainWindow(SDL_Window* window) {
  if (state.foreign) return;
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
}

void DestroyMainWindow(SDL_Window* window) {
  // The error handler stays: errors about the gone window can still arrive as late as
  // the display connection's close.
  if (window != nullptr) SDL_DestroyWindow(window);
}

bool ForeignWindowLost() {
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
    rendererOptions.windowWidth = width;
    rendererOptions.windowHeight = height;
  }
}

}  // namespace yulo

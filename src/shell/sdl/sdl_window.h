// The main window on SDL2 and X11: created, shown, watched and destroyed, and the renderer
// created on it.
#pragma once

#include <SDL.h>

#include "shell/options.h"

namespace yulo {

inline constexpr char kMainWindowTitle[] = "Yulo Screensaver";

// Size of the drawing area in pixels, and whether it covers the whole display.
struct WindowPlacement {
  int width;
  int height;
  bool fullScreen;
};

// Our own window (hidden until ShowMainWindow): the display's full screen at its native
// resolution with the cursor hidden, or with options.windowed a normal resizable window of
// options' size. With options.foreignWindow, that X11 window instead, which must exist;
// its destruction is watched from then on. nullptr, said on stderr, on failure.
SDL_Window* CreateMainWindow(const LaunchOptions& options, WindowPlacement* placement);

// Shows and raises our own window once the scene has loaded; a foreign window is left alone.
void ShowMainWindow(SDL_Window* window);

// Destroys our own window; of a foreign one only SDL's record (the window is its host's).
void DestroyMainWindow(SDL_Window* window);

// True once the X server has reported the foreign window gone.
bool ForeignWindowLost();

// Follows a new size of the drawing area.
void NoteWindowResized(SDL_Window* window);

// CreateRenderer on the window with the OpenGL device, the presentation synchronised with
// the vertical retrace. A software OpenGL renderer draws the scene at most 800 x 600 unless
// fullResolution. False when no device could be made (the renderer has said why).
bool CreateWindowRenderer(SDL_Window* window, bool fullResolution);

}  // namespace yulo

// The main window on SDL2 and X11: created, shown, watched and destroyed, and the renderer
// created on it.
#pragma once

#include <SDL.h>

#include "shell/options.h"

namespace yulo {

inline constexpr int kMaxMonitors = 8;  // full-screen windows of one run

// Size of the drawing area in pixels, and whether it covers the whole display.
struct WindowPlacement {
  int width;
  int height;
  bool fullScreen;
};

// Our own window (hidden until ShowMainWindow): full screen, one window per monitor at its
// native resolution with the cursor hidden (the first is returned, the others are
// MonitorWindowAt 1..) and a black one over each further screen of the X server, or with
// options.windowed a normal resizable window of options' size. With options.foreignWindow,
// that X11 window instead, which must exist; its destruction is watched from then on.
// nullptr, said on stderr, on failure.
SDL_Window* CreateMainWindow(const LaunchOptions& options, WindowPlacement* placement);

// The windows of the run (the main window is index 0); each shows the same picture.
int MonitorWindowCount();
SDL_Window* MonitorWindowAt(int index);

// After SDL reported displays added or removed: one full-screen window per monitor again
// (the main window always stays). True when a window was added, moved or closed.
bool FollowMonitors();

// Follows window events (shown, hidden, minimised, fully covered); call for every event.
void NoteWindowVisibility(const SDL_Event& event);
// Whether window index can be seen at all: mapped, not minimised, not fully covered.
bool WindowShowing(int index);
// False while the display is powered down (DPMS standby, suspend or off); asked of the
// server at most once a second.
bool DisplayPoweredOn();
// Whether one of the run's windows has the keyboard focus.
bool OwnsKeyboardFocus();

// Shows and raises our own windows once the scene has loaded; a foreign window is left
// alone.
void ShowMainWindow(SDL_Window* window);

// Destroys our own windows; of a foreign one only SDL's record (the window is its host's).
void DestroyMainWindow(SDL_Window* window);

// Fills the window with black and keeps it so without any drawing of ours.
void PaintWindowBlack(SDL_Window* window);

// Reads what the black windows over the further screens of a multi-screen X server were
// sent (full-screen runs); true when a key or a click there ends the run.
bool InputOnCoversEndsRun();

// True once the X server has reported the foreign window gone.
bool ForeignWindowLost();

// Asks the X server whether the host's window still exists (a round trip): while nothing is
// drawn, no request would otherwise fail when the host destroys it. True when it is gone.
bool ProbeForeignWindow();

// Follows a new size of the drawing area.
void NoteWindowResized(SDL_Window* window);

// CreateRenderer on the window with the OpenGL device, the presentation synchronised with
// the vertical retrace. A software OpenGL renderer draws the scene at most 800 x 600 unless
// fullResolution. False when no device could be made (the renderer has said why).
bool CreateWindowRenderer(SDL_Window* window, bool fullResolution);

}  // namespace yulo

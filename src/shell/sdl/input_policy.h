// What each window event means to a running screensaver: which scene handler it reaches,
// whether it ends the run, whether it restarts the time measurement.
#pragma once

#include <SDL.h>

namespace yulo {

// The scene's input handlers, called before the run ends on the same event.
enum class SceneInput {
  NoCall,
  LeftButtonDown,
  LeftButtonUp,
  RightButtonDown,
  RightButtonUp,
  MiddleButtonDown,
  MouseMove,
};

struct InputContext {
  bool ownsInput;               // false when drawing into a foreign window: its host
                                // owns the keyboard and mouse
  bool quitOnFocusLoss;         // a standalone full-screen run ends when it loses focus
  unsigned long foreignWindow;  // X11 id whose destruction ends the run; 0 for none
};

struct InputAction {
  SceneInput sceneInput;  // handler to call first
  bool quit;              // end the run after the handler
  bool resetTiming;       // (re)activated: the next step is measured from now
  bool resized;           // the drawing area changed size
};

// The action for one event. Any key ends the run, except system keys (Alt held, Alt
// itself, F10); the left button ends it on release, the right button on press and on
// release, the middle button on press; motion and the wheel never do. Closing the window,
// SDL_QUIT (SIGINT, SIGTERM) and the destruction of the foreign window end it too.
InputAction ClassifyEvent(const SDL_Event& event, const InputContext& context);

}  // namespace yulo

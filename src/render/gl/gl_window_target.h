// Drawing one scene into several windows with the one window device (a window per monitor).
#pragma once

struct SDL_Window;

namespace yulo {

// Points the window device's context at window (made with the same GL attributes as the
// device's first window): the following clears, draws and Present go there, at its size.
// False when there is no window device or the context can't draw into window.
bool RetargetGlWindow(SDL_Window* window);

}  // namespace yulo

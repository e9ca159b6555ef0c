// Drawing one scene into several windows with the one window device (a window per monitor),
// and the end of a windowed run.
#pragma once

struct SDL_Window;

namespace yulo {

// Points the window device's context at window (made with the same GL attributes as the
// device's first window): the following clears, draws and Present go there, at its size.
// False when there is no window device or the context can't draw into window.
bool RetargetGlWindow(SDL_Window* window);

// Keeps every library mapped now loaded until the process ends. SDL unloads what it opened
// at run time (the GL driver, D-Bus) when the last window goes; what those libraries still
// hold would then look like leaks of an unknown module to a leak checker, which can tell
// them apart by name only while they stay mapped. Call before the windows are destroyed.
void KeepLoadedLibrariesMapped();

}  // namespace yulo

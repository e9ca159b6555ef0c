// The GL contexts the device draws through (internal to the GL backend).
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

struct SDL_Window;

namespace yulo {

class GlContext {
 public:
  virtual ~GlContext() = default;
  // Makes the context current on this thread.
  virtual bool MakeCurrent() = 0;
  // Shows the finished frame (window) or nothing (offscreen).
  virtual void Swap() = 0;
  // Size of what is drawn into, in pixels.
  virtual void DrawableSize(uint32_t* width, uint32_t* height) = 0;
  // The framebuffer that holds the frame: 0 for a window, the offscreen one otherwise.
  virtual GLuint Framebuffer() const = 0;
  // Offscreen only: a new size for the framebuffer.
  virtual bool Resize(uint32_t /*width*/, uint32_t /*height*/) { return false; }
  virtual bool Offscreen() const = 0;
  // True when the window drawn into is known to be gone (a host's window it was given).
  // Asks the display server, so it is asked once a frame, just before the window is drawn.
  virtual bool WindowGone() { return false; }
  // True for a host's window, which its host may destroy at any moment.
  virtual bool HostWindow() const { return false; }
};

// An EGL surfaceless context with a width x height offscreen framebuffer (RGBA8 colour and
// 32-bit float depth). nullptr when EGL or the context is not available.
GlContext* CreateEglOffscreenContext(uint32_t width, uint32_t height);

// The context of an SDL window (SDL's own, or GLX for a host's X11 window adopted by SDL).
// nullptr when none can be made.
GlContext* CreateSdlWindowContext(SDL_Window* window, bool vsync);

// Why the last context creation failed, in a few words ("" after a success).
const char* GlContextFailure();
void NoteGlContextFailure(const char* what, const char* detail);

}  // namespace yulo

#include <SDL.h>

#include "render/gl/gl_context.h"
#include "render/gl/gl_device.h"

namespace yulo {

namespace {

class SdlWindowContext final : public GlContext {
 public:
  SdlWindowContext(SDL_Window* window, SDL_GLContext context)
      : window_(window), context_(context) {}
  ~SdlWindowContext() override { SDL_GL_DeleteContext(context_); }

  bool MakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
  void Swap() override { SDL_GL_SwapWindow(window_); }
  void DrawableSize(uint32_t* width, uint32_t* height) override {
    int w = 0;
    int h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    *width = w > 0 ? static_cast<uint32_t>(w) : 1u;
    *height = h > 0 ? static_cast<uint32_t>(h) : 1u;
  }
  GLuint Framebuffer() const override { return 0; }
  bool Offscreen() const override { return false; }

 private:
  SDL_Window* window_;
  SDL_GLContext context_;
};

}  // namespace

void PrepareGlWindowAttributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
}

GlContext* CreateSdlWindowContext(SDL_Window* window, bool vsync) {
  if (window == nullptr) return nullptr;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    // Some visuals offer no 24-bit depth: settle for 16 bits before giving up.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    context = SDL_GL_CreateContext(window);
    if (context == nullptr) return nullptr;
  }
  auto* result = new SdlWindowContext(window, context);
  if (!result->MakeCurrent()) {
    delete result;
    return nullptr;
  }
  // A driver that refuses leaves presentation unpaced; the shell caps the frame rate.
  if (vsync) {
    SDL_GL_SetSwapInterval(1);
  } else {
    SDL_GL_SetSwapInterval(0);
  }
  return result;
}

}  // namespace yulo

// Window contexts: SDL's own for our windows, GLX made here for a host's X11 window.
#include <SDL.h>
#include <SDL_syswm.h>
#include <epoxy/glx.h>

#include <dlfcn.h>
#include <link.h>

#include <cstdio>

#include "render/gl/gl_context.h"
#include "render/gl/gl_device.h"
#include "render/gl/gl_window_target.h"

namespace yulo {

namespace {

char failure[256] = "";
bool stencilAsked = false;  // the window attributes ask for a stencil buffer

void NoteFailure(const char* what, const char* detail) {
  NoteGlContextFailure(what, detail);
}

// Not every surface's swap waits for anything: an offscreen or pixel-buffer surface returns
// at once, and the driver would then queue frames without bound, in memory and in the time
// it takes to end. After each swap, at most one finished frame may still wait to be drawn.
class FrameThrottle {
 public:
  void AfterSwap() {
    if (frameDone_ != nullptr) {
      glClientWaitSync(frameDone_, GL_SYNC_FLUSH_COMMANDS_BIT, kWaitNs);
      glDeleteSync(frameDone_);
    }
    frameDone_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  }
  // With the context current.
  void Release() {
    if (frameDone_ != nullptr) glDeleteSync(frameDone_);
    frameDone_ = nullptr;
  }

 private:
  static constexpr GLuint64 kWaitNs = 1000000000;  // a stuck driver can't hang the loop
  GLsync frameDone_ = nullptr;
};

class WindowContext : public GlContext {
 public:
  explicit WindowContext(SDL_Window* window) : window_(window) {}
  ~WindowContext() override;
  void DrawableSize(uint32_t* width, uint32_t* height) override {
    int w = 0;
    int h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    *width = w > 0 ? static_cast<uint32_t>(w) : 1u;
    *height = h > 0 ? static_cast<uint32_t>(h) : 1u;
  }
  GLuint Framebuffer() const override { return 0; }
  bool Offscreen() const override { return false; }
  virtual bool Retarget(SDL_Window* window) = 0;

 protected:
  SDL_Window* window_;
  FrameThrottle throttle_;
};

WindowContext* current = nullptr;  // the one window context, for RetargetGlWindow

WindowContext::~WindowContext() {
  if (current == this) current = nullptr;
}

class SdlWindowContext final : public WindowContext {
 public:
  SdlWindowContext(SDL_Window* window, SDL_GLContext context)
      : WindowContext(window), context_(context) {}
  ~SdlWindowContext() override {
    if (MakeCurrent()) throttle_.Release();
    SDL_GL_DeleteContext(context_);
  }

  bool MakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
  void Swap() override {
    SDL_GL_SwapWindow(window_);
    throttle_.AfterSwap();
  }
  // Every window made with the same attributes shares the context's visual.
  bool Retarget(SDL_Window* window) override {
    if (SDL_GL_MakeCurrent(window, context_) != 0) return false;
    window_ = window;
    return true;
  }

 private:
  SDL_GLContext context_;
};

// A host's X11 window gets a GLX context of its own: SDL picks the visual of the window's
// display by its position, and windows on a second X screen share the position of the
// first screen's, so SDL would look on the wrong screen. Here the screen is the window's.
class GlxWindowContext final : public WindowContext {
 public:
  GlxWindowContext(SDL_Window* window, Display* display, Window xwindow, GLXContext context)
      : WindowContext(window), display_(display), xwindow_(xwindow), context_(context) {}
  ~GlxWindowContext() override {
    if (MakeCurrent()) throttle_.Release();
    glXMakeCurrent(display_, 0, nullptr);
    glXDestroyContext(display_, context_);
  }

  bool MakeCurrent() override {
    if (glXGetCurrentContext() == context_ && glXGetCurrentDrawable() == xwindow_) return true;
    return glXMakeCurrent(display_, xwindow_, context_) == True;
  }
  void Swap() override {
    glXSwapBuffers(display_, xwindow_);
    throttle_.AfterSwap();
  }
  bool Retarget(SDL_Window* window) override { return window == window_; }
  // The host may destroy its window at any moment. Drawing into a destroyed window makes the
  // driver size its buffers from a failed geometry query, whose size is then garbage (up to
  // a memset of gigabytes), so the window is looked for first.
  bool WindowGone() override;
  bool HostWindow() const override { return true; }

 private:
  Display* display_;
  Window xwindow_;
  GLXContext context_;
};

// X errors counted instead of handled, while a request that may fail is made.
int trappedErrors = 0;
int CountTrappedError(Display* /*display*/, XErrorEvent* /*error*/) {
  ++trappedErrors;
  return 0;
}

bool GlxWindowContext::WindowGone() {
  XSync(display_, False);  // earlier errors go to the handler in place, as they would anyway
  trappedErrors = 0;
  XErrorHandler previous = XSetErrorHandler(CountTrappedError);
  XWindowAttributes attributes{};
  const bool exists = XGetWindowAttributes(display_, xwindow_, &attributes) != 0;
  XSetErrorHandler(previous);
  return !exists || trappedErrors != 0;
}

// The double-buffered RGBA configuration of the window's own visual, with the deepest depth
// buffer of up to 24 bits; nullptr when the visual has none.
GLXFBConfig ConfigForVisual(Display* display, int screen, VisualID visual) {
  int count = 0;
  GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
  if (configs == nullptr) return nullptr;
  GLXFBConfig best = nullptr;
  int bestDepth = 0;
  for (int i = 0; i < count; ++i) {
    int id = 0, doubleBuffer = 0, renderType = 0, depth = 0;
    glXGetFBConfigAttrib(display, configs[i], GLX_VISUAL_ID, &id);
    glXGetFBConfigAttrib(display, configs[i], GLX_DOUBLEBUFFER, &doubleBuffer);
    glXGetFBConfigAttrib(display, configs[i], GLX_RENDER_TYPE, &renderType);
    glXGetFBConfigAttrib(display, configs[i], GLX_DEPTH_SIZE, &depth);
    if (static_cast<VisualID>(id) != visual || !doubleBuffer || !(renderType & GLX_RGBA_BIT) ||
        depth < 16 || depth > 24 || depth <= bestDepth) {
      continue;
    }
    best = configs[i];
    bestDepth = depth;
  }
  XFree(configs);
  return best;
}

GlContext* CreateGlxWindowContext(SDL_Window* window, Display* display, Window xwindow,
                                  bool vsync) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, xwindow, &attributes) == 0) {
    NoteFailure("the window is gone", "");
    return nullptr;
  }
  const int screen = XScreenNumberOfScreen(attributes.screen);
  if (!epoxy_has_glx_extension(display, screen, "GLX_ARB_create_context_profile")) {
    NoteFailure("GLX can't make OpenGL 3.3 core contexts on this display", "");
    return nullptr;
  }
  GLXFBConfig config = ConfigForVisual(display, screen, XVisualIDFromVisual(attributes.visual));
  if (config == nullptr) {
    NoteFailure("the window's visual has no double-buffered OpenGL configuration with depth", "");
    return nullptr;
  }
  const int contextAttributes[] = {GLX_CONTEXT_MAJOR_VERSION_ARB,
                                   3,
                                   GLX_CONTEXT_MINOR_VERSION_ARB,
                                   3,
                                   GLX_CONTEXT_PROFILE_MASK_ARB,
                                   GLX_CONTEXT_CORE_PROFILE_BIT_ARB,
                                   0};
  // A refused context is reported by the server as an error, not a result.
  XSync(display, False);
  trappedErrors = 0;
  XErrorHandler previous = XSetErrorHandler(CountTrappedError);
  GLXContext context =
      glXCreateContextAttribsARB(display, config, nullptr, True, contextAttributes);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (context == nullptr || trappedErrors != 0) {
    if (context != nullptr) glXDestroyContext(display, context);
    NoteFailure("GLX refused an OpenGL 3.3 core context for the window", "");
    return nullptr;
  }
  auto* result = new GlxWindowContext(window, display, xwindow, context);
  if (!result->MakeCurrent()) {
    delete result;
    NoteFailure("the OpenGL context can't draw into the window", "");
    return nullptr;
  }
  if (epoxy_has_glx_extension(display, screen, "GLX_EXT_swap_control")) {
    glXSwapIntervalEXT(display, xwindow, vsync ? 1 : 0);
  }
  return result;
}

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
  // The 24-bit depth of the device's depth format: asked for at least 24 bits alone, drivers
  // may give 32 (llvmpipe does); with a stencil buffer they give 24.
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  stencilAsked = true;
}

bool RelaxGlWindowAttributes() {
  if (!stencilAsked) return false;
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  stencilAsked = false;
  return true;
}

GlContext* CreateSdlWindowContext(SDL_Window* window, bool vsync) {
  failure[0] = '\0';
  if (window == nullptr) {
    NoteFailure("no window", "");
    return nullptr;
  }
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if ((SDL_GetWindowFlags(window) & SDL_WINDOW_FOREIGN) != 0 &&
      SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
    GlContext* context =
        CreateGlxWindowContext(window, info.info.x11.display, info.info.x11.window, vsync);
    current = static_cast<WindowContext*>(context);
    return context;
  }
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr && RelaxGlWindowAttributes()) context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    // Some visuals offer no 24-bit depth: settle for 16 bits before giving up.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
      NoteFailure("no OpenGL 3.3 core context for the window", SDL_GetError());
      return nullptr;
    }
  }
  auto* result = new SdlWindowContext(window, context);
  if (!result->MakeCurrent()) {
    NoteFailure("the OpenGL context can't draw into the window", SDL_GetError());
    delete result;
    return nullptr;
  }
  // A driver that refuses leaves presentation unpaced; the shell caps the frame rate.
  SDL_GL_SetSwapInterval(vsync ? 1 : 0);
  current = result;
  return result;
}

void NoteGlContextFailure(const char* what, const char* detail) {
  std::snprintf(failure, sizeof failure, "%s%s%s", what,
                detail != nullptr && detail[0] != '\0' ? ": " : "",
                detail != nullptr ? detail : "");
}

const char* GlContextFailure() {
  return failure;
}

void KeepLoadedLibrariesMapped() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        // The handle is kept on purpose: it is what holds the library.
        if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
          dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
}

bool RetargetGlWindow(SDL_Window* window) {
  return current != nullptr && window != nullptr && current->Retarget(window);
}

}  // namespace yulo

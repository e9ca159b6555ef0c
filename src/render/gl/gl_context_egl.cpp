#include <epoxy/egl.h>

#include "render/gl/gl_context.h"

namespace yulo {

namespace {

class EglOffscreenContext final : public GlContext {
 public:
  EglOffscreenContext(EGLDisplay display, EGLContext context)
      : display_(display), context_(context) {}

  ~EglOffscreenContext() override {
    if (MakeCurrent()) DeleteTargets();
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    // The display stays initialised: EGL displays are shared process-wide, and another
    // device may still use it.
  }

  bool MakeCurrent() override {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
  }

  void Swap() override { glFlush(); }

  void DrawableSize(uint32_t* width, uint32_t* height) override {
    *width = width_;
    *height = height_;
  }

  GLuint Framebuffer() const override { return framebuffer_; }
  bool Offscreen() const override { return true; }

  bool Resize(uint32_t width, uint32_t height) override {
    if (width == 0 || height == 0) return false;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (width > static_cast<uint32_t>(largest) || height > static_cast<uint32_t>(largest)) {
      return false;
    }
    DeleteTargets();
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colour_);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      DeleteTargets();
      return false;
    }
    width_ = width;
    height_ = height;
    return true;
  }

 private:
  void DeleteTargets() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
    if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
    framebuffer_ = colour_ = depth_ = 0;
  }

  EGLDisplay display_;
  EGLContext context_;
  GLuint framebuffer_ = 0;
  GLuint colour_ = 0;
  GLuint depth_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

EGLDisplay SurfacelessDisplay() {
  static EGLDisplay display = EGL_NO_DISPLAY;
  if (display != EGL_NO_DISPLAY) return display;
  const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (extensions == nullptr ||
      !epoxy_extension_in_string(extensions, "EGL_MESA_platform_surfaceless")) {
    return EGL_NO_DISPLAY;
  }
  EGLDisplay candidate =
      eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (candidate == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
  EGLint major = 0;
  EGLint minor = 0;
  if (eglInitialize(candidate, &major, &minor) != EGL_TRUE) return EGL_NO_DISPLAY;
  display = candidate;
  return display;
}

}  // namespace

GlContext* CreateEglOffscreenContext(uint32_t width, uint32_t height) {
  NoteGlContextFailure("", nullptr);
  EGLDisplay display = SurfacelessDisplay();
  if (display == EGL_NO_DISPLAY) {
    NoteGlContextFailure("EGL has no surfaceless display (EGL_MESA_platform_surfaceless)", "");
    return nullptr;
  }
  if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context") ||
      !epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
    NoteGlContextFailure("EGL lacks surfaceless or config-less contexts", "");
    return nullptr;
  }
  if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
    NoteGlContextFailure("EGL does not offer desktop OpenGL", "");
    return nullptr;
  }
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                               3,
                               EGL_CONTEXT_MINOR_VERSION,
                               3,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_NONE};
  EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) {
    NoteGlContextFailure("EGL refused an OpenGL 3.3 core context", "");
    return nullptr;
  }
  auto* result = new EglOffscreenContext(display, context);
  if (!result->MakeCurrent() || !result->Resize(width, height)) {
    delete result;
    NoteGlContextFailure("the offscreen framebuffer can't be made at this size", "");
    return nullptr;
  }
  return result;
}

}  // namespace yulo

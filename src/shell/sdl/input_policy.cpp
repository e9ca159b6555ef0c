#include "shell/sdl/input_policy.h"

#include <SDL_syswm.h>

namespace yulo {

namespace {

// Keys that the desktop treats as system keys (menu access) rather than input for the
// window: they leave the screensaver running, as the window-system keys of its host do.
bool IsSystemKey(const SDL_KeyboardEvent& key) {
  return (key.keysym.mod & KMOD_ALT) != 0 || key.keysym.sym == SDLK_LALT ||
         key.keysym.sym == SDLK_RALT || key.keysym.sym == SDLK_F10;
}

InputAction Quit(SceneInput sceneInput = SceneInput::NoCall) {
  return InputAction{sceneInput, true, false, false};
}

InputAction Call(SceneInput sceneInput) {
  return InputAction{sceneInput, false, false, false};
}

InputAction ClassifyWindowEvent(const SDL_WindowEvent& window, const InputContext& context) {
  switch (window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      return Quit();
    case SDL_WINDOWEVENT_FOCUS_LOST:
      return context.quitOnFocusLoss ? Quit() : InputAction{};
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      return InputAction{SceneInput::NoCall, false, true, false};
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESIZED:
      return InputAction{SceneInput::NoCall, false, false, true};
    default:
      return InputAction{};
  }
}

InputAction ClassifyButton(const SDL_MouseButtonEvent& button, bool pressed) {
  switch (button.button) {
    case SDL_BUTTON_LEFT:
      return pressed ? Call(SceneInput::LeftButtonDown) : Quit(SceneInput::LeftButtonUp);
    case SDL_BUTTON_RIGHT:
      return Quit(pressed ? SceneInput::RightButtonDown : SceneInput::RightButtonUp);
    case SDL_BUTTON_MIDDLE:
      return pressed ? Quit(SceneInput::MiddleButtonDown) : InputAction{};
    default:
      return InputAction{};
  }
}

bool IsForeignWindowDestroyed(const SDL_SysWMEvent& syswm, unsigned long foreignWindow) {
#if defined(SDL_VIDEO_DRIVER_X11)
  if (foreignWindow == 0 || syswm.msg == nullptr || syswm.msg->subsystem != SDL_SYSWM_X11) {
    return false;
  }
  const XEvent& x = syswm.msg->msg.x11.event;
  return x.type == DestroyNotify && x.xdestroywindow.window == foreignWindow;
#else
  (void)syswm;
  (void)foreignWindow;
  return false;
#endif
}

}  // namespace

InputAction ClassifyEvent(const SDL_Event& event, const InputContext& context) {
  switch (event.type) {
    case SDL_QUIT:
      return Quit();
    case SDL_WINDOWEVENT:
      return ClassifyWindowEvent(event.window, context);
    case SDL_SYSWMEVENT:
      return IsForeignWindowDestroyed(event.syswm, context.foreignWindow) ? Quit() : InputAction{};
    default:
      break;
  }
  if (!context.ownsInput) return InputAction{};
  switch (event.type) {
    case SDL_KEYDOWN:
      return IsSystemKey(event.key) ? InputAction{} : Quit();
    case SDL_MOUSEMOTION:
      return Call(SceneInput::MouseMove);
    case SDL_MOUSEBUTTONDOWN:
      return ClassifyButton(event.button, true);
    case SDL_MOUSEBUTTONUP:
      return ClassifyButton(event.button, false);
    default:
      return InputAction{};
  }
}

}  // namespace yulo

#include "shell/sdl/input_policy.h"

#include <gtest/gtest.h>

// After gtest: the X11 headers behind it define macros (None, Bool) that clash with it.
#include <SDL_syswm.h>

namespace yulo {
namespace {

constexpr InputContext kFullScreen = {true, true, 0};
constexpr InputContext kWindowed = {true, false, 0};
constexpr InputContext kForeign = {false, false, 0x1e00003};

SDL_Event Key(SDL_Keycode sym, Uint16 mod = KMOD_NONE, Uint32 type = SDL_KEYDOWN) {
  SDL_Event e{};
  e.type = type;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event Button(Uint8 button, bool pressed) {
  SDL_Event e{};
  e.type = pressed ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = button;
  e.button.state = pressed ? SDL_PRESSED : SDL_RELEASED;
  return e;
}

SDL_Event Motion(Sint32 dx, Sint32 dy) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  return e;
}

SDL_Event Window(SDL_WindowEventID id) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = id;
  return e;
}

SDL_Event Typed(Uint32 type) {
  SDL_Event e{};
  e.type = type;
  return e;
}

void ExpectAction(const SDL_Event& e, const InputContext& context, SceneInput call, bool quit,
                  const char* what) {
  const InputAction a = ClassifyEvent(e, context);
  EXPECT_EQ(a.sceneInput, call) << what;
  EXPECT_EQ(a.quit, quit) << what;
}

TEST(InputPolicy, KeysEndTheRunOnPressExceptSystemKeys) {
  ExpectAction(Key(SDLK_a), kFullScreen, SceneInput::NoCall, true, "a");
  ExpectAction(Key(SDLK_ESCAPE), kFullScreen, SceneInput::NoCall, true, "escape");
  ExpectAction(Key(SDLK_SPACE, KMOD_LSHIFT), kFullScreen, SceneInput::NoCall, true, "shift+space");
  ExpectAction(Key(SDLK_LCTRL, KMOD_LCTRL), kWindowed, SceneInput::NoCall, true, "ctrl");
  ExpectAction(Key(SDLK_a, KMOD_NONE, SDL_KEYUP), kFullScreen, SceneInput::NoCall, false, "a up");
  ExpectAction(Key(SDLK_LALT, KMOD_LALT), kFullScreen, SceneInput::NoCall, false, "alt");
  ExpectAction(Key(SDLK_RALT), kFullScreen, SceneInput::NoCall, false, "right alt");
  ExpectAction(Key(SDLK_x, KMOD_RALT), kFullScreen, SceneInput::NoCall, false, "alt+x");
  ExpectAction(Key(SDLK_F10), kFullScreen, SceneInput::NoCall, false, "f10");
  ExpectAction(Key(SDLK_F9), kFullScreen, SceneInput::NoCall, true, "f9");
}

TEST(InputPolicy, ButtonsReachTheSceneAndEndTheRunOnTheRightEdges) {
  ExpectAction(Button(SDL_BUTTON_LEFT, true), kFullScreen, SceneInput::LeftButtonDown, false,
               "left down");
  ExpectAction(Button(SDL_BUTTON_LEFT, false), kFullScreen, SceneInput::LeftButtonUp, true,
               "left up");
  ExpectAction(Button(SDL_BUTTON_RIGHT, true), kFullScreen, SceneInput::RightButtonDown, true,
               "right down");
  ExpectAction(Button(SDL_BUTTON_RIGHT, false), kFullScreen, SceneInput::RightButtonUp, true,
               "right up");
  ExpectAction(Button(SDL_BUTTON_MIDDLE, true), kFullScreen, SceneInput::MiddleButtonDown, true,
               "middle down");
  ExpectAction(Button(SDL_BUTTON_MIDDLE, false), kFullScreen, SceneInput::NoCall, false,
               "middle up");
  ExpectAction(Button(SDL_BUTTON_X1, true), kFullScreen, SceneInput::NoCall, false, "x1");
  ExpectAction(Typed(SDL_MOUSEWHEEL), kFullScreen, SceneInput::NoCall, false, "wheel");
}

TEST(InputPolicy, MotionNeverEndsTheRunHoweverFar) {
  ExpectAction(Motion(1, 0), kFullScreen, SceneInput::MouseMove, false, "small");
  ExpectAction(Motion(5000, -5000), kFullScreen, SceneInput::MouseMove, false, "huge");
}

TEST(InputPolicy, FocusEndsOnlyAStandaloneFullScreenRunAndRestartsTiming) {
  EXPECT_TRUE(ClassifyEvent(Window(SDL_WINDOWEVENT_FOCUS_LOST), kFullScreen).quit);
  EXPECT_FALSE(ClassifyEvent(Window(SDL_WINDOWEVENT_FOCUS_LOST), kWindowed).quit);
  EXPECT_FALSE(ClassifyEvent(Window(SDL_WINDOWEVENT_FOCUS_LOST), kForeign).quit);
  for (const InputContext& c : {kFullScreen, kWindowed, kForeign}) {
    const InputAction a = ClassifyEvent(Window(SDL_WINDOWEVENT_FOCUS_GAINED), c);
    EXPECT_TRUE(a.resetTiming);
    EXPECT_FALSE(a.quit);
  }
  EXPECT_FALSE(ClassifyEvent(Motion(3, 3), kFullScreen).resetTiming);
}

TEST(InputPolicy, CloseQuitAndResize) {
  for (const InputContext& c : {kFullScreen, kWindowed, kForeign}) {
    EXPECT_TRUE(ClassifyEvent(Window(SDL_WINDOWEVENT_CLOSE), c).quit);
    EXPECT_TRUE(ClassifyEvent(Typed(SDL_QUIT), c).quit);
    const InputAction resized = ClassifyEvent(Window(SDL_WINDOWEVENT_SIZE_CHANGED), c);
    EXPECT_TRUE(resized.resized);
    EXPECT_FALSE(resized.quit);
  }
  EXPECT_FALSE(ClassifyEvent(Window(SDL_WINDOWEVENT_EXPOSED), kFullScreen).quit);
  EXPECT_FALSE(ClassifyEvent(Window(SDL_WINDOWEVENT_SHOWN), kFullScreen).quit);
}

TEST(InputPolicy, TheHostOwnsTheInputOfAForeignWindow) {
  ExpectAction(Key(SDLK_a), kForeign, SceneInput::NoCall, false, "key");
  ExpectAction(Button(SDL_BUTTON_LEFT, false), kForeign, SceneInput::NoCall, false, "left up");
  ExpectAction(Button(SDL_BUTTON_RIGHT, true), kForeign, SceneInput::NoCall, false, "right");
  ExpectAction(Motion(10, 10), kForeign, SceneInput::NoCall, false, "motion");
}

TEST(InputPolicy, DestructionOfTheForeignWindowEndsTheRun) {
  SDL_SysWMmsg msg{};
  msg.subsystem = SDL_SYSWM_X11;
  msg.msg.x11.event.type = DestroyNotify;
  msg.msg.x11.event.xdestroywindow.window = 0x1e00003;
  SDL_Event e{};
  e.type = SDL_SYSWMEVENT;
  e.syswm.msg = &msg;
  EXPECT_TRUE(ClassifyEvent(e, kForeign).quit);

  msg.msg.x11.event.xdestroywindow.window = 0x1e00004;  // some other window
  EXPECT_FALSE(ClassifyEvent(e, kForeign).quit);
  msg.msg.x11.event.xdestroywindow.window = 0x1e00003;
  msg.msg.x11.event.type = UnmapNotify;
  EXPECT_FALSE(ClassifyEvent(e, kForeign).quit);
  msg.msg.x11.event.type = DestroyNotify;
  EXPECT_FALSE(ClassifyEvent(e, kFullScreen).quit);  // no foreign window to watch
  e.syswm.msg = nullptr;
  EXPECT_FALSE(ClassifyEvent(e, kForeign).quit);
}

}  // namespace
}  // namespace yulo

// The scene objects the main loop drives once per frame, and the shared scene start-up.
#pragma once

#include <cstdint>

#include "render/device.h"

namespace yulo {

// Base scene: every virtual operation does nothing. The main loop and the window's event
// handling only ever talk to a scene through these slots, in this order.
class Scene {
 public:
  virtual void Reserved0() {}  // slot 0: kept free, nothing calls it
  virtual void Reserved1() {}  // slot 1: kept free, nothing calls it
  // Once per frame, after the present and the timing update.
  virtual void Update() {}
  // Not called by the running program.
  virtual void Restart() {}
  // Once per frame between BeginScene and EndScene.
  virtual void Render() {}
  // Not called by the running program.
  virtual void SetFlags(int32_t /*value*/) {}
  virtual void OnLeftButtonDown() {}
  virtual void OnLeftButtonUp() {}
  virtual void OnRightButtonDown() {}
  virtual void OnRightButtonUp() {}
  virtual void OnMiddleButtonDown() {}
  virtual void OnMouseMove() {}
  // Loads and places the scene's own assets; the last step of Init.
  virtual void LoadAssets() {}

  // BeginScene, clear the target to black, EndScene, present: a black window while the
  // assets load.
  void ShowBlankFrame();
  // Installs the one directional light and the material used for the whole run, and turns
  // lighting on.
  void SetupLighting();
  // Lighting, generator seeds, particles, audio and music (not in preview mode), then
  // currentScene = this scene and its LoadAssets. Always returns 1; failures to load are
  // fatal inside the loaders.
  int Init();
  // Called after Update every frame; nothing to do.
  void AfterUpdate() {}
  // Called on currentScene at teardown after the renderer is released; nothing to do.
  void Shutdown() {}

  int32_t flags = 0;  // set only through SetFlags; stays 0 in this program
};

// The scene module's state.
struct SceneState {
  Scene blankScene;  // the plain scene of the blank frame at start-up
  // The scene the main loop and the event handling drive; the shell points it at the
  // winter scene first thing at start-up, and Init points it at the scene it starts.
  // Never null.
  Scene* currentScene = &blankScene;
  Material sceneMaterial = {};  // the fixed light and material SetupLighting installs
  Light sceneLight = {};
  bool fixedSeed = false;  // SetSceneSeed was called
  uint32_t seedValue = 0;
};

extern SceneState scenes;

// Makes Init seed the random generators with seed instead of the clock (--seed). Only the
// engine's generator (math/random.h) is drawn from; the C library's is seeded as well.
void SetSceneSeed(uint32_t seed);
// Back to seeding from TimeGetTime() (the default).
void ClearSceneSeed();

}  // namespace yulo

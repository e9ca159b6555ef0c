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

  // BeginScene, clear the target to black, EndScene, present: a black window while the
  // assets load.
  void ShowBlankFrame();
  // Installs the one directional light and the material used for the whole run, and turns
  // lighting on.
  void SetupLighting();
  // Lighting, generator seeds, particles, audio and music (not in preview mode), then
  // currentScene = the winter scene and its assets. Always returns 1; failures to load are
  // fatal inside the loaders.
  int Init();
  // Called after Update every frame; nothing to do.
  void AfterUpdate() {}
  // Called on currentScene at teardown after the renderer is released; nothing to do.
  void Shutdown() {}

  int32_t flags = 0;  // set only through SetFlags; stays 0 in this program
};

// The screensaver's content: Render composes the winter night frame.
class WinterScene final : public Scene {
 public:
  void Render() override;
  void SetFlags(int32_t value) override { flags = value; }
};

// The plain scene used for the blank frame at start-up, and the winter scene.
extern Scene blankScene;
extern WinterScene winterScene;

// The scene the main loop and the event handling drive; the shell points it at
// winterScene first thing at start-up, and Init does so again. Never null in the loop.
extern Scene* currentScene;

// The fixed light and material SetupLighting installs for the whole run.
extern Material sceneMaterial;
extern Light sceneLight;

// Makes Init seed both random generators with seed instead of the clock (--seed).
void SetSceneSeed(uint32_t seed);
// Back to seeding from TimeGetTime() (the default).
void ClearSceneSeed();

}  // namespace yulo

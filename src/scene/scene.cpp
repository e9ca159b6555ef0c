#include "scene/scene.h"

#include <cstdlib>

#include "base/clock.h"
#include "base/shell_state.h"
#include "effects/particles.h"
#include "math/random.h"
#include "render/renderer.h"
#include "sound/music.h"

namespace yulo {

SceneState scenes;

void SetSceneSeed(uint32_t seed) {
  scenes.fixedSeed = true;
  scenes.seedValue = seed;
}

void ClearSceneSeed() {
  scenes.fixedSeed = false;
}

void Scene::ShowBlankFrame() {
  BeginScene();
  ClearTarget(0);
  EndScene();
  PresentFrame();
}

void Scene::SetupLighting() {
  Vector3 direction(1.4f, 1.3f, 1.0f);
  direction.Normalize();

  scenes.sceneMaterial = Material{};
  scenes.sceneMaterial.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  scenes.sceneMaterial.ambient = {0.3f, 0.3f, 0.3f, 1.0f};

  scenes.sceneLight = Light{};
  scenes.sceneLight.type = D3DLIGHT_DIRECTIONAL;
  scenes.sceneLight.diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  scenes.sceneLight.specular = {1.0f, 1.0f, 1.0f, 1.0f};
  scenes.sceneLight.direction = direction;
  scenes.sceneLight.attenuation0 = 1.0f;

  SetRenderState(D3DRS_LIGHTING, 1);
  Device* device = GetDevice();
  device->SetLight(0, scenes.sceneLight);
  device->LightEnable(0, true);
  device->SetMaterial(scenes.sceneMaterial);
}

int Scene::Init() {
  SetupLighting();
  const uint32_t seed = scenes.fixedSeed ? scenes.seedValue : TimeGetTime();
  // Nothing in the program calls rand(); the C library's generator is seeded all the same,
  // so that a library drawing from it sees the same seed as ours.
  std::srand(seed);
  RandomSeed(scenes.fixedSeed ? scenes.seedValue : TimeGetTime());
  InitParticles();
  InitAudio();
  if (runMode != RunMode::Preview) StartMusic();
  scenes.currentScene = this;
  LoadAssets();
  return 1;
}

}  // namespace yulo

#include "scene/scene.h"

#include <cstdlib>

#include "base/clock.h"
#include "base/shell_state.h"
#include "effects/particles.h"
#include "math/random.h"
#include "render/renderer.h"
#include "scene/winter_scene.h"
#include "sound/music.h"

namespace yulo {

Scene blankScene;
WinterScene winterScene;
Scene* currentScene = &winterScene;
Material sceneMaterial;
Light sceneLight;

namespace {
bool fixedSeed = false;
uint32_t seedValue = 0;
}  // namespace

void SetSceneSeed(uint32_t seed) {
  fixedSeed = true;
  seedValue = seed;
}

void ClearSceneSeed() {
  fixedSeed = false;
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

  sceneMaterial = Material{};
  sceneMaterial.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  sceneMaterial.ambient = {0.3f, 0.3f, 0.3f, 1.0f};

  sceneLight = Light{};
  sceneLight.type = D3DLIGHT_DIRECTIONAL;
  sceneLight.diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  sceneLight.specular = {1.0f, 1.0f, 1.0f, 1.0f};
  sceneLight.direction = direction;
  sceneLight.attenuation0 = 1.0f;

  SetRenderState(D3DRS_LIGHTING, 1);
  Device* device = GetDevice();
  device->SetLight(0, sceneLight);
  device->LightEnable(0, true);
  device->SetMaterial(sceneMaterial);
}

int Scene::Init() {
  SetupLighting();
  const uint32_t seed = fixedSeed ? seedValue : TimeGetTime();
  std::srand(seed);
  RandomSeed(fixedSeed ? seedValue : TimeGetTime());
  InitParticles();
  InitAudio();
  if (runMode != RunMode::Preview) StartMusic();
  currentScene = &winterScene;
  ResetWinterClock();
  LoadAssets();
  return 1;
}

void WinterScene::Render() {
  ComposeFrame();
}

}  // namespace yulo

#include "scene_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "base/shell_state.h"
#include "effects/particles.h"
#include "math/math.h"
#include "models/character.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "scene/snow_trees.h"
#include "scene/winter_scene.h"
#include "scene_data/scene_data.h"

namespace yulo::test {

namespace {

TraceDevice* sceneDevice = nullptr;
std::vector<TraceRecord> initRecords;
std::string dataFolder;

class SceneEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/yulo-scene-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dataFolder = pattern;
    ASSERT_EQ(WriteSceneData(dataFolder), "");
    std::snprintf(dataDir, sizeof dataDir, "%s/", dataFolder.c_str());
    // The shell makes the data folder current before Init, as start-up does.
    ASSERT_EQ(chdir(dataDir), 0);
    BuildSqrtTable();
    sceneDevice = new TraceDevice;
    SetDevice(sceneDevice);
    runMode = RunMode::Preview;  // no music in tests
    SetSceneSeed(7);
    frameTiming.elapsedMs = 0;
    frameTiming.elapsedTime = 0.0f;
    ASSERT_EQ(winterScene.Init(), 1);
    initRecords = sceneDevice->Records();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dataFolder, ignored);
  }
};

const ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new SceneEnvironment);

}  // namespace

const std::vector<TraceRecord>& InitRecords() {
  return initRecords;
}

TraceDevice& SceneDevice() {
  return *sceneDevice;
}

void RestartScene() {
  SetDevice(sceneDevice);
  sceneDevice->SetRecording(true);
  ResetWinterClock();
  RandomSeed(7);
  ScatterSnowAndTrees();
  for (Character* c : {&winterScene.reindeer[0], &winterScene.reindeer[1], &winterScene.driver}) {
    c->fading = false;
    c->fadeTime = 300.0f;
    c->nextClip = nullptr;
  }
  AssignFirstClips();
  InitParticles();
  frameTiming.elapsedMs = 0;
  frameTiming.elapsedTime = 0.0f;
  sceneDevice->ClearRecords();
}

void RunSceneFrame(uint32_t ms) {
  frameTiming.elapsedMs = ms;
  frameTiming.elapsedTime = static_cast<float>(ms);
  BeginScene();
  scenes.currentScene->Render();
  EndScene();
}

}  // namespace yulo::test

#include "shell/run_frame.h"

#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"

namespace yulo {

void RunFrame() {
  ClearDepth(1.0f);
  BeginScene();
  scenes.currentScene->Render();
  EndScene();
  PresentFrame();
  MeasureFrameStep();
  scenes.currentScene->Update();
  scenes.currentScene->AfterUpdate();
}

}  // namespace yulo

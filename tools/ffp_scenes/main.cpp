// yulo-ffp-scenes: draws the fixed-function micro-scenes with this platform's device and
// writes one PNG per scene, so that two backends' pictures can be compared.
//   yulo-ffp-scenes --list                 names and what each scene checks
//   yulo-ffp-scenes OUTDIR [SCENE...]      OUTDIR/SCENE.png for the named (default: all)
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ffp_scenes/ffp_platform.h"
#include "ffp_scenes/ffp_scenes.h"
#include "render/renderer.h"
#include "resources/png_writer.h"

using namespace yulo;

namespace {

int Usage() {
  std::fprintf(stderr, "usage: yulo-ffp-scenes --list | OUTDIR [SCENE...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  const FfpScene* scenes = FfpScenes(&count);
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (size_t i = 0; i < count; ++i) std::printf("%-18s %s\n", scenes[i].name, scenes[i].rule);
    return 0;
  }
  if (argc < 2 || argv[1][0] == '-') return Usage();
  const char* folder = argv[1];
  std::vector<const FfpScene*> chosen;
  for (int i = 2; i < argc; ++i) {
    const FfpScene* scene = FindFfpScene(argv[i]);
    if (scene == nullptr) {
      std::fprintf(stderr, "yulo-ffp-scenes: no scene named %s (see --list)\n", argv[i]);
      return 2;
    }
    chosen.push_back(scene);
  }
  if (chosen.empty()) {
    for (size_t i = 0; i < count; ++i) chosen.push_back(&scenes[i]);
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);

  rendererOptions.fullScreen = false;
  rendererOptions.waitForVSync = false;
  rendererOptions.windowWidth = static_cast<int32_t>(kFfpSceneWidth);
  rendererOptions.windowHeight = static_cast<int32_t>(kFfpSceneHeight);
  if (!CreateRenderer(CreateFfpAdapter(kFfpSceneWidth, kFfpSceneHeight), nullptr)) {
    std::fprintf(stderr, "yulo-ffp-scenes: no device could be made\n");
    return 1;
  }
  Device* device = GetDevice();
  int exitCode = 0;
  std::vector<uint8_t> rgba;
  for (const FfpScene* scene : chosen) {
    RenderFfpScene(*scene);
    uint32_t width = 0, height = 0;
    const std::string path = std::string(folder) + "/" + scene->name + ".png";
    if (!device->ReadFrame(&rgba, &width, &height) ||
        !WritePng(path.c_str(), rgba.data(), width, height)) {
      std::fprintf(stderr, "yulo-ffp-scenes: can't write %s\n", path.c_str());
      exitCode = 1;
      break;
    }
    device->Present();
  }
  ReleaseFfpSceneResources();
  ReleaseRenderer();
  if (exitCode == 0) std::printf("yulo-ffp-scenes: %zu pictures in %s\n", chosen.size(), folder);
  return exitCode;
}

#include "program_env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "scene_data/scene_data.h"

namespace yulo::test {

const char* ProgramPath() {
  return YULO_PROGRAM;
}

bool HaveInstalledData() {
  std::string folder = ProgramPath();
  folder = folder.substr(0, folder.rfind('/'));
  // The scene's models come last in the generated set.
  for (const char* file : {"links.txt", "Data/sani.cgo", "Data/deer.chr", "Data/yulo.chr"}) {
    if (access((folder + "/../share/yulo/" + file).c_str(), R_OK) != 0) return false;
  }
  return true;
}

bool PrepareDataSet(const std::string& configHome) {
  if (HaveInstalledData()) return true;
  WriteTinyDataSet(configHome);
  return false;
}

std::string WriteTinyDataSet(const std::string& configHome) {
  const std::string install = configHome + "/install";
  std::string settingsKey = configHome;
  for (const char* part : {"/velmora", "/screensavers", "/yulo"}) {
    settingsKey += part;
    mkdir(settingsKey.c_str(), 0755);
  }
  mkdir(install.c_str(), 0755);
  mkdir((install + "/Data").c_str(), 0755);
  EXPECT_EQ(WriteSceneData(install + "/Data"), "");
  std::ofstream(install + "/links.txt", std::ios::binary) << "link1=a\r\nlink2=b\r\n";
  std::ofstream(settingsKey + "/InstallDir_Demo", std::ios::binary) << install;
  return install + "/Data";
}

std::vector<std::string> ProgramEnvironment(const std::string& configHome,
                                            const std::string& display) {
  // Leak checking at the end of a windowed run takes the sanitizer build seconds, more than
  // the tests of prompt ends allow: one test checks those runs (WithLeakChecking).
  const std::string leaks =
      display.empty() ? kLeakCheckedRun : "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1";
  return {leaks,
          "XDG_CONFIG_HOME=" + configHome,
          "XDG_RUNTIME_DIR=" + configHome,
          "SDL_AUDIODRIVER=dummy",
          "XSCREENSAVER_WINDOW",
          display.empty() ? std::string("DISPLAY") : "DISPLAY=" + display};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace yulo::test

#include "shell/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/shell_state.h"
#include "scene/scene.h"
#include "shell/run_frame.h"

namespace yulo {

namespace {
Settings savedSettings = {kDefaultMusicVolume, {}};
bool haveSavedSettings = false;

bool IsFolder(const char* path) {
  struct stat info {};
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}
}  // namespace

bool EnterDataFolder() {
  char folder[kPathCapacity];
  if (getcwd(folder, sizeof folder) == nullptr) return false;
  char data[kPathCapacity];
  const char* separator = folder[std::strlen(folder) - 1] == '/' ? "" : "/";
  const int length = std::snprintf(data, sizeof data, "%s%sData/", folder, separator);
  if (length < 0 || static_cast<size_t>(length) >= sizeof data) return false;
  std::memcpy(installDir, folder, sizeof installDir);
  std::memcpy(dataDir, data, sizeof dataDir);
  // A missing Data folder is not an error here: the first file it should hold is, by name.
  const int changed = chdir(dataDir);
  (void)changed;
  return true;
}

void ApplyRunOptions(const LaunchOptions& options) {
  savedSettings = settings;
  haveSavedSettings = true;
  if (options.launch == Launch::Render) {
    settings.musicVolume = 0;  // headless: no sound, and no audio device opened
  } else if (options.hasVolume) {
    settings.musicVolume = options.volume;
  }
  if (options.hasSeed) {
    SetSceneSeed(options.seed);
  } else {
    ClearSceneSeed();
  }
  SetFixedFrameStep(options.hasFixedStep, options.fixedStepMs);
}

void RestoreSavedSettings() {
  if (haveSavedSettings) settings = savedSettings;
}

bool AbsolutePath(const char* path, char* out, size_t capacity) {
  int length = 0;
  if (path[0] == '/') {
    length = std::snprintf(out, capacity, "%s", path);
  } else {
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr) return false;
    length = std::snprintf(out, capacity, "%s/%s", here, path);
  }
  return length >= 0 && static_cast<size_t>(length) < capacity;
}

bool MakeFolders(const char* folder) {
  char path[4096];
  const int length = std::snprintf(path, sizeof path, "%s", folder);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return false;
  for (char* p = path + 1; *p != '\0'; ++p) {
    if (*p != '/') continue;
    *p = '\0';
    if (mkdir(path, 0777) != 0 && errno != EEXIST) return false;
    *p = '/';
  }
  if (mkdir(path, 0777) != 0 && errno != EEXIST) return false;
  return IsFolder(path);
}

}  // namespace yulo

#include "shell/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/shell_state.h"
#include "scene/scene.h"
#include "shell/run_frame.h"
#include "shell/settings.h"

namespace yulo {

namespace {
Settings savedSettings = {kDefaultMusicVolume, {}};
bool haveSavedSettings = false;
bool storedAtStart = false;  // the store held exactly savedSettings when the run began

// Whether the store holds the record of s, byte for byte (little-endian volume first).
bool StoreHolds(const Settings& s) {
  uint8_t stored[sizeof(Settings)];
  uint32_t size = sizeof stored;
  ReadSettingsValue(kSettingsKey, kSettingsValue, stored, &size);
  if (size != sizeof stored) return false;
  const uint32_t volume = static_cast<uint32_t>(s.musicVolume);
  const uint8_t expected[4] = {static_cast<uint8_t>(volume), static_cast<uint8_t>(volume >> 8),
                               static_cast<uint8_t>(volume >> 16),
                               static_cast<uint8_t>(volume >> 24)};
  return std::memcmp(stored, expected, 4) == 0 &&
         std::memcmp(stored + 4, s.reserved, sizeof s.reserved) == 0;
}

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
  storedAtStart = StoreHolds(settings);
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

bool SaveSettingsAtExit() {
  RestoreSavedSettings();
  // Writing back what was loaded would undo a change made in the settings dialog while
  // the screensaver ran, and costs a synchronous disk write at every wake-up.
  if (haveSavedSettings && storedAtStart) return true;
  // Defaults stood in for a record that is there but could not be read: writing them
  // would silently throw the user's setting away.
  if (SettingsRecordUnreadable()) return true;
  return SaveSettings();
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

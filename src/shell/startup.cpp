#include "shell/startup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/shell_state.h"
#include "scene/scene.h"
#include "shell/folders.h"
#include "shell/frame_timing.h"
#include "shell/settings.h"
#include "shell/value_store.h"

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
}  // namespace

bool EnterDataFolder() {
  char folder[kPathCapacity];
  if (!CurrentFolder(folder, sizeof folder) || folder[0] == '\0') return false;
  char data[kPathCapacity];
  const char separator[2] = {PathSeparator(), '\0'};
  const bool endsInSeparator = IsPathSeparator(folder[std::strlen(folder) - 1]);
  const int length = std::snprintf(data, sizeof data, "%s%sData%s", folder,
                                   endsInSeparator ? "" : separator, separator);
  if (length < 0 || static_cast<size_t>(length) >= sizeof data) return false;
  std::memcpy(installDir, folder, sizeof installDir);
  std::memcpy(dataDir, data, sizeof dataDir);
  // A missing Data folder is not an error here: the first file it should hold is, by name.
  EnterFolder(dataDir);
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
  if (IsAbsolutePath(path)) {
    length = std::snprintf(out, capacity, "%s", path);
  } else {
    char here[4096];
    if (!CurrentFolder(here, sizeof here)) return false;
    length = std::snprintf(out, capacity, "%s%c%s", here, PathSeparator(), path);
  }
  return length >= 0 && static_cast<size_t>(length) < capacity;
}

bool MakeFolders(const char* folder) {
  char path[4096];
  const int length = std::snprintf(path, sizeof path, "%s", folder);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) {
    errno = length <= 0 ? ENOENT : ENAMETOOLONG;
    return false;
  }
  for (char* p = path + 1; *p != '\0'; ++p) {
    if (!IsPathSeparator(*p) || IsPathSeparator(p[-1])) continue;
    const char separator = *p;
    *p = '\0';
    if (!MakeFolder(path)) return false;
    *p = separator;
  }
  return MakeFolder(path);
}

}  // namespace yulo

#include "shell/settings.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "resources/key_value.h"
#include "resources/loaded_file.h"

namespace yulo {

char link1[kLinkCapacity] = {};
char link2[kLinkCapacity] = {};

namespace {

// links.txt is the first file read: a missing one most often means a wrong install folder,
// so a note below the message names the folder it was looked for in, and the install
// folder when that could not be entered.
[[noreturn]] void StopWithoutLinksFile(bool entered) {
  char reason[160];
  DescribeLastLoadFailure(reason, sizeof reason);
  char folder[kPathCapacity];
  if (getcwd(folder, sizeof folder) == nullptr)
    std::snprintf(folder, sizeof folder, "%s", installDir);
  FatalErrorF("Loading Error", 1,
              "Can't load %s...\n%s%sProgram will now stop.\n\nLooked for in %s%s%s%s.",
              kLinksFileName, reason, reason[0] != '\0' ? "\n" : "", folder,
              entered ? "" : " (the install folder ", entered ? "" : installDir,
              entered ? "" : " can't be opened)");
}

// The install-folder value is read into a buffer of this size, terminator included.
constexpr uint32_t kInstallDirValueCapacity = 255;

// Reads a text value of at most capacity - 1 characters; a longer value counts as
// unreadable. The text ends at its first zero byte (a registry string stores one) or at
// the end of the value (a file does not); one trailing line end, left by a hand edit, is
// dropped.
bool ReadSettingsString(const char* keyPath, const char* valueName, char* out, uint32_t capacity) {
  uint32_t size = 0;
  if (!PlatformValueStore().Read(keyPath, valueName, out, capacity, &size)) {
    out[0] = '\0';
    return false;
  }
  if (size == capacity && std::memchr(out, '\0', size) == nullptr) {
    out[0] = '\0';
    return false;
  }
  out[size < capacity ? size : capacity - 1] = '\0';
  size_t end = std::strlen(out);
  if (end > 0 && out[end - 1] == '\n') out[--end] = '\0';
  if (end > 0 && out[end - 1] == '\r') out[--end] = '\0';
  return true;
}

// link1= and link2= values end at a carriage return; a file saved with bare line feeds
// would otherwise run one link into the next line.
void ReadLink(char (&out)[kLinkCapacity], const char* text, const char* key) {
  GetValueString(out, text, key);
  out[std::strcspn(out, "\n")] = '\0';
}

void PutInt32(uint8_t* out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const uint8_t* in) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int32_t>(bits);
}

}  // namespace

void ReadSettingsValue(const char* keyPath, const char* valueName, void* destination,
                       uint32_t* size) {
  const uint32_t wanted = *size;
  *size = 0;
  // A shorter value must not leave part of itself in destination: read it aside first.
  uint8_t small[64];
  std::unique_ptr<uint8_t[]> large;
  uint8_t* staging = small;
  if (wanted > sizeof small) {
    large.reset(new (std::nothrow) uint8_t[wanted]);
    if (large == nullptr) return;
    staging = large.get();
  }
  uint32_t got = 0;
  if (!PlatformValueStore().Read(keyPath, valueName, staging, wanted, &got) || got != wanted)
    return;
  std::memcpy(destination, staging, wanted);
  *size = wanted;
}

bool WriteSettingsValue(const char* keyPath, const char* valueName, const void* source,
                        uint32_t size) {
  return PlatformValueStore().Write(keyPath, valueName, source, size);
}

void LoadSettings() {
  uint8_t record[sizeof(Settings)];
  uint32_t size = sizeof record;
  ReadSettingsValue(kSettingsKey, kSettingsValue, record, &size);
  if (size == sizeof record) {
    settings.musicVolume = GetInt32(record);
    std::memcpy(settings.reserved, record + 4, sizeof settings.reserved);
  } else {
    settings.musicVolume = kDefaultMusicVolume;
    std::memset(settings.reserved, 0, sizeof settings.reserved);
  }

  char folder[kInstallDirValueCapacity];
  if (!ReadSettingsString(kSettingsKey, kInstallDirValue, folder, sizeof folder) ||
      folder[0] == '\0') {
    if (!DefaultInstallDir(folder, sizeof folder)) std::snprintf(folder, sizeof folder, ".");
  }
  std::snprintf(installDir, sizeof installDir, "%s", folder);
  // A missing folder leaves the current one, where links.txt is then looked for.
  const bool entered = EnterFolder(installDir);

  int32_t length = 0;
  uint8_t* data = LoadFile(kLinksFileName, &length, false);
  if (data == nullptr) StopWithoutLinksFile(entered);
  // The reader needs a terminated text; the file has no terminator of its own.
  std::unique_ptr<char[]> text(new char[static_cast<size_t>(length) + 1]);
  std::memcpy(text.get(), data, static_cast<size_t>(length));
  text[static_cast<size_t>(length)] = '\0';
  FreeFile(data);
  ReadLink(link1, text.get(), "link1=");
  ReadLink(link2, text.get(), "link2=");
}

uint32_t FrameRateCapSetting(const Settings& s) {
  uint32_t cap = 0;
  for (int i = 0; i < 4; ++i) cap |= static_cast<uint32_t>(s.reserved[i]) << (8 * i);
  return cap <= kMaxFrameRateCapSetting ? cap : 0;
}

void SetFrameRateCapSetting(Settings* s, uint32_t framesPerSecond) {
  if (framesPerSecond > kMaxFrameRateCapSetting) framesPerSecond = kMaxFrameRateCapSetting;
  for (int i = 0; i < 4; ++i) s->reserved[i] = static_cast<uint8_t>(framesPerSecond >> (8 * i));
}

bool SettingsRecordUnreadable() {
  return PlatformValueStore().ExistsUnreadable(kSettingsKey, kSettingsValue);
}

bool SaveSettings() {
  uint8_t record[sizeof(Settings)];
  PutInt32(record, settings.musicVolume);
  std::memcpy(record + 4, settings.reserved, sizeof settings.reserved);
  return WriteSettingsValue(kSettingsKey, kSettingsValue, record, sizeof record);
}

}  // namespace yulo

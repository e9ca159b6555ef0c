// The user's settings and the install folder, kept in the platform's value store
// (value_store.h), and the two banner links read from the install folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/shell_state.h"
#include "shell/value_store.h"

namespace yulo {

inline constexpr char kSettingsKey[] = "software\\velmora\\screensavers\\yulo";
inline constexpr char kSettingsValue[] = "settings";           // the 16-byte Settings record
inline constexpr char kInstallDirValue[] = "InstallDir_Demo";  // install folder, as text
inline constexpr char kLinksFileName[] = "links.txt";          // in the install folder
inline constexpr int kLinkCapacity = 256;

extern char link1[kLinkCapacity];  // target of the first banner; "" when links.txt has none
extern char link2[kLinkCapacity];  // target of the second banner

inline constexpr uint32_t kMaxFrameRateCapSetting = 1000;

// The frame-rate cap chosen in the settings dialog, kept in the first four reserved bytes
// of the record (little-endian): 0 for none. A record from before the cap existed holds
// zeros there; bytes that are no valid cap (above kMaxFrameRateCapSetting) read as none
// too, and are left as they are unless a cap is chosen.
uint32_t FrameRateCapSetting(const Settings& s);
void SetFrameRateCapSetting(Settings* s, uint32_t framesPerSecond);

// Reads the settings record (defaults when it is absent or not exactly 16 bytes), the
// install folder (InstallDir_Demo, else DefaultInstallDir) and link1/link2 from
// links.txt; makes the install folder the current one (a missing folder is ignored). A
// missing links.txt ends the program through the fatal loader.
void LoadSettings();

// True when the store holds a settings record that can't be read (no right to read it, or
// not a plain value): LoadSettings then used the defaults in its place. A value of
// another size is not such a record: it counts as absent.
bool SettingsRecordUnreadable();

// Writes the settings record (volume and the reserved bytes exactly as they were read).
// False when it could not be written; the old value then stays as it was.
bool SaveSettings();

// Reads a value of the platform's store whose size must be exactly *size bytes. When the
// value is missing, unreadable or of another size, *size becomes 0 and destination is
// left alone.
void ReadSettingsValue(const char* keyPath, const char* valueName, void* destination,
                       uint32_t* size);

// Creates the key when needed and replaces the value whole in the platform's store: a
// crash or a kill at any moment leaves either the old value or the new one, never a mix.
// False on failure.
bool WriteSettingsValue(const char* keyPath, const char* valueName, const void* source,
                        uint32_t size);

}  // namespace yulo

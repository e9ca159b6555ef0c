// The user's settings and the install folder, kept in a small file-backed store, and the
// two banner links read from the install folder.
//
// Store layout: a key is a folder and each of its values a file whose size is the value's
// size. Key paths use '\' (or '/') between their parts, are matched without regard to
// letter case (parts are lower-cased) and live under $XDG_CONFIG_HOME (default
// ~/.config), a leading "software" part left out. So kSettingsKey is the folder
// ~/.config/velmora/screensavers/yulo, holding the files "settings" and "InstallDir_Demo".
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

inline constexpr char kSettingsKey[] = "software\\velmora\\screensavers\\yulo";
inline constexpr char kSettingsValue[] = "settings";           // the 16-byte Settings record
inline constexpr char kInstallDirValue[] = "InstallDir_Demo";  // install folder, as text
inline constexpr char kLinksFileName[] = "links.txt";          // in the install folder
inline constexpr int kLinkCapacity = 256;

extern char link1[kLinkCapacity];  // target of the first banner; "" when links.txt has none
extern char link2[kLinkCapacity];  // target of the second banner

// Reads the settings record (defaults when it is absent or not exactly 16 bytes), the
// install folder (InstallDir_Demo, else DefaultInstallDir) and link1/link2 from
// links.txt; makes the install folder the current one (a missing folder is ignored). A
// missing links.txt ends the program through the fatal loader.
void LoadSettings();

// Writes the settings record (volume and the reserved bytes exactly as they were read).
// False when it could not be written; the old value then stays as it was.
bool SaveSettings();

// Reads a value whose size must be exactly *size bytes. When the value is missing,
// unreadable or of another size, *size becomes 0 and destination is left alone.
void ReadSettingsValue(const char* keyPath, const char* valueName, void* destination,
                       uint32_t* size);

// Creates the key when needed and replaces the value atomically: a crash or a kill at any
// moment leaves either the old value or the new one, never a mix. False on failure.
bool WriteSettingsValue(const char* keyPath, const char* valueName, const void* source,
                        uint32_t size);

// The folder of a key (see above) in out; false when there is no configuration folder,
// the key path has an empty, "." or ".." part, or the result does not fit.
bool SettingsKeyFolder(const char* keyPath, char* out, size_t capacity);

// <folder of the running program>/../share/yulo, in out; false when it does not fit.
bool DefaultInstallDir(char* out, size_t capacity);

// Test seam: when set, WriteSettingsValue writes one byte per call and calls the probe
// at every step of a write (temp file open, each byte, flushed, closed, renamed), so that
// a test can end the process at each of them. nullptr (the default) for normal writes.
using SettingsWriteProbe = void (*)(int step);
void SetSettingsWriteProbe(SettingsWriteProbe probe);

}  // namespace yulo

// The POSIX value store: a key is a folder and each of its values a file whose size is
// the value's size. Key paths use '\' (or '/') between their parts, are matched without
// regard to letter case (parts are lower-cased) and live under $XDG_CONFIG_HOME (default
// ~/.config), a leading "software" part left out. So kSettingsKey is the folder
// ~/.config/velmora/screensavers/yulo, holding the files "settings" and "InstallDir_Demo".
// Values are replaced atomically (temp file, then rename).
#pragma once

#include <cstddef>

#include "shell/value_store.h"

namespace yulo {

// The folder of a key (see above) in out; false when there is no configuration folder,
// the key path has an empty, "." or ".." part, or the result does not fit.
bool SettingsKeyFolder(const char* keyPath, char* out, size_t capacity);

// Test seam: when set, a write stores one byte per call and calls the probe at every step
// (temp file open, each byte, flushed, closed, renamed), so that a test can end the
// process at each of them. nullptr (the default) for normal writes.
using SettingsWriteProbe = void (*)(int step);
void SetSettingsWriteProbe(SettingsWriteProbe probe);

}  // namespace yulo

// The platform-free steps of start-up and shut-down that every run mode shares.
#pragma once

#include <cstddef>

#include "shell/options.h"

namespace yulo {

// Reads the current folder (the install folder, made current by LoadSettings) into
// installDir, sets dataDir = installDir + "/Data/" and makes it current. A missing Data
// folder leaves the current folder as it is (the loaders then name the missing file).
// False, with nothing changed, when the folder's path does not fit the buffers.
bool EnterDataFolder();

// Applies what the options change for this run only: the music volume (--volume; 0 in
// headless rendering), the seed of both random generators (--seed), the fixed frame
// step (--fixed-step). The saved settings are remembered first.
void ApplyRunOptions(const LaunchOptions& options);

// Puts back the settings as they were loaded, so that per-run options are never saved.
void RestoreSavedSettings();

// At the end of a run: puts the loaded settings back (RestoreSavedSettings) and saves them
// unless the store already held them when the run began (it may not on a first run, or
// with a damaged value), and never over a record that is there but could not be read.
// False when a needed write failed.
bool SaveSettingsAtExit();

// An absolute form of path against the folder current now, in out; false when it does not
// fit. Used for folders named on the command line before start-up changes the folder.
bool AbsolutePath(const char* path, char* out, size_t capacity);

// Creates folder and any missing parents (like mkdir -p); true when it exists afterwards,
// else errno tells why.
bool MakeFolders(const char* folder);

}  // namespace yulo

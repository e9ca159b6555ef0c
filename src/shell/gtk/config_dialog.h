// The configuration dialog: the music volume and the two banner links (GTK 3).
#pragma once

#include "shell/window_title.h"

namespace yulo {

// Runs the modal dialog over the settings already loaded (LoadSettings): OK stores the
// slider's volume step and saves the settings, Cancel or closing the window saves nothing.
// ownerWindow is an X11 window id the dialog is kept above (0 or an unknown id: none).
// Returns 0 when the dialog ran, 1 when no display could be opened (said on stderr).
int RunConfigureDialog(unsigned long ownerWindow);

}  // namespace yulo

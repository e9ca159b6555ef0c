// The settings dialog (resource IDD_CONFIG): the music volume and the two banner links.
#pragma once

#include <windows.h>

#include "shell/window_title.h"

namespace yulo {

// Runs the modal dialog over the settings already loaded (LoadSettings), owned by owner
// (null: none). OK stores the slider's step and saves the settings; when they cannot be
// saved it says so and the dialog stays open. Cancel, Escape and the close box save
// nothing. Returns 0 when the dialog ran, 1 when it could not be created.
int RunConfigureDialog(HWND owner);

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace yulo

// The screensaver on Win32: the main window of class "D3D" (full screen, in a preview
// area, or a normal window), black windows over the other monitors, the
// message-and-frame loop and the teardown.
#pragma once

#include <windows.h>

#include "shell/options.h"

namespace yulo {

inline constexpr char kMainWindowClass[] = "D3D";
inline constexpr char kBlankWindowClass[] = "YuloBlank";
inline constexpr UINT kPreviewTimer = 1;
inline constexpr UINT kPreviewWaitMs = 500;

// Runs the screensaver from the window's creation to the saved settings: geometry, window,
// preview wait, renderer, blank frame, scene Init, shown window, main loop, teardown.
// Expects the settings loaded, the run options applied and, outside a preview, the message
// box installed (SetMessageBoxHook). Returns the exit code: 0, also when the window or the
// renderer cannot be had (nothing is shown then).
int RunScreensaver(HINSTANCE instance, const LaunchOptions& options);

// The main window's procedure, with the message table of the run modes.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The desktop's message box, without an owner, for fatal messages.
void ShowWin32MessageBox(const char* caption, const char* text);

}  // namespace yulo

// The desktop's message box for fatal messages (GTK 3).
#pragma once

namespace yulo {

// Shows text under caption with an OK button (and the error icon for a missing file,
// kLoadingErrorCaption), without an owner but above full-screen windows, and returns once
// it is closed. Without a display it shows nothing (ShowMessage has written the text to
// stderr already).
void ShowGtkMessageBox(const char* caption, const char* text);

}  // namespace yulo

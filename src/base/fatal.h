// The one road to a fatal error, and the message box every part of the program shares.
#pragma once

#include "base/printf_format.h"

namespace yulo {

// Shows a message in the desktop's message box, when the shell has installed one.
using MessageBoxHook = void (*)(const char* caption, const char* text);

// Installs the message box (nullptr removes it). The shell does this once a display is
// known to exist; without a hook, messages go to stderr only.
void SetMessageBoxHook(MessageBoxHook hook);

// Writes "caption: text" to stderr, then hands both to the message-box hook, if any.
void ShowMessage(const char* caption, const char* text);

// Shows the message and ends the process with exitCode. Every fatal path goes here.
[[noreturn]] void FatalError(const char* caption, const char* text, int exitCode = 1);

// FatalError with a printf-style text, formatted into a bounded buffer (cut, never overrun).
[[noreturn]] void FatalErrorF(const char* caption, int exitCode, const char* format, ...)
    YULO_PRINTF_FORMAT(3, 4);

}  // namespace yulo

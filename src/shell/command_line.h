// The screensaver command line as the desktop's screensaver host passes it.
#pragma once

#include <cstddef>

#include "base/shell_state.h"

namespace yulo {

// Window number given with /c:N or /p N; 0 when none was given.
extern unsigned long parentWindow;

// Parses the whole command line, program path included: skips the path (quoted or up to
// the first space), then the first '/' or '-' picks the mode from the letter after it:
// C configure (optional owner number), P preview (window number), anything else full
// screen; no switch at all is Configure. Sets parentWindow.
RunMode ParseCommandLine(const char* commandLine);

// Windows' C runtime keeps what is written straight after the closing quote of the program
// path ("C:\x\yulo.scr"/s) in argv[0], quotes dropped, where ParseCommandLine sees a switch.
// Returns how many bytes at the end of argv0 are that text; 0 when there are none or argv0
// does not end with them.
size_t TextGluedToProgramPath(const char* commandLine, const char* argv0);

}  // namespace yulo

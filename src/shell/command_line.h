// The screensaver command line as the desktop's screensaver host passes it.
#pragma once

#include "base/shell_state.h"

namespace yulo {

// Window number given with /c:N or /p N; 0 when none was given.
extern unsigned long parentWindow;

// Parses the whole command line, program path included: skips the path (quoted or up to
// the first space), then the first '/' or '-' picks the mode from the letter after it:
// C configure (optional owner number), P preview (window number), anything else full
// screen; no switch at all is Configure. Sets parentWindow.
RunMode ParseCommandLine(const char* commandLine);

}  // namespace yulo

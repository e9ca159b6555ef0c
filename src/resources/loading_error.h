// The one message every failure to load a data file ends in.
#pragma once

#include "base/printf_format.h"

namespace yulo {

// The caption of every loading failure's message box (textures keep their own wording).
inline constexpr const char* kLoadingErrorCaption = "Loading Error";

// Shows "Can't load <name>...", then the reason on its own line when one is given (a
// printf-style sentence without its final full stop), then "Program will now stop.", under
// kLoadingErrorCaption, and ends the process with exit code 1. While another file is being
// read for a name it gave (SetLoadReferrer), a note below says which. Over-long names are cut.
[[noreturn]] void LoadingError(const char* name);
[[noreturn]] void LoadingError(const char* name, const char* reasonFormat, ...)
    YULO_PRINTF_FORMAT(2, 3);

}  // namespace yulo

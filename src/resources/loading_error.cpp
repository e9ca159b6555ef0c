#include "resources/loading_error.h"

#include <cstdarg>
#include <cstdio>

#include "base/fatal.h"

namespace yulo {

namespace {

// Long enough for any path the loaders accept; a longer name is shown cut.
constexpr int kShownNameLength = 300;

}  // namespace

void LoadingError(const char* name) {
  FatalErrorF(kLoadingErrorCaption, 1, "Can't load %.*s...\nProgram will now stop.",
              kShownNameLength, name);
}

void LoadingError(const char* name, const char* reasonFormat, ...) {
  char reason[512];
  va_list args;
  va_start(args, reasonFormat);
  std::vsnprintf(reason, sizeof reason, reasonFormat, args);
  va_end(args);
  FatalErrorF(kLoadingErrorCaption, 1, "Can't load %.*s...\n%s.\nProgram will now stop.",
              kShownNameLength, name, reason);
}

}  // namespace yulo

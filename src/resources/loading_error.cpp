#include "resources/loading_error.h"

#include <cstdarg>
#include <cstdio>

#include "base/fatal.h"
#include "resources/loaded_file.h"

namespace yulo {

namespace {

// Long enough for any path the loaders accept; a longer name is shown cut.
constexpr int kShownNameLength = 300;

// The one message: the reason's line only when there is one, the referrer's note only
// while one is set.
[[noreturn]] void Stop(const char* name, const char* reason) {
  char note[400];
  DescribeLoadReferrer(note, sizeof note);
  FatalErrorF(kLoadingErrorCaption, 1, "Can't load %.*s...\n%s%sProgram will now stop.%s%s",
              kShownNameLength, name, reason, reason[0] != '\0' ? ".\n" : "",
              note[0] != '\0' ? "\n\n" : "", note);
}

}  // namespace

void LoadingError(const char* name) {
  Stop(name, "");
}

void LoadingError(const char* name, const char* reasonFormat, ...) {
  char reason[512];
  va_list args;
  va_start(args, reasonFormat);
  std::vsnprintf(reason, sizeof reason, reasonFormat, args);
  va_end(args);
  Stop(name, reason);
}

}  // namespace yulo

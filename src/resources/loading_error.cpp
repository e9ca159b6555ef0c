#include "resources/loading_error.h"

#include <cstdarg>
#include <cstdio>

#include "base/fatal.h"
#include "resources/loaded_file.h"

namespace yulo {

namespace {

// Long enough for any path the loaders accept; a longer name is shown cut.
constexpr int kShownNameLength = 300;
// "Named in <file>, <key>." for a file whose name another file gave.
constexpr size_t kNoteCapacity = 400;

}  // namespace

void LoadingError(const char* name) {
  char note[kNoteCapacity];
  DescribeLoadReferrer(note, sizeof note);
  FatalErrorF(kLoadingErrorCaption, 1, "Can't load %.*s...\nProgram will now stop.%s%s",
              kShownNameLength, name, note[0] != '\0' ? "\n\n" : "", note);
}

void LoadingError(const char* name, const char* reasonFormat, ...) {
  char reason[512];
  va_list args;
  va_start(args, reasonFormat);
  std::vsnprintf(reason, sizeof reason, reasonFormat, args);
  va_end(args);
  char note[kNoteCapacity];
  DescribeLoadReferrer(note, sizeof note);
  FatalErrorF(kLoadingErrorCaption, 1, "Can't load %.*s...\n%s.\nProgram will now stop.%s%s",
              kShownNameLength, name, reason, note[0] != '\0' ? "\n\n" : "", note);
}

}  // namespace yulo

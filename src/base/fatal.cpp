#include "base/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace yulo {

namespace {
MessageBoxHook messageBoxHook = nullptr;
}

void SetMessageBoxHook(MessageBoxHook hook) {
  messageBoxHook = hook;
}

void ShowMessage(const char* caption, const char* text) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
  if (messageBoxHook != nullptr) messageBoxHook(caption, text);
}

void FatalError(const char* caption, const char* text, int exitCode) {
  ShowMessage(caption, text);
  // The process ends here on purpose: nothing half-loaded may be used afterwards, and the
  // libraries release what they own as the process goes.
  std::exit(exitCode);
}

void FatalErrorF(const char* caption, int exitCode, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  FatalError(caption, text, exitCode);
}

}  // namespace yulo

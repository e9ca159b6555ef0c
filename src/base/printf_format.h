// Format-string checking for printf-style functions of our own.
#pragma once

#include <cstdio>

// mingw-w64 formats through its own C99 printf (%zu, %llu); the checker must be told so.
#if defined(__MINGW32__)
#define YULO_PRINTF_FORMAT(formatIndex, firstArg) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArg)))
#else
#define YULO_PRINTF_FORMAT(formatIndex, firstArg) \
  __attribute__((format(printf, formatIndex, firstArg)))
#endif

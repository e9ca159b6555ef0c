# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads), linked statically
# so that the screensaver needs no runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(YULO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${YULO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YULO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${YULO_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${YULO_MINGW_PREFIX}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${YULO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Shared build rules: warnings, sanitizers and one static library per source folder.

add_library(yulo_options INTERFACE)
target_compile_options(yulo_options INTERFACE -Wall -Wextra -Werror)
if(WIN32)
  # Windows 7 and later APIs, and no min/max macros over the standard library's.
  target_compile_definitions(yulo_options INTERFACE
    _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
endif()
# stb's headers from the build folder's copy (cmake/StbHeaders.cmake says why).
include(${CMAKE_CURRENT_LIST_DIR}/StbHeaders.cmake)
target_include_directories(yulo_options SYSTEM INTERFACE ${YULO_STB_INCLUDE})
target_include_directories(yulo_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(YULO_SANITIZE)
  target_compile_options(yulo_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(yulo_options INTERFACE -fsanitize=address,undefined)
endif()

# Platform files are told apart by name: *_posix.cpp builds only for Linux, *_win32.cpp
# only for Windows. Everything else builds for both.
macro(yulo_platform_sources list)
  if(WIN32)
    list(FILTER ${list} EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER ${list} EXCLUDE REGEX "_win32\\.cpp$")
  endif()
endmacro()

# yulo_module(<name> [DIR <folder>] [DEPS <targets>...])
# Builds every .cpp of the folder (not of its subfolders) into the static library
# yulo_<name>. A folder without sources yet becomes an interface library so that the
# layers above it can already name it.
function(yulo_module name)
  cmake_parse_arguments(M "" "DIR" "DEPS" ${ARGN})
  if(NOT M_DIR)
    set(M_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${M_DIR}/*.cpp)
  yulo_platform_sources(sources)
  if(sources)
    add_library(yulo_${name} STATIC ${sources})
    target_link_libraries(yulo_${name} PUBLIC yulo_options ${M_DEPS})
  else()
    add_library(yulo_${name} INTERFACE)
    target_link_libraries(yulo_${name} INTERFACE yulo_options ${M_DEPS})
  endif()
endfunction()

# yulo_test_suite(<folder> DEPS <targets>...)
# One GoogleTest program per test folder, from every .cpp in it.
function(yulo_test_suite folder)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" tname ${folder})
  add_executable(test_${tname} ${sources})
  target_link_libraries(test_${tname} PRIVATE ${T_DEPS} yulo_test_support GTest::gtest_main)
  # The suites' own code is not what they measure: in the optimised builds it is compiled at
  # -O1 with line tables only, which takes about half the time of -O2 with full debug
  # information (the suites are three quarters of the build); the code under test keeps the
  # build's flags.
  target_compile_options(test_${tname} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O1 -g1>)
  # The suites' files are compiled a few at a time as one unit (CMake's unity build), so
  # that GoogleTest's and the standard library's headers are not parsed again for every
  # file: this takes a third off the optimised build and two fifths off the sanitizer
  # build. Names local to a test file must therefore not clash with another file's of the
  # same folder; what several files share belongs in a header of theirs.
  set_target_properties(test_${tname} PROPERTIES UNITY_BUILD ON)
  gtest_discover_tests(test_${tname}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${folder}
    PROPERTIES LABELS ${tname}
    DISCOVERY_TIMEOUT 60)
endfunction()

if(YULO_FUZZ)
  # Every library is instrumented for coverage; only the fuzz programs link the driver.
  target_compile_options(yulo_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

// What the whole-program tests share: the program's path, a private settings folder, and
// whether the generated data exists yet.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace yulo::test {

// The colour of a test's own window that stands for a host's, before anything is drawn.
constexpr unsigned long kHostBackground = 0xFF00FF;

// The program under test (build/.../bin/yulo).
const char* ProgramPath();

// True when the install folder next to the program holds the generated data.
bool HaveInstalledData();

// Makes sure a run with settings in configHome finds a complete data set: the generated
// one next to the program when it is built, else a tiny one written with the format
// writers into configHome/install and named there as the install folder. True when the
// generated (real) data is used.
bool PrepareDataSet(const std::string& configHome);

// Writes the tiny data set into configHome/install and names it there as the install
// folder, whatever is built; the path of its Data folder.
std::string WriteTinyDataSet(const std::string& configHome);

// The sanitizer options of a leak-checked child run. The runtime's hook on dynamic TLS
// (intercept_tls_get_addr) takes a block that happens to start 16 bytes into a page for a
// header of an old C library's and reads a range from before it, and the leak check's
// tracer then crashes at exit ("Tracer caught signal 11") in about one run in fifty here.
// Without the hook, the dynamic TLS of loaded libraries is not scanned; the program itself
// has none.
inline constexpr const char* kLeakCheckedRun =
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0";

// Environment entries for a run: settings kept in configHome, no sound device, no
// XScreenSaver window unless the test gives one, display as given ("" removes DISPLAY);
// in the sanitizer build, leaks are checked in headless runs.
std::vector<std::string> ProgramEnvironment(const std::string& configHome,
                                            const std::string& display);

// Reads a whole file; "" when missing.
std::string ReadFile(const std::string& path);

}  // namespace yulo::test

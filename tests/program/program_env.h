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

// Environment entries for a run: settings kept in configHome, no sound device, no
// XScreenSaver window unless the test gives one, display as given ("" removes DISPLAY);
// in the sanitizer build, leaks are checked in headless runs.
std::vector<std::string> ProgramEnvironment(const std::string& configHome,
                                            const std::string& display);

// Reads a whole file; "" when missing.
std::string ReadFile(const std::string& path);

}  // namespace yulo::test

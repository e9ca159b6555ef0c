#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace yulo {
namespace {

struct SwitchCase {
  const char* commandLine;
  RunMode mode;
  unsigned long window;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
  *os << '[' << c.commandLine << ']';
}

class CommandLineSwitches : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CommandLineSwitches, ModeAndWindow) {
  parentWindow = 0;
  const SwitchCase& c = GetParam();
  EXPECT_EQ(ParseCommandLine(c.commandLine), c.mode) << c.commandLine;
  EXPECT_EQ(parentWindow, c.window) << c.commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineSwitches,
    ::testing::Values(
        SwitchCase{"yulo.scr", RunMode::Configure, 0},
        SwitchCase{"yulo.scr /c", RunMode::Configure, 0},
        SwitchCase{"yulo.scr /c:5678", RunMode::Configure, 5678},
        SwitchCase{"yulo.scr -C 77", RunMode::Configure, 77},
        SwitchCase{"yulo.scr /p 1234", RunMode::Preview, 1234},
        SwitchCase{"yulo.scr /p:1234", RunMode::Preview, 1234},
        SwitchCase{"yulo.scr -P1234", RunMode::Preview, 1234},
        SwitchCase{"yulo.scr /p", RunMode::Preview, 0},
        SwitchCase{"yulo.scr /s", RunMode::FullScreen, 0},
        SwitchCase{"yulo.scr /S", RunMode::FullScreen, 0},
        SwitchCase{"yulo.scr /a", RunMode::FullScreen, 0},
        SwitchCase{"yulo.scr -x", RunMode::FullScreen, 0},
        SwitchCase{"yulo.scr /", RunMode::FullScreen, 0},
        SwitchCase{"yulo.scr /s /c:12", RunMode::FullScreen, 0},  // only the first switch counts
        // A quoted path with spaces, '-' and '/' is skipped whole.
        SwitchCase{"\"C:/Program Files/my-saver/yulo.scr\" /p 42", RunMode::Preview, 42},
        SwitchCase{"\"C:/a-b/c /s\"", RunMode::Configure, 0},
        // An unquoted path ends at the first space: the rest is searched for a switch.
        SwitchCase{"C:/a b-c9/yulo.scr", RunMode::Configure, 9},
        SwitchCase{"/usr/bin/yulo -s", RunMode::FullScreen, 0},
        SwitchCase{"", RunMode::Configure, 0},
        // Numbers too large for a window id saturate rather than overflow.
        SwitchCase{"yulo /p 999999999999999999999999", RunMode::Preview, ~0ul}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(CommandLine, PreviewWithoutNumberKeepsTheWindow) {
  parentWindow = 55;
  EXPECT_EQ(ParseCommandLine("yulo.scr /p"), RunMode::Preview);
  EXPECT_EQ(parentWindow, 55u);
  EXPECT_EQ(ParseCommandLine("yulo.scr /c"), RunMode::Configure);
  EXPECT_EQ(parentWindow, 0u);
}

// The C runtime's argv[0] for each command line, as Wine's runtime splits it.
TEST(CommandLine, TextGluedToAQuotedProgramPathIsFound) {
  struct Case {
    const char* commandLine;
    const char* argv0;
    size_t glued;
  };
  const Case cases[] = {
      {"\"C:\\x\\yulo.scr\"/s", "C:\\x\\yulo.scr/s", 2},
      {"\"C:\\x\\yulo.scr\"/p 1234", "C:\\x\\yulo.scr/p", 2},
      {"\"C:\\x\\yulo.scr\"/c:\"12\" x", "C:\\x\\yulo.scr/c:12", 5},
      {"\"C:\\x\\yulo.scr\" /s", "C:\\x\\yulo.scr", 0},
      {"\"C:\\x\\yulo.scr\"", "C:\\x\\yulo.scr", 0},
      {"C:\\x\\yulo.scr/s", "C:\\x\\yulo.scr/s", 0},  // unquoted: all of it is the path
      {"\"C:\\x\\yulo.scr\"/s", "something else", 0},
      {"\"C:\\x\\yulo.scr/s", "C:\\x\\yulo.scr/s", 0},  // no closing quote
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextGluedToProgramPath(c.commandLine, c.argv0), c.glued) << c.commandLine;
  }
}

}  // namespace
}  // namespace yulo

#include "shell/command_line.h"

#include <cstring>
#include <string>
#include <string_view>

namespace yulo {

unsigned long parentWindow = 0;

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The decimal number at the first digit from p on, or 0 when there is none. Digits beyond
// what a window number can hold saturate instead of overflowing.
unsigned long ReadWindowNumber(const char* p) {
  while (*p != '\0' && !IsDigit(*p)) ++p;
  unsigned long value = 0;
  for (; IsDigit(*p); ++p) {
    const unsigned long digit = static_cast<unsigned long>(*p - '0');
    if (value > (~0ul - digit) / 10) return ~0ul;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

RunMode ParseCommandLine(const char* commandLine) {
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ') ++p;
    if (*p == ' ') ++p;
  }

  while (*p != '\0' && *p != '/' && *p != '-') ++p;
  if (*p == '\0') return RunMode::Configure;

  const char mode = p[1];
  if (mode == 'C' || mode == 'c') {
    parentWindow = ReadWindowNumber(p + 2);
    return RunMode::Configure;
  }
  if (mode == 'P' || mode == 'p') {
    const unsigned long window = ReadWindowNumber(p + 2);
    if (window != 0) parentWindow = window;
    return RunMode::Preview;
  }
  return RunMode::FullScreen;
}

size_t TextGluedToProgramPath(const char* commandLine, const char* argv0) {
  if (commandLine[0] != '"') return 0;
  const char* p = std::strchr(commandLine + 1, '"');
  if (p == nullptr) return 0;
  // The runtime goes on to the first space or tab outside quotes, dropping the quotes.
  std::string glued;
  bool quoted = false;
  for (++p; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      glued += *p;
    }
  }
  const std::string_view path(argv0);
  if (glued.empty() || glued.size() >= path.size() || !path.ends_with(glued)) return 0;
  return glued.size();
}

}  // namespace yulo

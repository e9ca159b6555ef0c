#include "shell/link_target.h"

#include <cstddef>

namespace yulo {

namespace {

constexpr const char* kOpenablePrefixes[] = {"http://", "https://", "mailto:"};

// Length of prefix when text starts with it (ASCII letters in any case), else 0.
size_t MatchPrefix(const char* text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return 0;
  }
  return i;
}

}  // namespace

bool IsOpenableLinkTarget(const char* target) {
  if (target == nullptr) return false;
  size_t start = 0;
  for (const char* prefix : kOpenablePrefixes)
    if ((start = MatchPrefix(target, prefix)) != 0) break;
  if (start == 0 || target[start] == '\0') return false;
  // A line break or other control byte has no place in a URL, and handlers disagree on
  // where such a target ends.
  for (const char* p = target; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return false;
  return true;
}

}  // namespace yulo

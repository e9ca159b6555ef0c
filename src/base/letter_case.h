// The one rule by which names match without regard to letter case: the ASCII letters and
// the 8-bit ones from 0xE0 up (whose capitals lie 0x20 below) become capitals; every other
// byte stays.
#pragma once

namespace yulo {

inline unsigned char UpperCaseByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || c >= 0xE0 ? static_cast<unsigned char>(c - 0x20) : c;
}

}  // namespace yulo

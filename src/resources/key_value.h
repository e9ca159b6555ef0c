// Reader for key=value text: a key (with its '=') is found by a plain, case-sensitive
// substring search; its value runs to the next carriage return or the end of the text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

// Copies the value of key into out (at most capacity - 1 bytes, always terminated) and
// returns out; for an absent key, out becomes "" and the result is nullptr.
char* GetValueString(char* out, size_t capacity, const char* text, const char* key);
// The same into a character array, whose size is the capacity.
template <size_t N>
char* GetValueString(char (&out)[N], const char* text, const char* key) {
  return GetValueString(out, N, text, key);
}
// The value read as a decimal number (first 31 characters); 0 when absent or empty.
float GetValueFloat(const char* text, const char* key);
// The value read as a decimal number and truncated toward zero; 0 when absent or empty.
int32_t GetValueInt(const char* text, const char* key);

}  // namespace yulo

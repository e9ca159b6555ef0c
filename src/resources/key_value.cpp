#include "resources/key_value.h"

#include <cstdlib>
#include <cstring>

namespace yulo {

char* GetValueString(char* out, size_t capacity, const char* text, const char* key) {
  if (capacity == 0) return nullptr;
  const char* found = std::strstr(text, key);
  if (found == nullptr) {
    out[0] = '\0';
    return nullptr;
  }
  const char* value = found + std::strlen(key);
  size_t length = 0;
  while (value[length] != '\0' && value[length] != '\r') ++length;
  // A value longer than the caller's buffer is cut to fit, never written past it.
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(out, value, length);
  out[length] = '\0';
  return out;
}

namespace {

// The value as a double; values longer than 31 characters are read from their first 31.
// Decimal numbers only: the C library would also take hexadecimal ("0x10" is 0 here, as the
// decimal digits stop at the x) and words such as "inf" and "nan" (0 here: no digits).
double ReadNumber(const char* text, const char* key) {
  char buffer[32];
  if (GetValueString(buffer, sizeof buffer, text, key) == nullptr || buffer[0] == '\0') return 0.0;
  char* p = buffer;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' || *p == '-') ++p;
  if (!((*p >= '0' && *p <= '9') || *p == '.')) return 0.0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p[1] = '\0';
  return std::strtod(buffer, nullptr);
}

}  // namespace

float GetValueFloat(const char* text, const char* key) {
  return static_cast<float>(ReadNumber(text, key));
}

int32_t GetValueInt(const char* text, const char* key) {
  const double value = ReadNumber(text, key);
  // Out-of-range and not-a-number values would be undefined in the conversion; clamp them.
  if (!(value > -2147483649.0)) return value != value ? 0 : INT32_MIN;
  if (value >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(value);
}

}  // namespace yulo

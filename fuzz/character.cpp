// Character files: two NUL-terminated names.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "models/model_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  yulo::CharacterFileView file;
  yulo::FileError error;
  if (!yulo::ReadCharacterFile(data, size, &file, &error)) return 0;
  if (std::strlen(file.skinName) == 0 || std::strlen(file.textureName) == 0) __builtin_trap();
  return 0;
}

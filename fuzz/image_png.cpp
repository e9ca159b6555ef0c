// Image decoding, seeded with PNG files of every supported variant.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImage(data, size);
}

// Image decoding, seeded with DDS files: uncompressed, DXT1 and DXT5.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImage(data, size);
}

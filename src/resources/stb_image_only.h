// The BMP and TGA readers of stb_image, built here with every other format left out.
#pragma once

#include <stb/stb_image.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yulo {

// The bytes start with a TGA header stb_image accepts.
bool StbIsTga(const uint8_t* data, size_t size);
// The file holds every byte of pixel data its header announces. stb_image reads zeros past
// the end of its input instead of failing, so a cut-off file is caught here.
bool StbPayloadComplete(const uint8_t* data, size_t size);
// What to hand stb_image for a BMP or a TGA file.
enum class StbInput {
  kAsItIs,     // the file itself
  kRewritten,  // the rewritten file, which stb_image reads correctly
  kRefused,    // nothing: the file is damaged
};
// Rewrites the BMP variants stb_image misreads or does not read into ones it reads: the
// palette of the older 12-byte header, and run-length coded 8-bit and 4-bit pictures.
StbInput StbRewriteBmp(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
// Rewrites a TGA colour map whose first entry is not index 0 into one that starts there.
StbInput StbRewriteTga(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
// stb_image ignores the right-to-left bit of a TGA header: this turns the decoded width x
// height RGBA texels of such a file round, row by row.
void StbTgaMirrorRows(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                      uint32_t height);
// stb_image reads 16-bit TGA texels as opaque; when the header gives them an attribute
// bit, it is their alpha: this writes it into the decoded width x height RGBA texels.
void StbTgaAttributeAlpha(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                          uint32_t height);

}  // namespace yulo

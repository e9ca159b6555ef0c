// Ogg page checks that need no decoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

// Length of the part of an Ogg file that ends with its last whole, checksummed page: the
// bytes after it (zero padding, a cut page, junk) are not music. Decoders search backwards
// through such a tail to find the stream's end, which takes minutes over a large one. The
// whole size when no valid page is found (the decoder then reports the file as broken).
size_t OggPlayableLength(const uint8_t* bytes, size_t size);

}  // namespace yulo

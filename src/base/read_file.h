// Whole-file reading that a hostile or broken install can't stall or exhaust: only regular
// files are read (a named pipe, a device or a folder at a data path is refused without
// waiting), and never more bytes than the caller's limit for that kind of file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

inline constexpr uint32_t kMiB = 1024u * 1024u;

// Largest file of each kind the program reads; every real file is far smaller.
inline constexpr uint32_t kTextFileSizeLimit = 1 * kMiB;     // .cgo, .chr, links.txt
inline constexpr uint32_t kModelFileSizeLimit = 32 * kMiB;   // .msh_s, skins, .anm
inline constexpr uint32_t kImageFileSizeLimit = 80 * kMiB;   // textures: the largest picture
                                                             // the decoder takes, uncompressed
inline constexpr uint32_t kBannerFileSizeLimit = 16 * kMiB;  // ad1.bmp, ad2.bmp
inline constexpr uint32_t kMusicFileSizeLimit = 32 * kMiB;   // music.ogg (also for exports)

enum class ReadFileResult {
  Ok,
  CannotOpen,      // missing, or no right to read it
  NotRegularFile,  // a folder, named pipe, socket or device
  TooLarge,        // larger than the limit
  ReadFailed,      // an error or a change of size while reading, or no memory
};

// Reads the whole file at path (relative to the current folder) when it is a regular file
// of at most limit bytes. On Ok, *data holds *size bytes plus a zero byte after them
// (allocated with new uint8_t[]; the caller owns it); otherwise both are left alone.
ReadFileResult ReadRegularFile(const char* path, uint32_t limit, uint8_t** data, uint32_t* size);

// Whether path is a regular file of at most limit bytes, without reading it (and without
// blocking on a named pipe). *size, when given, receives its size on Ok.
ReadFileResult CheckRegularFile(const char* path, uint32_t limit, uint32_t* size);

// One sentence saying why a read failed ("It is not a regular file."), written into out;
// the empty text for Ok and CannotOpen, whose messages need no reason.
void DescribeReadFailure(ReadFileResult result, uint32_t limit, char* out, size_t capacity);

}  // namespace yulo

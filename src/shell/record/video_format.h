// What a video file holds, chosen by its name: container, codecs and how --quality maps
// onto each codec's own scale. Plain tables, no FFmpeg here.
#pragma once

#include <cstdint>

namespace yulo {

enum class VideoKind {
  Encoded,  // a compressed picture stream, and a sound stream unless silent
  Gif,      // one palette for the whole clip, dithered; no sound
  Raw,      // YUV 4:2:0 frames as they are (y4m); no sound
};

// A GIF's frame delays are whole hundredths of a second, and players stretch delays
// below two of them: faster than this, its frames would not keep time.
inline constexpr uint32_t kMaxGifFps = 50;

struct VideoFormat {
  const char* extension;     // with the dot, lower case
  const char* muxer;         // FFmpeg's name of the container
  const char* videoEncoder;  // FFmpeg's name of the picture encoder
  const char* audioEncoder;  // FFmpeg's name of the sound encoder; nullptr: no sound
  VideoKind kind;
};

// The format the file name's extension asks for (any case), or nullptr. "-" (standard
// output) is y4m.
const VideoFormat* FindVideoFormat(const char* path);

// The extensions FindVideoFormat knows, for messages: ".mp4, .webm, .mkv, .gif, .y4m".
const char* KnownVideoExtensions();

// --quality (0 smallest .. 100 best) on a codec's scale: the constant rate factor of
// libx264 (51..0) and libvpx-vp9 (63..0), the palette size of a GIF (16..256 colours).
int X264Crf(uint32_t quality);
int Vp9Crf(uint32_t quality);
int GifColours(uint32_t quality);

// Sound bit rate in bits a second for the encoders with one (stereo, 48 kHz).
int AudioBitRate(const char* audioEncoder);

}  // namespace yulo

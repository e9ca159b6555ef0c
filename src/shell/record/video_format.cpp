#include "shell/record/video_format.h"

#include <strings.h>

#include <cstring>

namespace yulo {

namespace {

constexpr VideoFormat kFormats[] = {
    {".mp4", "mp4", "libx264", "aac", VideoKind::Encoded},
    {".webm", "webm", "libvpx-vp9", "libopus", VideoKind::Encoded},
    {".mkv", "matroska", "libx264", "libopus", VideoKind::Encoded},
    {".gif", "gif", "gif", nullptr, VideoKind::Gif},
    {".y4m", "yuv4mpegpipe", "rawvideo", nullptr, VideoKind::Raw},
};

// Linear from worst to best, rounded to the nearest step.
int Scale(uint32_t quality, int worst, int best) {
  const int q = quality > 100 ? 100 : static_cast<int>(quality);
  const int span = best - worst;
  const int scaled = span * q;
  return worst + (scaled >= 0 ? (scaled + 50) / 100 : -((-scaled + 50) / 100));
}

}  // namespace

const VideoFormat* FindVideoFormat(const char* path) {
  if (std::strcmp(path, "-") == 0) return &kFormats[4];
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  const char* dot = std::strrchr(name, '.');
  // ".mp4" alone is a hidden file without an extension, not a video.
  if (dot == nullptr || dot == name) return nullptr;
  for (const VideoFormat& format : kFormats) {
    if (strcasecmp(dot, format.extension) == 0) return &format;
  }
  return nullptr;
}

const char* KnownVideoExtensions() {
  return ".mp4, .webm, .mkv, .gif, .y4m";
}

int X264Crf(uint32_t quality) {
  // Not 0: that is lossless coding, in a profile many players and hardware decoders lack.
  return Scale(quality, 51, 1);
}

int Vp9Crf(uint32_t quality) {
  return Scale(quality, 63, 0);
}

int GifColours(uint32_t quality) {
  return Scale(quality, 16, 256);
}

int AudioBitRate(const char* audioEncoder) {
  if (audioEncoder != nullptr && std::strcmp(audioEncoder, "aac") == 0) return 160000;
  return 128000;
}

}  // namespace yulo

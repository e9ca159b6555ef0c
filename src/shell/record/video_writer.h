// Encodes the pictures and the sound of a video into one file with FFmpeg's libraries
// (libavcodec, libavformat, libswscale; libavfilter for the palette of a GIF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "shell/record/video_format.h"

namespace yulo {

struct VideoSettings {
  const VideoFormat* format;
  int width;  // even
  int height;
  uint32_t fps;
  uint32_t quality;  // 0..100
  bool withSound;    // a sound stream at kSoundRate, stereo (formats that have one)
};

// Whether this FFmpeg has the encoders and the container the format needs; false with a
// one-line message (naming what is missing) in error.
bool CheckVideoEncoders(const VideoFormat& format, bool withSound, char* error,
                        size_t errorCapacity);

class VideoWriter {
 public:
  VideoWriter();
  ~VideoWriter();  // releases everything; a file that was not finished stays as it is
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Starts the file at path ("pipe:1" is standard output). spoolFolder is where a GIF
  // keeps its frames until the palette is known (an unnamed file, gone when closed).
  bool Open(const char* path, const VideoSettings& settings, const char* spoolFolder);
  // The next picture: width x height RGBA8 texels, row 0 at the top.
  bool WriteFrame(const uint8_t* rgba);
  // The next frames sample frames of sound, interleaved stereo float.
  bool WriteSound(const float* samples, uint32_t frames);
  // Flushes the encoders and ends the file. The file is complete only when this is true.
  bool Finish();

  // What went wrong, one line; "" while nothing did.
  const char* Error() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace yulo

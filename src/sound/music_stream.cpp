#include "sound/music_stream.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <climits>
#include <cstring>

#include "base/read_file.h"
#include "sound/ogg_pages.h"

namespace yulo {

int MusicVolumePercent(int32_t step) {
  if (step < 0) step = 0;
  if (step > kMaxMusicVolumeStep) step = kMaxMusicVolumeStep;
  return static_cast<int>(5 * step);
}

bool OpenMusicStream(const char* path, MusicStream* stream) {
  stream->bytes = nullptr;
  stream->decoder = nullptr;
  uint8_t* bytes = nullptr;
  uint32_t size = 0;
  if (ReadRegularFile(path, kMusicFileSizeLimit, &bytes, &size) != ReadFileResult::Ok) return false;
  // Junk after the last page would only make the decoder search it for the stream's end.
  const size_t playable = OggPlayableLength(bytes, size);
  int error = 0;
  stb_vorbis* decoder =
      playable <= INT_MAX
          ? stb_vorbis_open_memory(bytes, static_cast<int>(playable), &error, nullptr)
          : nullptr;
  const stb_vorbis_info info =
      decoder != nullptr ? stb_vorbis_get_info(decoder) : stb_vorbis_info{};
  if (decoder == nullptr || info.channels < 1 || info.sample_rate < 8000 ||
      info.sample_rate > 192000) {
    if (decoder != nullptr) stb_vorbis_close(decoder);
    delete[] bytes;
    return false;
  }
  stream->bytes = bytes;
  stream->decoder = decoder;
  stream->channels = info.channels == 1 ? 1 : 2;
  stream->sampleRate = info.sample_rate;
  return true;
}

void CloseMusicStream(MusicStream* stream) {
  if (stream->decoder != nullptr) stb_vorbis_close(stream->decoder);
  stream->decoder = nullptr;
  delete[] stream->bytes;
  stream->bytes = nullptr;
}

bool FillMusic(MusicStream* stream, int16_t* out, uint32_t frames, int volumePercent) {
  const int channels = stream->channels;
  uint32_t done = 0;
  bool restarted = false;  // went back to the start without a sample since
  while (done < frames && stream->decoder != nullptr) {
    const uint32_t want = frames - done;
    const int got = stb_vorbis_get_samples_short_interleaved(
        stream->decoder, channels, out + static_cast<size_t>(done) * channels,
        static_cast<int>(want > 0x10000 ? 0x10000 : want) * channels);
    if (got > 0) {
      done += static_cast<uint32_t>(got);
      restarted = false;
      continue;
    }
    // The end: go round again, unless the start itself gives nothing.
    if (restarted || !stb_vorbis_seek_start(stream->decoder)) break;
    restarted = true;
  }
  int16_t* samples = out;
  const size_t count = static_cast<size_t>(frames) * channels;
  const size_t filled = static_cast<size_t>(done) * channels;
  std::memset(samples + filled, 0, (count - filled) * sizeof(int16_t));
  if (volumePercent < 0) volumePercent = 0;
  if (volumePercent < 100) {
    for (size_t i = 0; i < filled; ++i)
      samples[i] = static_cast<int16_t>(samples[i] * volumePercent / 100);
  }
  return done == frames;
}

}  // namespace yulo

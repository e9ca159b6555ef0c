// The music file as a looping stream of 16-bit PCM, for outputs that pull their samples
// (the Windows player). Ogg Vorbis through stb_vorbis, compiled into the program.
#pragma once

#include <cstdint>

struct stb_vorbis;

namespace yulo {

inline constexpr int32_t kMaxMusicVolumeStep = 20;  // stream volume = 5 x step percent

struct MusicStream {
  uint8_t* bytes;       // the whole file, owned; the decoder reads from it
  stb_vorbis* decoder;  // owned; nullptr when closed
  int channels;         // of the samples handed out: 1 or 2 (more are mixed down to 2)
  uint32_t sampleRate;  // Hz
};

// The stream volume of a settings step: 5 x step percent, the step clamped to 0..20.
int MusicVolumePercent(int32_t step);

// Reads an Ogg Vorbis file whole and opens it. False (nothing held) when it is missing,
// not a regular file, over kMusicFileSizeLimit or not a stream stb_vorbis can decode.
bool OpenMusicStream(const char* path, MusicStream* stream);
void CloseMusicStream(MusicStream* stream);

// Fills frames x channels interleaved samples, going back to the start of the file at its
// end without a gap, each scaled by volumePercent (0..100). Allocates nothing. False when
// the stream gives no sample at all from its start (an empty or undecodable body); out
// then holds silence.
bool FillMusic(MusicStream* stream, int16_t* out, uint32_t frames, int volumePercent);

}  // namespace yulo

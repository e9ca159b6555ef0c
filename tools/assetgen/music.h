// The screensaver's music: an original looping winter tune (bells and a music box over a
// soft pad, with bass and sleigh bells), synthesised here and encoded as Ogg Vorbis.
#pragma once

#include <cstdint>
#include <vector>

namespace yulo::assetgen {

constexpr int kMusicSampleRate = 44100;
constexpr int kMusicChannels = 2;
constexpr int kMusicFramesPerBeat = 31500;  // 84 beats per minute
constexpr int kMusicBars = 24;
constexpr int kMusicBeatsPerBar = 4;
constexpr int kMusicFrames = kMusicFramesPerBeat * kMusicBeatsPerBar * kMusicBars;
constexpr double kMusicTargetLufs = -16.0;
constexpr double kMusicPeakCeilingDb = -1.5;  // leaves room for the codec's overshoot

struct MusicLevels {
  double loudnessLufs = 0.0;  // integrated loudness of the finished loop
  double peakDb = 0.0;        // sample peak of the finished loop
};

// Renders the whole loop as interleaved stereo samples (kMusicFrames frames). The last
// frame runs into the first one: note tails and reverb wrap around the loop.
std::vector<float> SynthesizeMusic(MusicLevels* levels);

// Encodes interleaved stereo samples as Ogg Vorbis (variable bit rate at `quality`,
// -0.1 .. 1). Deterministic: fixed stream serial number and comments.
bool EncodeVorbis(const std::vector<float>& interleaved, float quality, std::vector<uint8_t>* out);

}  // namespace yulo::assetgen

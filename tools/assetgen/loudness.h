// Level measurements for the music: sample peak and integrated loudness (K-weighted,
// gated, in LUFS) of interleaved stereo samples in [-1, 1].
#pragma once

#include <cstddef>

namespace yulo::assetgen {

// Largest absolute sample value.
float SamplePeak(const float* interleaved, size_t frames);
// Integrated loudness of a stereo signal, in LUFS; -inf-like (-200) for silence.
double IntegratedLoudness(const float* interleaved, size_t frames, int sampleRate);
// 20 * log10(value), with -200 for zero.
double ToDecibels(double value);

}  // namespace yulo::assetgen

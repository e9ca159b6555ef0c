// The video's sound: the music decoded once, then mixed chunk by chunk on the sample
// clock of the pictures (sample counts, never clocks): looped to the video's length, at
// the run's volume, faded out over the last second, or cross-faded into its start for a
// seamless loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yulo {

inline constexpr uint32_t kSoundRate = 48000;  // sample frames a second
inline constexpr uint32_t kSoundChannels = 2;  // interleaved left, right

// Where the track lies in the music, all in sample frames at kSoundRate.
struct SoundPlan {
  uint64_t startFrame;       // music position of the first rendered moment (--start)
  uint64_t outputFrames;     // the track's length
  uint64_t crossFadeFrames;  // seamless: rendered beyond the end and faded into the start
  uint64_t fadeOutFrames;    // silenced linearly over the last fadeOutFrames (0: none)
  float gain;                // 0..1
};

// First sample frame of video frame n at fps frames a second: n * kSoundRate / fps,
// rounded down, so that the frames' sample counts add up exactly.
uint64_t SoundFrameOfVideoFrame(uint64_t n, uint32_t fps);

// How many sample frames of music the plan reads at most (beyond that it loops).
uint64_t MusicFramesNeeded(const SoundPlan& plan);

// Decodes path (any format FFmpeg reads) into interleaved stereo float at kSoundRate,
// at most maxFrames sample frames. False with a one-line reason in error when the file
// is missing, unreadable or holds no sound.
bool DecodeMusic(const char* path, uint64_t maxFrames, std::vector<float>* samples, char* error,
                 size_t errorCapacity);

// Sample frames from..from+count of the track, interleaved stereo, into out. The track
// at t is the music at plan.startFrame + t (+ crossFadeFrames when seamless), looped over
// musicFrames; with a seamless plan the last crossFadeFrames blend the music that follows
// the end into the music of the start. musicFrames 0 gives silence.
void MixSoundTrack(const float* music, uint64_t musicFrames, const SoundPlan& plan, uint64_t from,
                   uint64_t count, float* out);

}  // namespace yulo

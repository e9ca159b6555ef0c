// The video export's own rules: names to formats, quality scales, the layout of a
// seamless loop, and the sound track on the pictures' sample clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/record/recorder.h"
#include "shell/record/sound_track.h"
#include "shell/record/video_format.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

TEST(VideoFormats, TheNameChoosesContainerAndCodecs) {
  struct Case {
    const char* path;
    const char* muxer;  // nullptr: refused
    const char* audio;
  };
  const Case cases[] = {
      {"/tmp/show.mp4", "mp4", "aac"},         {"show.WEBM", "webm", "libopus"},
      {"a.b/show.mkv", "matroska", "libopus"}, {"show.gif", "gif", nullptr},
      {"show.y4m", "yuv4mpegpipe", nullptr},   {"-", "yuv4mpegpipe", nullptr},
      {"show.avi", nullptr, nullptr},          {"show", nullptr, nullptr},
      {"dir.mp4/show", nullptr, nullptr},      {"/tmp/.mp4", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const VideoFormat* format = FindVideoFormat(c.path);
    if (c.muxer == nullptr) {
      EXPECT_EQ(format, nullptr) << c.path;
      continue;
    }
    ASSERT_NE(format, nullptr) << c.path;
    EXPECT_STREQ(format->muxer, c.muxer) << c.path;
    EXPECT_EQ(format->audioEncoder == nullptr, c.audio == nullptr) << c.path;
    if (c.audio != nullptr) {
      EXPECT_STREQ(format->audioEncoder, c.audio) << c.path;
    }
  }
}

TEST(VideoFormats, QualityRunsFromSmallestToBestOnEachScale) {
  EXPECT_EQ(X264Crf(0), 51);
  EXPECT_EQ(X264Crf(100), 1);  // not lossless, which many players can't decode
  EXPECT_EQ(X264Crf(65), 18);  // the default: about what the eye can tell apart
  EXPECT_EQ(Vp9Crf(0), 63);
  EXPECT_EQ(Vp9Crf(100), 0);
  EXPECT_EQ(GifColours(0), 16);
  EXPECT_EQ(GifColours(100), 256);
  for (uint32_t q = 1; q <= 100; ++q) {
    EXPECT_LE(X264Crf(q), X264Crf(q - 1));
    EXPECT_LE(Vp9Crf(q), Vp9Crf(q - 1));
    EXPECT_GE(GifColours(q), GifColours(q - 1));
  }
}

TEST(RecordPlans, FrameCountsAndTheSeamlessLayout) {
  EXPECT_EQ(PlanRecording(35000, 30, false).outputFrames, 1050u);
  EXPECT_EQ(PlanRecording(2000, 30, false).renderedFrames, 60u);
  EXPECT_EQ(PlanRecording(1, 30, false).outputFrames, 1u);       // never an empty video
  EXPECT_EQ(PlanRecording(500, 30, true).crossFadeFrames, 15u);  // at most the whole video

  const RecordPlan plan = PlanRecording(2000, 10, true);
  ASSERT_EQ(plan.crossFadeFrames, 10u);
  ASSERT_EQ(plan.renderedFrames, 30u);
  uint32_t lastWeight = 0;
  for (uint32_t j = 0; j < plan.outputFrames; ++j) {
    const FrameBlend b = OutputFrameSource(plan, j);
    EXPECT_EQ(b.first, j + 10) << j;  // the video starts one second into the render
    if (j < 10) {
      EXPECT_EQ(b.weight, 0u) << j;
      continue;
    }
    // The last second fades from what follows the end into what follows the start.
    EXPECT_EQ(b.second, j - 10) << j;
    EXPECT_GT(b.weight, lastWeight) << j;
    EXPECT_LT(b.weight, 256u) << j;
    lastWeight = b.weight;
  }
  // The last frame is nearly rendered frame 9, the one before the video's first (10).
  EXPECT_GE(lastWeight, 256u * 10 / 11);
  EXPECT_EQ(OutputFrameSource(PlanRecording(2000, 10, false), 19).first, 19u);
}

// Music whose left sample is its own index and right the negative, for positions.
std::vector<float> Ramp(uint64_t frames) {
  std::vector<float> music(frames * 2);
  for (uint64_t i = 0; i < frames; ++i) {
    music[i * 2] = static_cast<float>(i);
    music[i * 2 + 1] = -static_cast<float>(i);
  }
  return music;
}

TEST(SoundTracks, LoopedScaledAndFadedOnTheSampleClock) {
  // 30 fps: 1600 sample frames a video frame, exactly, for any number of frames.
  EXPECT_EQ(SoundFrameOfVideoFrame(1050, 30), 35u * kSoundRate);
  EXPECT_EQ(SoundFrameOfVideoFrame(7, 7), kSoundRate);
  EXPECT_EQ(SoundFrameOfVideoFrame(1, 7), 6857u);

  const std::vector<float> music = Ramp(100);
  const SoundPlan plan = {30, 1000, 0, 200, 0.5f};
  EXPECT_EQ(MusicFramesNeeded(plan), 1030u);
  std::vector<float> out(1000 * 2);
  MixSoundTrack(music.data(), 100, plan, 0, 1000, out.data());
  EXPECT_FLOAT_EQ(out[0], 15.0f);  // music frame 30 at half volume
  EXPECT_FLOAT_EQ(out[1], -15.0f);
  EXPECT_FLOAT_EQ(out[70 * 2], 0.0f);                    // the music loops at its end
  EXPECT_FLOAT_EQ(out[799 * 2], 0.5f * 29.0f);           // just before the fade
  EXPECT_FLOAT_EQ(out[800 * 2], 0.5f * 30.0f);           // fade starts at full level
  EXPECT_FLOAT_EQ(out[999 * 2], 0.5f * 29.0f / 200.0f);  // last sample nearly silent
  // In chunks it is the same track; past the end and without music it is silence.
  std::vector<float> chunk(7 * 2);
  MixSoundTrack(music.data(), 100, plan, 995, 7, chunk.data());
  EXPECT_FLOAT_EQ(chunk[0], out[995 * 2]);
  EXPECT_FLOAT_EQ(chunk[5 * 2], 0.0f);
  MixSoundTrack(nullptr, 0, plan, 0, 7, chunk.data());
  EXPECT_FLOAT_EQ(chunk[0], 0.0f);
}

TEST(SoundTracks, ASeamlessTrackEndsWhereItsStartBegins) {
  const std::vector<float> music = Ramp(10000);
  const SoundPlan plan = {0, 1000, 100, 0, 1.0f};
  std::vector<float> out(1000 * 2);
  MixSoundTrack(music.data(), 10000, plan, 0, 1000, out.data());
  EXPECT_FLOAT_EQ(out[0], 100.0f);  // starts where the cross-fade length puts it
  // Over the last 100 frames the music after the end (1000..) fades into frames 0..99,
  // so that the last sample is close to 99, the one right before the first.
  EXPECT_NEAR(out[999 * 2], 99.0f, 1000.0f / 100.0f);
  for (int t = 900; t < 1000; ++t) {
    EXPECT_LT(out[t * 2], out[(t - 1) * 2] + 1.5f) << t;  // no jump upward inside the fade
  }
}

// A mono 16-bit WAV file at rate, one sample value throughout.
std::string WriteWav(const std::string& path, uint32_t rate, uint32_t frames, int16_t value) {
  std::string bytes;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    bytes.push_back(static_cast<char>(v));
    bytes.push_back(static_cast<char>(v >> 8));
  };
  bytes += "RIFF";
  put32(36 + frames * 2);
  bytes += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(rate);
  put32(rate * 2);
  put16(2);
  put16(16);
  bytes += "data";
  put32(frames * 2);
  for (uint32_t i = 0; i < frames; ++i) put16(static_cast<uint16_t>(value));
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

TEST(MusicDecoding, ResampledToStereoAtTheVideoRateAndCapped) {
  test::ScopedTempDir temp;
  const std::string wav = WriteWav(temp.Path() + "/m.wav", 22050, 22050, 16384);
  std::vector<float> samples;
  char error[256] = "";
  ASSERT_TRUE(DecodeMusic(wav.c_str(), 1000000, &samples, error, sizeof error)) << error;
  EXPECT_NEAR(static_cast<double>(samples.size() / 2), 48000.0, 64.0);  // one second
  EXPECT_NEAR(samples[24000 * 2], 0.5f, 0.01f);
  EXPECT_NEAR(samples[24000 * 2 + 1], 0.5f, 0.01f);  // mono goes to both sides
  ASSERT_TRUE(DecodeMusic(wav.c_str(), 1000, &samples, error, sizeof error));
  EXPECT_EQ(samples.size(), 2000u);

  temp.Write("bad.ogg", "OggS but nothing more");
  EXPECT_FALSE(
      DecodeMusic((temp.Path() + "/bad.ogg").c_str(), 1000, &samples, error, sizeof error));
  EXPECT_NE(std::string(error).find("bad.ogg"), std::string::npos) << error;
  EXPECT_FALSE(
      DecodeMusic((temp.Path() + "/none.ogg").c_str(), 1000, &samples, error, sizeof error));
}

}  // namespace
}  // namespace yulo

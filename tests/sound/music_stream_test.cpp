// The looping stream the Windows player pulls its samples from, decoded on this machine.
#include "sound/music_stream.h"

#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ogg_tone.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

TEST(MusicStream, VolumeIsFivePercentPerStepWithinTheSliderRange) {
  const struct {
    int32_t step;
    int percent;
  } cases[] = {{-3, 0}, {0, 0}, {1, 5}, {13, 65}, {20, 100}, {25, 100}};
  for (const auto& c : cases) EXPECT_EQ(MusicVolumePercent(c.step), c.percent) << c.step;
}

std::vector<int16_t> Decode(const char* path, uint32_t frames, int percent, uint32_t chunk) {
  MusicStream stream{};
  EXPECT_TRUE(OpenMusicStream(path, &stream));
  std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
  for (uint32_t done = 0; done < frames; done += chunk) {
    const uint32_t count = frames - done < chunk ? frames - done : chunk;
    EXPECT_TRUE(FillMusic(&stream, samples.data() + static_cast<size_t>(done) * 2, count, percent));
  }
  CloseMusicStream(&stream);
  return samples;
}

TEST(MusicStream, LoopsWithoutAGapAndScalesByTheVolume) {
  test::ScopedTempDir tmp;
  ASSERT_TRUE(test::WriteOggTone("tone.ogg", 440.0, 0.8, 0.3));
  int error = 0;
  stb_vorbis* probe = stb_vorbis_open_filename("tone.ogg", &error, nullptr);
  ASSERT_NE(probe, nullptr);
  const uint32_t length = stb_vorbis_stream_length_in_samples(probe);
  stb_vorbis_close(probe);
  ASSERT_GT(length, 10000u);

  // Once through, then two and a half more times in odd-sized pieces.
  const std::vector<int16_t> once = Decode("tone.ogg", length, 100, length);
  const std::vector<int16_t> looped = Decode("tone.ogg", length * 7 / 2, 100, 1531);
  for (size_t i = 0; i < looped.size(); ++i)
    ASSERT_EQ(looped[i], once[i % once.size()]) << "sample " << i;

  const std::vector<int16_t> half = Decode("tone.ogg", length, 50, 4096);
  int16_t peak = 0;
  for (size_t i = 0; i < once.size(); ++i) {
    ASSERT_EQ(half[i], once[i] * 50 / 100) << "sample " << i;
    peak = std::max(peak, once[i]);
  }
  EXPECT_GT(peak, 20000) << "the tone is really there";
}

TEST(MusicStream, BadFilesAreRefusedNotPlayed) {
  test::ScopedTempDir tmp;
  ASSERT_TRUE(test::WriteOggTone("tone.ogg", 440.0, 0.8, 0.3));
  std::ifstream in("tone.ogg", std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), {});
  tmp.Write("cut.ogg", whole.substr(0, 200));  // inside the headers
  tmp.Write("noise.ogg", std::string(5000, '\x5A'));
  tmp.Write("empty.ogg", "");
  MusicStream stream{};
  for (const char* name : {"missing.ogg", "cut.ogg", "noise.ogg", "empty.ogg"}) {
    EXPECT_FALSE(OpenMusicStream(name, &stream)) << name;
    EXPECT_EQ(stream.decoder, nullptr) << name;
  }
}

}  // namespace
}  // namespace yulo

// The music file, decoded as the player decodes it.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "assetgen/loudness.h"
#include "assetgen/music.h"
#include "data_files.h"

namespace yulo::assetgen {
namespace {

struct Decoded {
  int rate = 0, channels = 0;
  std::vector<float> samples;  // interleaved
  size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

bool Decode(const std::string& path, Decoded* out) {
  OggVorbis_File file;
  if (ov_fopen(path.c_str(), &file) != 0) return false;
  const vorbis_info* info = ov_info(&file, -1);
  out->rate = static_cast<int>(info->rate);
  out->channels = info->channels;
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long n = ov_read_float(&file, &pcm, 4096, &section);
    if (n < 0) {
      ov_clear(&file);
      return false;
    }
    if (n == 0) break;
    for (long i = 0; i < n; ++i) {
      for (int c = 0; c < out->channels; ++c) out->samples.push_back(pcm[c][i]);
    }
  }
  ov_clear(&file);
  return true;
}

class Music : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    decoded_ = new Decoded;
    ok_ = Decode(test::ShareDir() + "/Data/music.ogg", decoded_);
  }
  static void TearDownTestSuite() { delete decoded_; }
  static Decoded* decoded_;
  static bool ok_;
};
Decoded* Music::decoded_ = nullptr;
bool Music::ok_ = false;

TEST_F(Music, IsAMinuteOrMoreOfStereoAt44100) {
  ASSERT_TRUE(ok_);
  EXPECT_EQ(decoded_->rate, 44100);
  EXPECT_EQ(decoded_->channels, 2);
  EXPECT_EQ(decoded_->Frames(), static_cast<size_t>(kMusicFrames));
  EXPECT_GE(decoded_->Frames(), 60u * 44100u);
}

TEST_F(Music, PeaksBelowMinusOneDbfsAtAboutMinusSixteenLufs) {
  ASSERT_TRUE(ok_);
  const size_t frames = decoded_->Frames();
  EXPECT_LT(ToDecibels(SamplePeak(decoded_->samples.data(), frames)), -1.0);
  const double lufs = IntegratedLoudness(decoded_->samples.data(), frames, decoded_->rate);
  EXPECT_NEAR(lufs, -16.0, 1.0);
}

// A click is a jump the waveform could not have made. The synthesised loop must join
// its start as smoothly as it runs anywhere near the join (the step and the bend across
// frame n - 1 to frame 0 look like those on either side), and the file must hold that
// same loop: around the join the decoded samples differ from it only by codec noise,
// so nothing was dropped, shifted or added at either end.
TEST_F(Music, EndJoinsTheStartWithoutAJump) {
  ASSERT_TRUE(ok_);
  const std::vector<float> loop = SynthesizeMusic(nullptr);
  const long n = static_cast<long>(loop.size() / 2);
  ASSERT_EQ(static_cast<size_t>(n), decoded_->Frames());
  constexpr long kNeighbourhood = 4096;
  for (int c = 0; c < 2; ++c) {
    const auto wrap = [n](long i) { return static_cast<size_t>((i % n + n) % n) * 2; };
    const auto at = [&](long i) { return loop[wrap(i) + c]; };
    const auto step = [&](long i) { return std::fabs(at(i) - at(i - 1)); };
    const auto bend = [&](long i) { return std::fabs(at(i + 1) - 2 * at(i) + at(i - 1)); };
    float maxStep = 0, maxBend = 0;
    double signal = 0;
    for (long i = 2; i < kNeighbourhood; ++i) {
      maxStep = std::max({maxStep, step(i), step(-i)});
      maxBend = std::max({maxBend, bend(i), bend(-i)});
    }
    EXPECT_LE(step(0), maxStep) << "channel " << c;
    EXPECT_LE(bend(0), maxBend) << "channel " << c;
    EXPECT_LE(bend(-1), maxBend) << "channel " << c;
    // Codec noise at the right alignment, and more error at any shift by a frame or two.
    const auto mismatch = [&](long lag) {
      double noise = 0;
      for (long i = -kNeighbourhood; i < kNeighbourhood; ++i) {
        const double e = decoded_->samples[wrap(i + lag) + c] - at(i);
        noise += e * e;
      }
      return noise;
    };
    for (long i = -kNeighbourhood; i < kNeighbourhood; ++i)
      signal += static_cast<double>(at(i)) * at(i);
    const double aligned = mismatch(0);
    EXPECT_GT(10 * std::log10(signal / aligned), 15.0) << "channel " << c;
    for (long lag : {-2L, -1L, 1L, 2L}) EXPECT_LT(aligned, mismatch(lag)) << "channel " << c;
  }
}

}  // namespace
}  // namespace yulo::assetgen

#include "music.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "loudness.h"
#include "noise.h"

namespace yulo::assetgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLoop = kMusicFrames;

// >>section score

enum Quality { kMajor, kMinor, kSus4 };
struct Chord {
  int root;  // MIDI note in the third octave
  Quality quality;
};
// D major: three eight-bar phrases; the last bar leads back into the first.
constexpr Chord kChords[kMusicBars] = {
    {50, kMajor}, {59, kMinor}, {55, kMajor}, {57, kMajor},  // D Bm G A
    {50, kMajor}, {54, kMinor}, {55, kMajor}, {57, kMajor},  // D F#m G A
    {50, kMajor}, {59, kMinor}, {55, kMajor}, {57, kMajor},  // D Bm G A
    {59, kMinor}, {55, kMajor}, {57, kMajor}, {50, kMajor},  // Bm G A D
    {55, kMajor}, {57, kMajor}, {54, kMinor}, {59, kMinor},  // G A F#m Bm
    {55, kMajor}, {52, kMinor}, {57, kSus4},  {57, kMajor},  // G Em Asus A
};

struct Note {
  float beat;    // start, in beats from the top of the loop
  float length;  // in beats
  int pitch;     // MIDI
};
// The bell melody.
constexpr Note kMelody[] = {
    {0, 2, 78},    {2, 1, 76},      {3, 1, 74},                // D
    {4, 1.5, 78},  {5.5, 0.5, 81},  {6, 2, 83},                // Bm
    {8, 1, 83},    {9, 1, 81},      {10, 1, 79}, {11, 1, 78},  // G
    {12, 3, 76},                                               // A
    {16, 2, 78},   {18, 1, 76},     {19, 1, 74},               // D
    {20, 1.5, 81}, {21.5, 0.5, 78}, {22, 2, 73},               // F#m
    {24, 1, 74},   {25, 1, 76},     {26, 1, 79}, {27, 1, 83},  // G
    {28, 4, 81},                                               // A
    {32, 2, 81},   {34, 1, 78},     {35, 1, 81},               // D
    {36, 2, 83},   {38, 1, 86},     {39, 1, 83},               // Bm
    {40, 1.5, 81}, {41.5, 0.5, 79}, {42, 1, 78}, {43, 1, 76},  // G
    {44, 2, 76},   {46, 1, 73},     {47, 1, 76},               // A
    {48, 1, 74},   {49, 1, 78},     {50, 2, 83},               // Bm
    {52, 1, 79},   {53, 1, 83},     {54, 2, 86},               // G
    {56, 1.5, 85}, {57.5, 0.5, 83}, {58, 1, 81}, {59, 1, 76},  // A
    {60, 4, 74},                                               // D
    {64, 2, 83},   {66, 2, 86},                                // G
    {68, 2, 85},   {70, 2, 88},                                // A
    {72, 2, 81},   {74, 1, 85},     {75, 1, 81},               // F#m
    {76, 3, 83},   {79, 1, 78},                                // Bm
    {80, 1, 79},   {81, 1, 81},     {82, 1, 83}, {83, 1, 86},  // G
    {84, 2, 88},   {86, 1, 86},     {87, 1, 83},               // Em
    {88, 2, 81},   {90, 2, 86},                                // Asus
    {92, 1, 85},   {93, 1, 81},     {94, 1, 79}, {95, 1, 76},  // A
};

// Chord tones as offsets from the root.
void ChordTones(Quality q, int out[3]) {
  out[0] = 0;
  out[1] = q == kMajor ? 4 : q == kMinor ? 3 : 5;
  out[2] = 7;
}

double Frequency(double midi) {
  return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// >>section voices

struct Partial {
  double ratio;      // of the fundamental
  double amplitude;  // relative
  double decay;      // seconds to fall by 1/e
};

constexpr Partial kBell[] = {
    {0.5, 0.20, 2.6}, {1.0, 1.00, 2.0},   {1.19, 0.30, 1.4},  {1.5, 0.22, 1.1},
    {2.0, 0.40, 0.9}, {2.74, 0.20, 0.55}, {3.42, 0.12, 0.35}, {4.1, 0.08, 0.25},
};
constexpr Partial kMusicBox[] = {
    {1.0, 1.0, 0.9},
    {2.0, 0.10, 0.45},
    {5.4, 0.16, 0.12},
    {11.6, 0.05, 0.05},
};

class Mixer {
 public:
  Mixer() : left_(kLoop, 0.0f), right_(kLoop, 0.0f) {}

  // Adds a decaying partial sum starting at `start` frames (wrapping around the loop),
  // for at most `seconds`, panned -1 (left) .. 1 (right). The attack is a short ramp.
  void Strike(long start, double freq, const Partial* partials, int count, double gain, double pan,
              double seconds, double attack) {
    const long frames = static_cast<long>(seconds * kMusicSampleRate);
    const double leftGain = gain * std::sqrt(0.5 * (1.0 - pan));
    const double rightGain = gain * std::sqrt(0.5 * (1.0 + pan));
    for (int p = 0; p < count; ++p) {
      const double f = freq * partials[p].ratio;
      if (f > kMusicSampleRate * 0.45) continue;
      // A rotating phasor and a shrinking envelope: no sine call per sample.
      const std::complex<double> step = std::polar(1.0, 2.0 * kPi * f / kMusicSampleRate);
      const double shrink = std::exp(-1.0 / (partials[p].decay * kMusicSampleRate));
      std::complex<double> phasor(0.0, 1.0);
      double envelope = partials[p].amplitude;
      const long attackFrames = std::max(1L, static_cast<long>(attack * kMusicSampleRate));
      // A fade over the last 50 ms so that a cut-off tail never clicks.
      const long fadeFrames = std::min(frames, static_cast<long>(0.05 * kMusicSampleRate));
      for (long i = 0; i < frames; ++i) {
        double e = envelope;
        if (i < attackFrames) e *= static_cast<double>(i) / attackFrames;
        if (i > frames - fadeFrames) e *= static_cast<double>(frames - i) / fadeFrames;
        const double s = phasor.real() * e;
        const long at = (start + i) % kLoop;
        left_[at] += static_cast<float>(s * leftGain);
        right_[at] += static_cast<float>(s * rightGain);
        phasor *= step;
        envelope *= shrink;
        if ((i & 1023) == 0) phasor /= std::abs(phasor);  // keep the phasor on the circle
      }
    }
  }

  // A sustained, gently swelling tone made of `harmonics` soft harmonics, three voices
  // detuned against each other and spread across the stereo field.
  void Swell(long start, long frames, double freq, double gain, double attack, double release) {
    constexpr double kDetuneCents[3] = {-7.0, 0.0, 6.0};
    constexpr double kVoicePan[3] = {-0.6, 0.0, 0.6};
    constexpr int kHarmonics = 5;
    const long attackFrames = static_cast<long>(attack * kMusicSampleRate);
    const long releaseFrames = static_cast<long>(release * kMusicSampleRate);
    for (int v = 0; v < 3; ++v) {
      const double vf = freq * std::pow(2.0, kDetuneCents[v] / 1200.0);
      const double lg = gain * std::sqrt(0.5 * (1.0 - kVoicePan[v]));
      const double rg = gain * std::sqrt(0.5 * (1.0 + kVoicePan[v]));
      for (int h = 1; h <= kHarmonics; ++h) {
        const double amp = 1.0 / std::pow(h, 1.8);
        const std::complex<double> step = std::polar(1.0, 2.0 * kPi * vf * h / kMusicSampleRate);
        std::complex<double> phasor = std::polar(1.0, 0.7 * v + 1.3 * h);
        const long total = frames + releaseFrames;
        for (long i = 0; i < total; ++i) {
          double e = 1.0;
          if (i < attackFrames) {
            const double t = static_cast<double>(i) / attackFrames;
            e = t * t * (3.0 - 2.0 * t);
          }
          if (i >= frames) {
            const double t = static_cast<double>(i - frames) / releaseFrames;
            e *= 1.0 - t * t * (3.0 - 2.0 * t);
          }
          const double s = phasor.real() * e * amp;
          const long at = (start + i) % kLoop;
          left_[at] += static_cast<float>(s * lg);
          right_[at] += static_cast<float>(s * rg);
          phasor *= step;
          if ((i & 1023) == 0) phasor /= std::abs(phasor);
        }
      }
    }
  }

  // A sleigh-bell shake: a cluster of high inharmonic partials that die within ~0.1 s.
  void Jingle(long start, uint32_t seed, double gain, double pan) {
    Rng rng(seed);
    Partial partials[14];
    for (Partial& p : partials) {
      p = {rng.Range(2600.0f, 7200.0f) / 1000.0, rng.Range(0.3f, 1.0f), rng.Range(0.03f, 0.11f)};
    }
    Strike(start, 1000.0, partials, 14, gain, pan, 0.4, 0.002);
    Strike(start + kMusicSampleRate / 40, 1000.0, partials + 7, 7, gain * 0.6, -pan, 0.35, 0.002);
  }

  std::vector<float>& Left() { return left_; }
  std::vector<float>& Right() { return right_; }

 private:
  std::vector<float> left_, right_;
};

// The score starts a sixteenth after the top of the file, so the loop's join falls where
// notes are ringing rather than on a strike.
constexpr double kScoreOffsetBeats = 0.25;

long BeatFrame(double beat) {
  const long frame = std::lround((beat + kScoreOffsetBeats) * kMusicFramesPerBeat);
  return (frame % kLoop + kLoop) % kLoop;
}

void PlayScore(Mixer& mix) {
  const double beatSeconds = static_cast<double>(kMusicFramesPerBeat) / kMusicSampleRate;
  // Pad and bass.
  for (int bar = 0; bar < kMusicBars; ++bar) {
    const Chord& c = kChords[bar];
    int tones[3];
    ChordTones(c.quality, tones);
    const long start = BeatFrame(bar * kMusicBeatsPerBar - 0.25);
    const long length = BeatFrame(kMusicBeatsPerBar);
    const int voicing[4] = {c.root, c.root + tones[1] + 12, c.root + tones[2], c.root + 12};
    for (int v = 0; v < 4; ++v) {
      mix.Swell(start, length, Frequency(voicing[v]), 0.030, 1.1, 1.4);
    }
    constexpr Partial kBass[] = {{1.0, 1.0, 1.6}, {2.0, 0.25, 0.8}, {3.0, 0.06, 0.4}};
    mix.Strike(BeatFrame(bar * kMusicBeatsPerBar), Frequency(c.root - 12), kBass, 3, 0.16, 0.0,
               2 * beatSeconds, 0.02);
    mix.Strike(BeatFrame(bar * kMusicBeatsPerBar + 2), Frequency(c.root - 12 + tones[2]), kBass, 3,
               0.12, 0.0, 2 * beatSeconds, 0.02);
  }
  // Music box: eighth-note arpeggios two octaves up, a different figure in the last phrase.
  constexpr int kFigureA[8] = {0, 1, 2, 3, 4, 3, 2, 1};
  constexpr int kFigureB[8] = {0, 2, 1, 3, 2, 4, 3, 5};
  for (int bar = 0; bar < kMusicBars; ++bar) {
    const Chord& c = kChords[bar];
    int tones[3];
    ChordTones(c.quality, tones);
    const int ladder[6] = {c.root + 12,
                           c.root + tones[2] + 12,
                           c.root + 24,
                           c.root + tones[1] + 24,
                           c.root + tones[2] + 24,
                           c.root + 36};
    const int* figure = bar >= 16 ? kFigureB : kFigureA;
    for (int e = 0; e < 8; ++e) {
      const double beat = bar * kMusicBeatsPerBar + e * 0.5;
      const double accent = e % 2 == 0 ? 1.0 : 0.75;
      mix.Strike(BeatFrame(beat), Frequency(ladder[figure[e]]), kMusicBox, 4, 0.045 * accent,
                 e % 2 == 0 ? -0.35 : 0.25, 1.8, 0.001);
    }
  }
  // Bell melody, slightly right of centre, with a quiet octave-lower double.
  for (const Note& n : kMelody) {
    const double ring = std::min(4.5, n.length * beatSeconds + 2.0);
    mix.Strike(BeatFrame(n.beat), Frequency(n.pitch), kBell, 8, 0.085, 0.2, ring, 0.003);
    mix.Strike(BeatFrame(n.beat), Frequency(n.pitch - 12), kBell, 8, 0.022, -0.2, ring, 0.004);
  }
  // Sleigh bells on the off beats, busier in the last phrase.
  for (int beat = 0; beat < kMusicBars * kMusicBeatsPerBar; ++beat) {
    const bool busy = beat >= 64;
    if (beat % 2 == 1 || busy) {
      mix.Jingle(BeatFrame(beat + (busy && beat % 2 == 0 ? 0.5 : 0.0)), 1000u + beat, 0.010, 0.5);
    }
  }
}

// >>section reverb

class Comb {
 public:
  explicit Comb(int length) : buffer_(length, 0.0f) {}
  float Run(float in, float feedback, float damp) {
    const float out = buffer_[index_];
    store_ = out * (1.0f - damp) + store_ * damp;
    buffer_[index_] = in + store_ * feedback;
    index_ = (index_ + 1) % static_cast<int>(buffer_.size());
    return out;
  }

 private:
  std::vector<float> buffer_;
  int index_ = 0;
  float store_ = 0.0f;
};

class Allpass {
 public:
  explicit Allpass(int length) : buffer_(length, 0.0f) {}
  float Run(float in) {
    const float buffered = buffer_[index_];
    const float out = buffered - in;
    buffer_[index_] = in + buffered * 0.5f;
    index_ = (index_ + 1) % static_cast<int>(buffer_.size());
    return out;
  }

 private:
  std::vector<float> buffer_;
  int index_ = 0;
};

// A plate-like stereo reverb. It runs over the loop twice and keeps the second pass, so
// the reverb tail of the end is already sounding at the start: the loop joins seamlessly.
void AddReverb(std::vector<float>& left, std::vector<float>& right, float wet) {
  constexpr int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  constexpr int kAllpasses[4] = {556, 441, 341, 225};
  constexpr int kStereoSpread = 23;
  constexpr float kFeedback = 0.86f, kDamp = 0.3f;
  std::vector<Comb> combsL, combsR;
  std::vector<Allpass> allL, allR;
  for (int c : kCombs) {
    combsL.emplace_back(c);
    combsR.emplace_back(c + kStereoSpread);
  }
  for (int a : kAllpasses) {
    allL.emplace_back(a);
    allR.emplace_back(a + kStereoSpread);
  }
  std::vector<float> outL(kLoop), outR(kLoop);
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kLoop; ++i) {
      const float in = (left[i] + right[i]) * 0.015f;
      float l = 0.0f, r = 0.0f;
      for (int c = 0; c < 8; ++c) {
        l += combsL[c].Run(in, kFeedback, kDamp);
        r += combsR[c].Run(in, kFeedback, kDamp);
      }
      for (int a = 0; a < 4; ++a) {
        l = allL[a].Run(l);
        r = allR[a].Run(r);
      }
      if (pass == 1) {
        outL[i] = l;
        outR[i] = r;
      }
    }
  }
  for (int i = 0; i < kLoop; ++i) {
    left[i] += outL[i] * wet;
    right[i] += outR[i] * wet;
  }
}

// Soft knee above `threshold`: transparent below it, never beyond `ceiling`.
float SoftLimit(float x, float threshold, float ceiling) {
  const float a = std::fabs(x);
  if (a <= threshold) return x;
  const float room = ceiling - threshold;
  const float y = threshold + room * std::tanh((a - threshold) / room);
  return x < 0 ? -y : y;
}

}  // namespace

std::vector<float> SynthesizeMusic(MusicLevels* levels) {
  Mixer mix;
  PlayScore(mix);
  AddReverb(mix.Left(), mix.Right(), 1.0f);
  std::vector<float> dry(static_cast<size_t>(kLoop) * 2);
  for (int i = 0; i < kLoop; ++i) {
    dry[i * 2] = mix.Left()[i];
    dry[i * 2 + 1] = mix.Right()[i];
  }
  // Bring the loop to the target loudness; rare peaks above the ceiling are rounded off
  // by a soft knee, and the gain is refined once the knee has had its (small) effect.
  const float ceiling = static_cast<float>(std::pow(10.0, kMusicPeakCeilingDb / 20.0));
  const float threshold = ceiling * 0.7f;
  std::vector<float> out(dry.size());
  double gain = std::pow(
      10.0, (kMusicTargetLufs - IntegratedLoudness(dry.data(), kLoop, kMusicSampleRate)) / 20.0);
  for (int iteration = 0; iteration < 4; ++iteration) {
    for (size_t i = 0; i < dry.size(); ++i) {
      out[i] = SoftLimit(static_cast<float>(dry[i] * gain), threshold, ceiling);
    }
    const double measured = IntegratedLoudness(out.data(), kLoop, kMusicSampleRate);
    gain *= std::pow(10.0, (kMusicTargetLufs - measured) / 20.0);
  }
  if (levels) {
    levels->loudnessLufs = IntegratedLoudness(out.data(), kLoop, kMusicSampleRate);
    levels->peakDb = ToDecibels(SamplePeak(out.data(), kLoop));
  }
  return out;
}

bool EncodeVorbis(const std::vector<float>& interleaved, float quality, std::vector<uint8_t>* out) {
  out->clear();
  const long frames = static_cast<long>(interleaved.size() / 2);
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, 2, kMusicSampleRate, quality) != 0) {
    vorbis_info_clear(&info);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_comment_add_tag(&comment, "TITLE", "Winter Night");
  vorbis_comment_add_tag(&comment, "ARTIST", "Yulo");
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, 0x59756c6f);
  const auto append = [out](const ogg_page& page) {
    out->insert(out->end(), page.header, page.header + page.header_len);
    out->insert(out->end(), page.body, page.body + page.body_len);
  };
  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &headerComment);
  ogg_stream_packetin(&stream, &headerCode);
  ogg_page page;
  while (ogg_stream_flush(&stream, &page) != 0) append(page);

  constexpr long kChunk = 4096;
  long done = 0;
  bool finished = false;
  while (!finished) {
    const long n = std::min(kChunk, frames - done);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
      for (long i = 0; i < n; ++i) {
        buffer[0][i] = interleaved[(done + i) * 2];
        buffer[1][i] = interleaved[(done + i) * 2 + 1];
      }
      vorbis_analysis_wrote(&dsp, static_cast<int>(n));
      done += n;
    } else {
      vorbis_analysis_wrote(&dsp, 0);  // end of stream
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0) {
          append(page);
          if (ogg_page_eos(&page)) finished = true;
        }
      }
    }
    if (n <= 0 && !finished) {
      // The end-of-stream packet has gone out; flush whatever page is left.
      while (ogg_stream_flush(&stream, &page) != 0) append(page);
      finished = true;
    }
  }
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return true;
}

}  // namespace yulo::assetgen

#include "loudness.h"

#include <cmath>
#include <vector>

namespace yulo::assetgen {

namespace {

struct Biquad {
  double b0, b1, b2, a1, a2;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double Run(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

constexpr double kPi = 3.14159265358979323846;

// The two K-weighting stages (a high shelf around 1.7 kHz and a high pass around 38 Hz),
// derived for any sample rate from their analogue prototypes.
Biquad HighShelf(int rate) {
  const double gainDb = 3.999843853973347, q = 0.7071752369554196, fc = 1681.974450955533;
  const double a = std::pow(10.0, gainDb / 40.0);
  const double w0 = 2.0 * kPi * fc / rate;
  const double alpha = std::sin(w0) / (2.0 * q), c = std::cos(w0), sa = std::sqrt(a);
  const double a0 = (a + 1) - (a - 1) * c + 2 * sa * alpha;
  Biquad f{};
  f.b0 = a * ((a + 1) + (a - 1) * c + 2 * sa * alpha) / a0;
  f.b1 = -2 * a * ((a - 1) + (a + 1) * c) / a0;
  f.b2 = a * ((a + 1) + (a - 1) * c - 2 * sa * alpha) / a0;
  f.a1 = 2 * ((a - 1) - (a + 1) * c) / a0;
  f.a2 = ((a + 1) - (a - 1) * c - 2 * sa * alpha) / a0;
  return f;
}

Biquad HighPass(int rate) {
  const double q = 0.5003270373238773, fc = 38.13547087602444;
  const double w0 = 2.0 * kPi * fc / rate;
  const double alpha = std::sin(w0) / (2.0 * q), c = std::cos(w0);
  const double a0 = 1 + alpha;
  Biquad f{};
  f.b0 = (1 + c) / 2 / a0;
  f.b1 = -(1 + c) / a0;
  f.b2 = (1 + c) / 2 / a0;
  f.a1 = -2 * c / a0;
  f.a2 = (1 - alpha) / a0;
  return f;
}

}  // namespace

float SamplePeak(const float* interleaved, size_t frames) {
  float peak = 0.0f;
  for (size_t i = 0; i < frames * 2; ++i) peak = std::fmax(peak, std::fabs(interleaved[i]));
  return peak;
}

double ToDecibels(double value) {
  return value > 0.0 ? 20.0 * std::log10(value) : -200.0;
}

double IntegratedLoudness(const float* interleaved, size_t frames, int sampleRate) {
  // Squared K-weighted samples, summed over both channels.
  std::vector<double> energy(frames);
  for (int ch = 0; ch < 2; ++ch) {
    Biquad shelf = HighShelf(sampleRate), pass = HighPass(sampleRate);
    for (size_t i = 0; i < frames; ++i) {
      const double y = pass.Run(shelf.Run(interleaved[i * 2 + ch]));
      energy[i] += y * y;
    }
  }
  // 400 ms blocks, overlapping by 75 %.
  const size_t block = static_cast<size_t>(sampleRate) * 4 / 10;
  const size_t hop = block / 4;
  if (frames < block) return -200.0;
  std::vector<double> prefix(frames + 1, 0.0);
  for (size_t i = 0; i < frames; ++i) prefix[i + 1] = prefix[i] + energy[i];
  std::vector<double> blocks;
  for (size_t start = 0; start + block <= frames; start += hop) {
    blocks.push_back((prefix[start + block] - prefix[start]) / static_cast<double>(block));
  }
  const auto loudness = [](double z) { return z > 0 ? -0.691 + 10.0 * std::log10(z) : -200.0; };
  const auto gatedMean = [&](double gate) {
    double sum = 0.0;
    size_t n = 0;
    for (double z : blocks) {
      if (loudness(z) > gate) {
        sum += z;
        ++n;
      }
    }
    return n ? sum / static_cast<double>(n) : 0.0;
  };
  const double absolute = gatedMean(-70.0);
  if (absolute <= 0.0) return -200.0;
  return loudness(gatedMean(loudness(absolute) - 10.0));
}

}  // namespace yulo::assetgen

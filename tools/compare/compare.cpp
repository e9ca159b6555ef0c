#include "compare/compare.h"

#include <cmath>
#include <cstdlib>

namespace yulo {

namespace {

const uint8_t* At(const ImageView& image, uint32_t x, uint32_t y) {
  return image.rgba + (static_cast<size_t>(y) * image.width + x) * 4;
}

int Distance(const uint8_t* p, const uint8_t* q) {
  int d = 0;
  for (int c = 0; c < 3; ++c) {
    const int e = std::abs(static_cast<int>(p[c]) - static_cast<int>(q[c]));
    if (e > d) d = e;
  }
  return d;
}

// Whether colour (of the other picture) is matched within tolerance by image at (x, y) or a
// neighbour.
bool MatchedNearby(const uint8_t* colour, const ImageView& image, uint32_t x, uint32_t y,
                   int tolerance) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int64_t nx = static_cast<int64_t>(x) + dx, ny = static_cast<int64_t>(y) + dy;
      if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height) continue;
      if (Distance(colour, At(image, static_cast<uint32_t>(nx), static_cast<uint32_t>(ny))) <=
          tolerance) {
        return true;
      }
    }
  }
  return false;
}

bool IsOutlier(const ImageView& a, const ImageView& b, uint32_t x, uint32_t y, int tolerance,
               const uint8_t* background) {
  if (background != nullptr && MatchedNearby(background, a, x, y, tolerance) &&
      MatchedNearby(background, b, x, y, tolerance)) {
    return false;
  }
  return !MatchedNearby(At(a, x, y), b, x, y, tolerance) ||
         !MatchedNearby(At(b, x, y), a, x, y, tolerance);
}

// Mean squared channel difference of a against b shifted by (dx, dy), over the overlap.
double ShiftedMeanSquare(const ImageView& a, const ImageView& b, int dx, int dy) {
  double sum = 0.0;
  uint64_t n = 0;
  for (uint32_t y = 2; y + 2 < a.height; ++y) {
    for (uint32_t x = 2; x + 2 < a.width; ++x) {
      const uint8_t* p = At(a, x, y);
      const uint8_t* q = At(b, static_cast<uint32_t>(static_cast<int>(x) + dx),
                            static_cast<uint32_t>(static_cast<int>(y) + dy));
      for (int c = 0; c < 3; ++c) {
        const double e = static_cast<double>(p[c]) - static_cast<double>(q[c]);
        sum += e * e;
      }
      n += 3;
    }
  }
  return n == 0 ? 0.0 : sum / static_cast<double>(n);
}

}  // namespace

bool CompareFrames(const ImageView& a, const ImageView& b, int tolerance, FrameDifference* out,
                   const uint8_t* background) {
  *out = FrameDifference{};
  if (a.width != b.width || a.height != b.height) return false;
  double sum = 0.0;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      const uint8_t* p = At(a, x, y);
      const uint8_t* q = At(b, x, y);
      for (int c = 0; c < 3; ++c) {
        const double e = static_cast<double>(p[c]) - static_cast<double>(q[c]);
        sum += e * e;
      }
      const int d = Distance(p, q);
      if (d > out->maxDifference) out->maxDifference = d;
      if (d <= tolerance) continue;
      ++out->overTolerance;
      if (IsOutlier(a, b, x, y, tolerance, background)) {
        ++out->outliers;
        if (d > out->maxOutsideEdges) out->maxOutsideEdges = d;
      }
    }
  }
  const double samples = static_cast<double>(a.width) * a.height * 3.0;
  out->rmsePercent = samples > 0 ? std::sqrt(sum / samples) / 255.0 * 100.0 : 0.0;

  // Which small shift fits best: a hint when a whole picture sits a pixel off.
  if (out->maxDifference > 0 && a.width > 4 && a.height > 4) {
    double best = ShiftedMeanSquare(a, b, 0, 0);
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        const double m = ShiftedMeanSquare(a, b, dx, dy);
        if (m < best * 0.999) {
          best = m;
          out->offsetX = dx;
          out->offsetY = dy;
        }
      }
    }
  }
  return true;
}

void DifferencePicture(const ImageView& a, const ImageView& b, int tolerance,
                       std::vector<uint8_t>* rgba, const uint8_t* background) {
  rgba->assign(static_cast<size_t>(a.width) * a.height * 4, 255);
  if (a.width != b.width || a.height != b.height) return;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      uint8_t* o = rgba->data() + (static_cast<size_t>(y) * a.width + x) * 4;
      const int d = Distance(At(a, x, y), At(b, x, y));
      if (d > tolerance && IsOutlier(a, b, x, y, tolerance, background)) {
        o[0] = 255;
        o[1] = 0;
        o[2] = 0;
        continue;
      }
      const uint8_t grey = static_cast<uint8_t>(d * 4 > 255 ? 255 : d * 4);
      o[0] = o[1] = o[2] = grey;
    }
  }
}

void SideBySide(const ImageView& a, const ImageView& b, const ImageView& difference,
                std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  constexpr uint32_t kGap = 8;
  const ImageView parts[3] = {a, b, difference};
  *width = a.width * 3 + kGap * 2;
  *height = a.height;
  rgba->assign(static_cast<size_t>(*width) * *height * 4, 0);
  for (size_t i = 3; i < rgba->size(); i += 4) {
    (*rgba)[i - 3] = 24;
    (*rgba)[i - 2] = 24;
    (*rgba)[i - 1] = 32;
    (*rgba)[i] = 255;
  }
  for (uint32_t k = 0; k < 3; ++k) {
    const ImageView& part = parts[k];
    if (part.width != a.width || part.height != a.height) continue;
    for (uint32_t y = 0; y < a.height; ++y) {
      uint8_t* o = rgba->data() + (static_cast<size_t>(y) * *width + k * (a.width + kGap)) * 4;
      for (uint32_t x = 0; x < a.width; ++x) {
        const uint8_t* p = At(part, x, y);
        o[x * 4 + 0] = p[0];
        o[x * 4 + 1] = p[1];
        o[x * 4 + 2] = p[2];
        o[x * 4 + 3] = 255;
      }
    }
  }
}

}  // namespace yulo

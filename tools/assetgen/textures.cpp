#include "textures.h"

#include <algorithm>
#include <cmath>

#include "noise.h"

namespace yulo::assetgen {

namespace {

constexpr float kPi = 3.14159265358979f;

float Clamp01(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}

// >>section fir trees

// The billboard is 0.8 times as wide as it is high, so shapes are laid out in units of the
// tree's height and squeezed into the square picture by this factor.
constexpr float kBillboardAspect = 0.8f;
constexpr int kFirSize = 256;

struct FirStyle {
  int tiers;
  float crownTop;       // v of the tip
  float crownBase;      // v of the lowest branch tips
  float baseHalfWidth;  // half width of the lowest tier, in tree heights
  float droop;          // how far branch tips hang below their tier
  float snow;           // snow load 0..1
  float trunkHalf;      // half width of the trunk, in tree heights
  uint32_t seed;
  Rgba needleDark, needleLight;
};

constexpr FirStyle kFirStyles[2] = {
    {10,
     0.03f,
     0.87f,
     0.20f,
     0.030f,
     0.85f,
     0.018f,
     11u,
     {0.03f, 0.11f, 0.09f, 1},
     {0.13f, 0.30f, 0.22f, 1}},
    {7,
     0.04f,
     0.85f,
     0.26f,
     0.050f,
     1.50f,
     0.024f,
     29u,
     {0.04f, 0.13f, 0.08f, 1},
     {0.16f, 0.33f, 0.20f, 1}},
};
constexpr float kFirBottom = 0.972f;  // lowest row of the trunk; below it stays clear
constexpr Rgba kSnowLit{0.90f, 0.93f, 1.00f, 1};
constexpr Rgba kSnowShade{0.55f, 0.62f, 0.82f, 1};
constexpr Rgba kBark{0.22f, 0.15f, 0.11f, 1};

Rgba ShadeFir(const FirStyle& s, float u, float v) {
  const float hx = (u - 0.5f) * kBillboardAspect;  // horizontal offset in tree heights
  const float ax = std::fabs(hx);
  const float span = s.crownBase - s.crownTop;
  for (int i = 0; i < s.tiers; ++i) {
    const float bottom = s.crownTop + span * static_cast<float>(i + 1) / s.tiers;
    const float length = std::min(span * 2.1f / s.tiers, bottom - s.crownTop);
    const float apex = bottom - length;
    const float jitter = 0.92f + 0.16f * Hash2(i, 7, s.seed);
    // Clumps of needles make the outline ragged.
    const float clump = 0.86f + 0.28f * ValueNoise(v * 70.0f, static_cast<float>(i), 0, s.seed);
    const float width = s.baseHalfWidth * (0.12f + 0.88f * (bottom - s.crownTop) / span) * jitter;
    const float t = ax / (width * clump);
    if (t > 1.0f) continue;
    const float upper = apex + (bottom - apex) * std::pow(t, 0.8f);
    const float teeth = 0.010f * std::fabs(std::sin(hx * 260.0f + i * 1.7f));
    const float lower = bottom + s.droop * t * t - 0.25f * length * (1.0f - t) + teeth;
    if (v < upper || v > lower) continue;
    const float depth = (v - upper) / std::max(lower - upper, 1e-4f);
    // Moonlight from the upper left: the left side and the upper surfaces are brighter.
    const float side = Clamp01(0.5f - hx / (2.0f * width));
    const float snowDepth = s.snow *
                            (0.18f + 0.22f * ValueNoise(hx * 90.0f, i * 3.0f, 0, s.seed + 5)) *
                            (1.1f - 0.6f * t);
    if (depth < snowDepth) {
      const float lit =
          Clamp01(0.35f + 0.65f * side - 0.8f * depth / std::max(snowDepth, 1e-3f) * 0.3f);
      return Mix(kSnowShade, kSnowLit, lit);
    }
    const float streak =
        ValueNoise(hx * 120.0f + v * 60.0f, v * 140.0f - hx * 50.0f, 0, s.seed + 9);
    const float light = Clamp01(0.15f + 0.55f * side + 0.35f * streak - 0.55f * depth);
    return Mix(s.needleDark, s.needleLight, light);
  }
  if (ax < s.trunkHalf && v > s.crownBase - 0.08f && v < kFirBottom) {
    const float bark = ValueNoise(hx * 300.0f, v * 30.0f, 0, s.seed + 13);
    return Scale(kBark, 0.7f + 0.5f * bark + 0.3f * (hx < 0 ? 1.0f : 0.0f));
  }
  return {s.needleDark.r, s.needleDark.g, s.needleDark.b, 0.0f};
}

}  // namespace

Image BuildFirTexture(int variant) {
  const FirStyle& style = kFirStyles[variant == 0 ? 0 : 1];
  Image image =
      Supersample(kFirSize, kFirSize, 3, [&](float u, float v) { return ShadeFir(style, u, v); });
  // Fully clear pixels take the needle colour so that filtering never pulls in black.
  for (Rgba& p : image.pixels) {
    if (p.a <= 0.0f) p = {style.needleDark.r, style.needleDark.g, style.needleDark.b, 0.0f};
  }
  // Keep a clear frame of two pixels on every side: the quads wrap their coordinates.
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (x < 2 || y < 2 || x >= image.width - 2 || y >= image.height - 2) image.At(x, y).a = 0.0f;
    }
  }
  return image;
}

// >>section snow and particles

Image BuildSnowflakeTexture() {
  constexpr int kSize = 64;
  return Supersample(kSize, kSize, 2, [](float u, float v) {
    const float dx = (u - 0.5f) * 2.0f, dy = (v - 0.5f) * 2.0f;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float body = std::pow(Clamp01(1.0f - r), 1.6f);
    const float core = std::exp(-r * r * 18.0f);
    return Rgba{0.94f + 0.06f * core, 0.96f + 0.04f * core, 1.0f,
                Clamp01(body * 0.9f + core * 0.3f)};
  });
}

namespace {

constexpr int kCell = 64;

float SparkleIntensity(float dx, float dy) {
  const float r = std::sqrt(dx * dx + dy * dy);
  float i = std::exp(-r * r / 18.0f) + 0.35f * std::exp(-r * r / 200.0f);
  const auto ray = [](float along, float across, float length, float thick) {
    return std::exp(-(across * across) / (thick * thick)) *
           std::pow(Clamp01(1.0f - std::fabs(along) / length), 2.0f);
  };
  i += ray(dx, dy, 29.0f, 1.3f) + ray(dy, dx, 29.0f, 1.3f);
  const float d1 = (dx + dy) * 0.7071f, d2 = (dx - dy) * 0.7071f;
  i += 0.45f * (ray(d1, d2, 16.0f, 1.0f) + ray(d2, d1, 16.0f, 1.0f));
  return i;
}

float GlowIntensity(float dx, float dy) {
  const float r = std::sqrt(dx * dx + dy * dy) / 30.0f;
  return std::pow(Clamp01(1.0f - r), 2.2f);
}

float CrystalIntensity(float dx, float dy) {
  const float r = std::sqrt(dx * dx + dy * dy);
  float best = 0.0f;
  for (int arm = 0; arm < 6; ++arm) {
    const float a = arm * kPi / 3.0f;
    const float along = dx * std::cos(a) + dy * std::sin(a);
    const float across = -dx * std::sin(a) + dy * std::cos(a);
    if (along < 0.0f || along > 26.0f) continue;
    float arm_i = std::exp(-across * across / 2.0f);
    // Side branches at two places along every arm.
    for (float at : {11.0f, 18.0f}) {
      const float bx = along - at, by = std::fabs(across);
      const float branch =
          std::exp(-std::pow(bx - by * 0.58f, 2.0f) / 1.5f) * (by < 7.0f ? 1.0f : 0.0f);
      arm_i = std::max(arm_i, branch * 0.8f);
    }
    best = std::max(best, arm_i);
  }
  return best * Clamp01(1.0f - r / 28.0f + 0.15f) + 0.25f * std::exp(-r * r / 30.0f);
}

}  // namespace

Image BuildParticleTexture() {
  return Supersample(kCell * 3, kCell, 3, [](float u, float v) {
    const float px = u * kCell * 3, py = v * kCell;
    const int cell = std::min(static_cast<int>(px / kCell), 2);
    const float dx = px - (cell + 0.5f) * kCell, dy = py - 0.5f * kCell;
    float i = cell == 0   ? SparkleIntensity(dx, dy)
              : cell == 1 ? GlowIntensity(dx, dy)
                          : CrystalIntensity(dx, dy);
    // Black margin inside every cell so that neighbours never bleed into each other.
    const float edge = std::min(kCell * 0.5f - std::fabs(dx), kCell * 0.5f - std::fabs(dy));
    i = Clamp01(i) * SmoothStep(1.0f, 4.0f, edge);
    return Rgba{i, i, i, 1.0f};
  });
}

// >>section sky

namespace {

constexpr int kSkyWidth = 1024;
constexpr int kSkyHeight = 512;
constexpr float kSkyTopElevation = 90.0f;

struct SkyKey {
  float elevation;
  Rgba colour;
};
constexpr SkyKey kSkyGradient[] = {
    {-20.0f, {0.09f, 0.06f, 0.15f, 1}},  {0.0f, {0.22f, 0.14f, 0.32f, 1}},
    {6.0f, {0.14f, 0.11f, 0.28f, 1}},    {20.0f, {0.06f, 0.07f, 0.19f, 1}},
    {50.0f, {0.025f, 0.035f, 0.11f, 1}}, {90.0f, {0.012f, 0.018f, 0.065f, 1}},
};
constexpr int kStarCount = 3200;
constexpr float kMoonAzimuth = 205.0f, kMoonElevation = 24.0f, kMoonRadius = 1.7f;
constexpr float kAuroraStrength = 0.34f;

Rgba SkyGradient(float e) {
  constexpr int n = sizeof(kSkyGradient) / sizeof(kSkyGradient[0]);
  if (e <= kSkyGradient[0].elevation) return kSkyGradient[0].colour;
  for (int i = 1; i < n; ++i) {
    if (e <= kSkyGradient[i].elevation) {
      const float t = (e - kSkyGradient[i - 1].elevation) /
                      (kSkyGradient[i].elevation - kSkyGradient[i - 1].elevation);
      return Mix(kSkyGradient[i - 1].colour, kSkyGradient[i].colour, t * t * (3 - 2 * t));
    }
  }
  return kSkyGradient[n - 1].colour;
}

float RowElevation(float y) {
  return kSkyTopElevation - y / kSkyHeight * (kSkyTopElevation - kSkyBottomElevation);
}

float ElevationRow(float e) {
  return (kSkyTopElevation - e) / (kSkyTopElevation - kSkyBottomElevation) * kSkyHeight;
}

// Unit direction of an azimuth and elevation in degrees.
void Direction(float az, float e, float out[3]) {
  const float a = az * kPi / 180.0f, b = e * kPi / 180.0f;
  out[0] = std::cos(b) * std::cos(a);
  out[1] = std::cos(b) * std::sin(a);
  out[2] = std::sin(b);
}

void AddAurora(Image& sky) {
  for (int y = 0; y < kSkyHeight; ++y) {
    const float e = RowElevation(y + 0.5f);
    if (e < -2.0f || e > 60.0f) continue;
    for (int x = 0; x < kSkyWidth; ++x) {
      const float az = (x + 0.5f) / kSkyWidth;  // 0..1 around the sky
      // The curtain's lower edge wanders; everything is periodic in the azimuth.
      const float base = 9.0f + 4.0f * std::sin(az * 2 * kPi * 3.0f + 1.3f) +
                         5.0f * (Fbm(az * 16.0f, 0.5f, 16, 3, 71u) - 0.5f);
      const float s = e - base;
      const float profile = s < 0 ? std::exp(-(s * s) / 2.0f) : std::exp(-s / 14.0f);
      const float rays = 0.45f + 0.55f * Fbm(az * 160.0f, s * 0.04f, 160, 3, 83u);
      const float envelope =
          SmoothStep(0.15f, 0.9f, 0.5f + 0.5f * std::sin(az * 2 * kPi * 2.0f + 0.4f));
      const float amount = kAuroraStrength * profile * rays * envelope;
      const float top = Clamp01(s / 22.0f);
      const Rgba colour = Mix(Rgba{0.15f, 0.95f, 0.50f, 1}, Rgba{0.55f, 0.22f, 0.75f, 1}, top);
      sky.Add(x, y, colour, amount);
    }
  }
}

void AddStars(Image& sky) {
  Rng rng(20261208u);
  const float minZ = std::sin(-3.0f * kPi / 180.0f);
  for (int i = 0; i < kStarCount; ++i) {
    // Uniform on the sphere above -12 degrees.
    const float z = rng.Range(minZ, 1.0f);
    const float az = rng.Range(0.0f, 360.0f);
    const float e = std::asin(z) * 180.0f / kPi;
    const float brightness = 0.12f + 0.88f * std::pow(rng.Uniform(), 7.0f);
    const float warmth = rng.Uniform();
    const Rgba tint = warmth < 0.3f    ? Rgba{0.75f, 0.85f, 1.0f, 1}
                      : warmth < 0.85f ? Rgba{1, 1, 1, 1}
                                       : Rgba{1.0f, 0.86f, 0.7f, 1};
    const float haze = SmoothStep(-6.0f, 14.0f, e) * 0.8f + 0.2f;
    const float sigma = 0.55f + 0.6f * brightness;
    const float cosE = std::max(std::cos(e * kPi / 180.0f), 0.08f);
    const float sigmaX = sigma / cosE * 0.6f;  // columns crowd together towards the zenith
    const float cx = az / 360.0f * kSkyWidth, cy = ElevationRow(e);
    const int rx = static_cast<int>(std::ceil(sigmaX * 3)),
              ry = static_cast<int>(std::ceil(sigma * 3));
    for (int dy = -ry; dy <= ry; ++dy) {
      const int py = static_cast<int>(std::floor(cy)) + dy;
      if (py < 0 || py >= kSkyHeight) continue;
      for (int dx = -rx; dx <= rx; ++dx) {
        const int px = static_cast<int>(std::floor(cx)) + dx;
        const float fx = (px + 0.5f - cx) / sigmaX, fy = (py + 0.5f - cy) / sigma;
        const float w = std::exp(-0.5f * (fx * fx + fy * fy));
        sky.Add((px % kSkyWidth + kSkyWidth) % kSkyWidth, py, tint, brightness * haze * w * 1.3f);
      }
    }
  }
}

void AddMilkyWay(Image& sky) {
  float normal[3];
  Direction(40.0f, 35.0f, normal);
  for (int y = 0; y < kSkyHeight; ++y) {
    const float e = RowElevation(y + 0.5f);
    for (int x = 0; x < kSkyWidth; ++x) {
      const float az = (x + 0.5f) / kSkyWidth * 360.0f;
      float d[3];
      Direction(az, e, d);
      const float off = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
      const float band = std::exp(-(off * off) / 0.03f);
      if (band < 0.01f) continue;
      const float clouds = Fbm((x + 0.5f) / kSkyWidth * 48.0f, y * 0.05f, 48, 4, 97u);
      const float amount = band * SmoothStep(0.35f, 0.85f, clouds) * 0.06f * SmoothStep(-2, 15, e);
      sky.Add(x, y, Rgba{0.7f, 0.72f, 0.9f, 1}, amount);
    }
  }
}

void AddMoon(Image& sky) {
  const float cy = ElevationRow(kMoonElevation);
  const float cosE = std::cos(kMoonElevation * kPi / 180.0f);
  const float pxPerDegX = kSkyWidth / 360.0f * cosE;
  const float pxPerDegY = kSkyHeight / (kSkyTopElevation - kSkyBottomElevation);
  const float cx = kMoonAzimuth / 360.0f * kSkyWidth;
  for (int y = 0; y < kSkyHeight; ++y) {
    for (int x = 0; x < kSkyWidth; ++x) {
      const float degX = (x + 0.5f - cx) / pxPerDegX, degY = (y + 0.5f - cy) / pxPerDegY;
      const float r = std::sqrt(degX * degX + degY * degY);
      if (r > 25.0f) continue;
      const float halo = 0.10f * std::exp(-r / 4.0f) + 0.05f * std::exp(-r / 12.0f);
      sky.Add(x, y, Rgba{0.75f, 0.78f, 0.95f, 1}, halo);
      const float disc = SmoothStep(kMoonRadius + 0.25f, kMoonRadius - 0.25f, r);
      if (disc > 0.0f) {
        const float maria = Fbm(degX * 1.3f + 5.0f, degY * 1.3f + 5.0f, 0, 3, 5u);
        const Rgba moon =
            Scale(Rgba{1.0f, 0.98f, 0.9f, 1}, 0.78f + 0.22f * SmoothStep(0.35f, 0.65f, maria));
        sky.At(x, y) = Mix(sky.At(x, y), moon, disc);
      }
    }
  }
}

}  // namespace

Image BuildSkyTexture() {
  Image sky(kSkyWidth, kSkyHeight);
  for (int y = 0; y < kSkyHeight; ++y) {
    const Rgba row = SkyGradient(RowElevation(y + 0.5f));
    for (int x = 0; x < kSkyWidth; ++x) {
      // A faint large-scale mottling keeps the gradient from banding.
      const float n = Fbm((x + 0.5f) / kSkyWidth * 8.0f, y / 64.0f, 8, 3, 61u);
      sky.At(x, y) = Scale(row, 0.92f + 0.16f * n);
    }
  }
  AddMilkyWay(sky);
  AddAurora(sky);
  AddStars(sky);
  AddMoon(sky);
  return sky;
}

// >>section ground

Image BuildGroundTexture() {
  constexpr int kSize = 256;
  static constexpr Rgba kSnowBase{0.60f, 0.66f, 0.86f, 1};
  Image ground = Supersample(kSize, kSize, 1, [](float u, float v) {
    const float drifts = Fbm(u * 4.0f, v * 4.0f, 4, 5, 131u);
    const float warp = Fbm(u * 3.0f, v * 3.0f, 3, 2, 137u);
    const float ripples = std::sin(2 * kPi * (v * 7.0f + 1.5f * warp));
    const float grain = Hash2(static_cast<int>(u * kSize), static_cast<int>(v * kSize), 139u);
    const float shade = 0.86f + 0.26f * drifts + 0.035f * ripples + 0.03f * (grain - 0.5f);
    return Scale(kSnowBase, shade);
  });
  Rng rng(4242u);
  // Dry grass poking through: dark strokes that make the motion of the ground readable.
  for (int tuft = 0; tuft < 22; ++tuft) {
    const float cx = rng.Range(0, kSize), cy = rng.Range(0, kSize);
    const int blades = 3 + rng.Below(4);
    for (int b = 0; b < blades; ++b) {
      const float lean = rng.Range(-0.6f, 0.6f);
      const float length = rng.Range(3.0f, 8.0f);
      for (float t = 0; t < length; t += 0.5f) {
        const int x = static_cast<int>(cx + b * 1.3f + lean * t + kSize) % kSize;
        const int y = static_cast<int>(cy - t + kSize) % kSize;
        ground.At(x, y) = Mix(ground.At(x, y), Rgba{0.26f, 0.25f, 0.32f, 1}, 0.55f);
      }
    }
    // A little blue shadow on the snow beside every tuft.
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = 0; dx < 6; ++dx) {
        const int x = static_cast<int>(cx + dx + 2 + kSize) % kSize;
        const int y = static_cast<int>(cy + dy + kSize) % kSize;
        ground.At(x, y) = Mix(ground.At(x, y), Rgba{0.38f, 0.42f, 0.66f, 1}, 0.25f);
      }
    }
  }
  // Glints of ice crystals.
  for (int g = 0; g < 160; ++g) {
    const int x = rng.Below(kSize), y = rng.Below(kSize);
    ground.Add(x, y, Rgba{1, 1, 1, 1}, rng.Range(0.2f, 0.45f));
  }
  return ground;
}

// >>section banners and icon

namespace {

// 5 x 7 capital letters for the banner captions.
struct Glyph {
  char c;
  const char* rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

// Draws text with its top-left corner at (x, y), `scale` pixels per font cell, with a
// soft dark shadow under it.
void DrawText(Image& image, const char* text, int x, int y, int scale, Rgba colour) {
  for (int pass = 0; pass < 2; ++pass) {
    const int offset = pass == 0 ? 1 : 0;
    const Rgba c = pass == 0 ? Rgba{0.02f, 0.02f, 0.08f, 1} : colour;
    int penX = x;
    for (const char* p = text; *p; ++p) {
      const Glyph* g = FindGlyph(*p);
      if (g) {
        for (int row = 0; row < 7; ++row) {
          for (int col = 0; col < 5; ++col) {
            if (g->rows[row][col] != '#') continue;
            for (int sy = 0; sy < scale; ++sy) {
              for (int sx = 0; sx < scale; ++sx) {
                image.Blend(penX + col * scale + sx + offset, y + row * scale + sy + offset, c,
                            pass == 0 ? 0.7f : 1.0f);
              }
            }
          }
        }
      }
      penX += 6 * scale;
    }
  }
}

int TextWidth(const char* text, int scale) {
  int n = 0;
  for (const char* p = text; *p; ++p) ++n;
  return n * 6 * scale - scale;
}

// A small night landscape shared by the banners and the icon: u, v in [0, 1).
Rgba NightScene(float u, float v, float aspect, uint32_t seed) {
  Rgba c =
      Mix(Rgba{0.05f, 0.06f, 0.20f, 1}, Rgba{0.30f, 0.16f, 0.42f, 1}, SmoothStep(0.1f, 0.95f, v));
  const float star = Hash2(static_cast<int>(u * 180 * aspect), static_cast<int>(v * 180), seed);
  if (star > 0.985f && v < 0.6f) c = Mix(c, Rgba{1, 1, 1, 1}, (star - 0.985f) * 50.0f);
  const float hill = 0.78f - 0.10f * std::sin(u * kPi * 1.3f + 0.4f);
  if (v > hill)
    c = Mix(Rgba{0.78f, 0.83f, 1.0f, 1}, Rgba{0.45f, 0.50f, 0.78f, 1}, (v - hill) * 3.0f);
  return c;
}

constexpr int kBannerWidth = 252;
constexpr int kBannerHeight = 54;

}  // namespace

Image BuildBanner(int which) {
  const float aspect = static_cast<float>(kBannerWidth) / kBannerHeight;
  Image banner = Supersample(kBannerWidth, kBannerHeight, 2, [&](float u, float v) {
    Rgba c = NightScene(u, v, aspect, which == 0 ? 3u : 4u);
    // Two small firs at the right end.
    for (int t = 0; t < 2; ++t) {
      const float cx = 0.88f + t * 0.06f, base = 0.86f, h = 0.55f - t * 0.12f;
      const float dy = base - v;
      if (dy < 0 || dy > h) continue;
      const float half = (1.0f - dy / h) * h * 0.32f / aspect;
      if (std::fabs(u - cx) < half) c = Rgba{0.04f, 0.16f, 0.10f, 1};
    }
    return c;
  });
  const char* line = which == 0 ? "YULO HOME PAGE" : "WINTER NIGHTS";
  const int scale = 2;
  DrawText(banner, line, (kBannerWidth - 30 - TextWidth(line, scale)) / 2, (kBannerHeight - 14) / 2,
           scale, Rgba{1.0f, 0.95f, 0.75f, 1});
  return banner;
}

Image BuildIcon(int size) {
  return Supersample(size, size, 4, [&](float u, float v) {
    // Rounded square.
    const float margin = 0.06f, radius = 0.2f;
    const float qx = std::max(std::fabs(u - 0.5f) - (0.5f - margin - radius), 0.0f);
    const float qy = std::max(std::fabs(v - 0.5f) - (0.5f - margin - radius), 0.0f);
    if (qx * qx + qy * qy > radius * radius) return Rgba{0, 0, 0, 0};
    Rgba c = NightScene(u, v, 1.0f, 9u);
    // Moon with a crescent cut.
    const float mx = u - 0.30f, my = v - 0.28f;
    const float cx = u - 0.35f, cy = v - 0.25f;
    if (mx * mx + my * my < 0.011f && cx * cx + cy * cy > 0.009f) c = Rgba{1.0f, 0.96f, 0.78f, 1};
    // A snowy fir.
    const float base = 0.80f, top = 0.22f;
    if (v > top && v < base) {
      const float t = (v - top) / (base - top);
      const float tier = std::fmod(t * 3.0f, 1.0f);
      const float half = (0.08f + 0.20f * t) * (0.55f + 0.45f * tier);
      const float d = std::fabs(u - 0.66f);
      if (d < half) c = tier < 0.22f ? Rgba{0.86f, 0.90f, 1.0f, 1} : Rgba{0.05f, 0.30f, 0.18f, 1};
    }
    if (v >= base && v < 0.86f && std::fabs(u - 0.66f) < 0.03f) c = Rgba{0.30f, 0.20f, 0.14f, 1};
    return c;
  });
}

}  // namespace yulo::assetgen

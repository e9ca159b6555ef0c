// Builders of the scene's own pictures. Each returns a finished image; the caller picks
// the file format. All are deterministic.
#pragma once

#include "image.h"

namespace yulo::assetgen {

// Fir-tree billboards (RGBA, transparent background and borders). variant 0 is a slender
// spruce ("fir.tga"), variant 1 a full, snow-laden fir ("fir2.tga").
Image BuildFirTexture(int variant);
// Soft round snowflake for the point sprites (white, alpha falls off to the rim).
Image BuildSnowflakeTexture();
// Three particle cells side by side on black: sparkle, soft glow, ice crystal.
Image BuildParticleTexture();
// Night sky for the dome: u is the azimuth (tiles), v runs from the zenith (top row) to
// kSkyBottomElevation degrees below the horizon (bottom row).
Image BuildSkyTexture();
constexpr float kSkyBottomElevation = -20.0f;
// Moonlit snow for the globe; tiles in both directions.
Image BuildGroundTexture();
// Dialog banners ad1.bmp (which 0) and ad2.bmp (which 1).
Image BuildBanner(int which);
// Program icon, size x size, RGBA.
Image BuildIcon(int size);

// Renders w x h pixels, each the average of n x n samples of shade(u, v) with u, v in
// [0, 1) across the image (v downwards). Colours are averaged weighted by alpha.
template <typename Shader>
Image Supersample(int w, int h, int n, Shader shade) {
  Image image(w, h, Rgba{0, 0, 0, 0});
  const float inv = 1.0f / static_cast<float>(n * n);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgba sum{0, 0, 0, 0};
      for (int sy = 0; sy < n; ++sy) {
        for (int sx = 0; sx < n; ++sx) {
          const float u = (static_cast<float>(x) + (sx + 0.5f) / n) / static_cast<float>(w);
          const float v = (static_cast<float>(y) + (sy + 0.5f) / n) / static_cast<float>(h);
          const Rgba c = shade(u, v);
          sum.r += c.r * c.a;
          sum.g += c.g * c.a;
          sum.b += c.b * c.a;
          sum.a += c.a;
        }
      }
      Rgba& d = image.At(x, y);
      d.a = sum.a * inv;
      if (sum.a > 0.0f) {
        d.r = sum.r / sum.a;
        d.g = sum.g / sum.a;
        d.b = sum.b / sum.a;
      }
    }
  }
  return image;
}

}  // namespace yulo::assetgen

// The pictures: what the scene's drawing relies on (transparent borders for wrapping
// quads, cells on black for additive sprites, tiling for the scrolled ground and the sky).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "data_files.h"

namespace yulo::assetgen {
namespace {

using test::DecodeTga;
using test::Picture;
using test::ReadAll;
using test::ShareDir;

Picture Load(const char* name) {
  Picture p;
  EXPECT_TRUE(DecodeTga(ReadAll(ShareDir() + "/Data/" + name), &p)) << name;
  return p;
}

// Mean absolute colour difference between two columns (or rows, when rows is true).
double LineDifference(const Picture& p, int a, int b, bool rows) {
  const int n = rows ? p.width : p.height;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t* pa = rows ? p.At(i, a) : p.At(a, i);
    const uint8_t* pb = rows ? p.At(i, b) : p.At(b, i);
    for (int c = 0; c < 3; ++c) sum += std::abs(pa[c] - pb[c]);
  }
  return sum / (n * 3);
}

// The wrap-around seam must look like any other neighbouring pair of lines.
void ExpectTiles(const Picture& p, bool rows, const char* what) {
  const int n = rows ? p.height : p.width;
  double interior = 0;
  for (int i = 0; i + 1 < n; ++i) interior += LineDifference(p, i, i + 1, rows);
  interior /= n - 1;
  EXPECT_LE(LineDifference(p, n - 1, 0, rows), interior * 2.5 + 1.0) << what;
}

TEST(FirTextures, TreesStandOnTheBottomEdgeInsideClearBorders) {
  for (const char* name : {"fir.tga", "fir2.tga"}) {
    const Picture p = Load(name);
    ASSERT_GT(p.width, 0);
    int opaque = 0, top = p.height, bottom = -1;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const bool border = x < 2 || y < 2 || x >= p.width - 2 || y >= p.height - 2;
        if (border) {
          EXPECT_EQ(p.At(x, y)[3], 0) << name << " at " << x << "," << y;
        }
        if (p.At(x, y)[3] >= 128) {
          ++opaque;
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
      }
    }
    // The quad's bottom edge sits on the ground: the trunk must reach almost to it, and
    // the crown must fill most of the height.
    EXPECT_GE(bottom, p.height * 95 / 100) << name;
    EXPECT_LE(top, p.height * 6 / 100) << name;
    EXPECT_GT(opaque, p.width * p.height / 8) << name;
  }
  EXPECT_FALSE(ReadAll(ShareDir() + "/Data/fir.tga") == ReadAll(ShareDir() + "/Data/fir2.tga"));
}

TEST(SpriteTextures, ParticleCellsAreLitCentresOnBlack) {
  const Picture p = Load("particles.tga");
  ASSERT_EQ(p.width, p.height * 3) << "three square cells side by side";
  const int cell = p.height;
  for (int c = 0; c < 3; ++c) {
    EXPECT_GT(p.At(c * cell + cell / 2, cell / 2)[0], 200) << "cell " << c;
    for (int i = 0; i < cell; ++i) {
      // Sprites sample each cell with a tiny inset; its edges must stay black.
      EXPECT_EQ(p.At(c * cell, i)[0], 0);
      EXPECT_EQ(p.At(c * cell + cell - 1, i)[1], 0);
      EXPECT_EQ(p.At(c * cell + i, 0)[2], 0);
      EXPECT_EQ(p.At(c * cell + i, cell - 1)[0], 0);
    }
  }
}

TEST(SpriteTextures, SnowflakeIsOpaqueInTheMiddleAndClearAtTheRim) {
  const Picture p = Load("snowflake.tga");
  ASSERT_GT(p.width, 8);
  EXPECT_GT(p.At(p.width / 2, p.height / 2)[3], 200);
  EXPECT_EQ(p.At(0, 0)[3], 0);
  EXPECT_EQ(p.At(p.width - 1, p.height / 2)[3], 0);
  EXPECT_GT(p.At(p.width / 2, p.height / 2)[0], 230);
}

TEST(EnvironmentTextures, GroundTilesBothWaysAndSkyWrapsAroundTheAzimuth) {
  const Picture ground = Load("snow_ground.tga");
  ExpectTiles(ground, false, "ground columns");
  ExpectTiles(ground, true, "ground rows");
  const Picture sky = Load("sky.tga");
  ExpectTiles(sky, false, "sky columns");
  // Night: dark at the zenith, lighter towards the horizon.
  double zenith = 0, horizon = 0;
  for (int x = 0; x < sky.width; ++x) {
    zenith += sky.At(x, 2)[2];
    horizon += sky.At(x, sky.height * 81 / 100)[2];
  }
  EXPECT_LT(zenith / sky.width, 60);
  EXPECT_GT(horizon, zenith);
}

}  // namespace
}  // namespace yulo::assetgen

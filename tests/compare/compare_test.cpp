// The frame comparison: RMSE on the 0..255 scale, and which differences count as outliers.
#include <gtest/gtest.h>

#include <vector>

#include "compare/compare.h"

namespace yulo {
namespace {

constexpr uint32_t kW = 16, kH = 12;

struct Picture {
  std::vector<uint8_t> rgba = std::vector<uint8_t>(kW * kH * 4, 0);
  void Fill(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t r, uint8_t g, uint8_t b) {
    for (uint32_t y = y0; y < y1; ++y) {
      for (uint32_t x = x0; x < x1; ++x) {
        uint8_t* p = &rgba[(y * kW + x) * 4];
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = 255;
      }
    }
  }
  ImageView View() const { return ImageView{rgba.data(), kW, kH}; }
};

TEST(CompareFrames, RmseMaxAndOutliers) {
  struct Case {
    const char* what;
    int shiftX;          // the square in b moved by this many pixels
    uint8_t shadeB;      // the square's grey in b (a has 200)
    double rmsePercent;  // expected
    int maxDifference;
    uint64_t outliers;
  };
  // A 6 x 6 square of grey 200 on black in a.
  const Case cases[] = {
      {"identical", 0, 200, 0.0, 0, 0},
      // 36 pixels off by 8: sqrt(36 * 64 / 192) / 255 = 1.3587 %, within the tolerance.
      {"within tolerance", 0, 208, 1.3587, 8, 0},
      // 36 pixels off by 10, no neighbour matches: every one an outlier.
      {"shade beyond tolerance", 0, 210, 1.6984, 10, 36},
      // The square one pixel over: 12 pixels differ by 200 (sqrt(12 * 40000 / 192) / 255),
      // all explained as an edge.
      {"edge moved one pixel", 1, 200, 19.6078, 200, 0},
      // Two pixels over: 24 pixels differ; only the corners of the inner columns find a
      // match within one pixel (above or below), so 24 - 4 are outliers.
      {"edge moved two pixels", 2, 200, 27.7297, 200, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Picture a, b;
    a.Fill(4, 3, 10, 9, 200, 200, 200);
    b.Fill(4 + c.shiftX, 3, 10 + c.shiftX, 9, c.shadeB, c.shadeB, c.shadeB);
    FrameDifference d;
    ASSERT_TRUE(CompareFrames(a.View(), b.View(), 8, &d));
    EXPECT_NEAR(d.rmsePercent, c.rmsePercent, 0.001);
    EXPECT_EQ(d.maxDifference, c.maxDifference);
    EXPECT_EQ(d.outliers, c.outliers);
    EXPECT_EQ(d.maxOutsideEdges, c.outliers > 0 ? c.maxDifference : 0);
    if (c.shiftX != 0) {
      EXPECT_EQ(d.offsetX, c.shiftX);
    }
  }
}

TEST(CompareFrames, SilhouettesAgainstTheBackgroundAreNoOutliers) {
  const uint8_t background[3] = {0, 0, 0};
  Picture a, b;
  // The same square; along its left edge the two disagree about the texel (red, blue).
  a.Fill(4, 3, 10, 9, 200, 200, 200);
  b.Fill(4, 3, 10, 9, 200, 200, 200);
  a.Fill(4, 3, 5, 9, 220, 0, 0);
  b.Fill(4, 3, 5, 9, 0, 0, 220);
  // And a second square only b has: missing geometry, never explained.
  b.Fill(12, 3, 15, 6, 90, 90, 90);
  FrameDifference plain, silhouette;
  ASSERT_TRUE(CompareFrames(a.View(), b.View(), 8, &plain));
  ASSERT_TRUE(CompareFrames(a.View(), b.View(), 8, &silhouette, background));
  EXPECT_EQ(plain.outliers, 6u + 9u);
  EXPECT_EQ(silhouette.outliers, 1u);  // only the missing square's centre is off the edge
  EXPECT_EQ(silhouette.maxOutsideEdges, 90);
}

TEST(CompareFrames, PicturesOfDifferentSizesAreNotCompared) {
  Picture a;
  const ImageView smaller{a.rgba.data(), kW - 1, kH};
  FrameDifference d;
  EXPECT_FALSE(CompareFrames(a.View(), smaller, 8, &d));
}

TEST(DifferencePicture, MarksOutliersRedAndEdgesGrey) {
  Picture a, b;
  a.Fill(4, 3, 10, 9, 200, 200, 200);
  b.Fill(5, 3, 11, 9, 200, 200, 200);  // an edge one pixel over
  b.Fill(0, 0, 1, 1, 50, 0, 0);        // and a stray pixel
  std::vector<uint8_t> out;
  DifferencePicture(a.View(), b.View(), 8, &out);
  const auto at = [&out](uint32_t x, uint32_t y) { return &out[(y * kW + x) * 4]; };
  EXPECT_EQ(at(0, 0)[0], 255);  // outlier: red
  EXPECT_EQ(at(0, 0)[1], 0);
  EXPECT_EQ(at(4, 5)[0], 255);  // edge: grey, clamped at 255
  EXPECT_EQ(at(4, 5)[1], 255);
  EXPECT_EQ(at(7, 5)[0], 0);  // equal: black
}

}  // namespace
}  // namespace yulo

#include "models/texcoord_split.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "reference_split.h"

namespace yulo {
namespace {

void ExpectSameSplit(const TexCoordSplit& a, const TexCoordSplit& b) {
  ASSERT_EQ(a.source, b.source);
  ASSERT_EQ(a.cornerVertex, b.cornerVertex);
  ASSERT_EQ(a.texCoord.size(), b.texCoord.size());
  // Bitwise, so that NaN and -0 count too.
  EXPECT_EQ(0,
            std::memcmp(a.texCoord.data(), b.texCoord.data(), a.texCoord.size() * sizeof(Vector2)));
}

TEST(TexCoordSplit, CubeWithSharedCoordinatesKeepsOneVertexPerPosition) {
  // Two faces (four triangles) of a cube; every position has one coordinate.
  const int32_t corners[] = {0, 1, 2, 0, 2, 3, 1, 5, 6, 1, 6, 2};
  std::vector<Vector2> uv;
  const Vector2 perPosition[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {}, {2, 0}, {2, 1}};
  for (int32_t c : corners) uv.push_back(perPosition[c]);
  TexCoordSplit split;
  SplitByTexCoord(corners, uv.data(), 12, 7, &split);
  // Positions 0..6 in order, position 4 unused but present.
  EXPECT_EQ(split.source, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(split.cornerVertex, (std::vector<int32_t>(std::begin(corners), std::end(corners))));
}

TEST(TexCoordSplit, TwoCoordinatesAtOnePositionMakeTwoConsecutiveVertices) {
  // Position 1 is used with two coordinates, the second one twice.
  const int32_t corners[] = {0, 1, 2, 1, 3, 2, 3, 1, 0};
  const Vector2 uv[] = {{0, 0}, {0.5f, 0}, {1, 1},    {0.5f, 1}, {0, 1},
                        {1, 1}, {0, 1},    {0.5f, 1}, {0, 0}};
  TexCoordSplit split;
  SplitByTexCoord(corners, uv, 9, 4, &split);
  EXPECT_EQ(split.source, (std::vector<int32_t>{0, 1, 1, 2, 3}));
  EXPECT_EQ(split.cornerVertex, (std::vector<int32_t>{0, 1, 3, 2, 4, 3, 4, 2, 0}));
  EXPECT_FLOAT_EQ(split.texCoord[2].y, 1.0f);
}

TEST(TexCoordSplit, LargeCoordinatesNeedNoMarker) {
  // u above 1000 used to read as "already assigned"; here it is a coordinate like any.
  const int32_t corners[] = {0, 0, 0};
  const Vector2 uv[] = {{5000, 0}, {5000, 0}, {12000, 0}};
  TexCoordSplit split;
  SplitByTexCoord(corners, uv, 3, 1, &split);
  EXPECT_EQ(split.source, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(split.cornerVertex, (std::vector<int32_t>{0, 0, 1}));
  EXPECT_FLOAT_EQ(split.texCoord[1].x, 12000.0f);
}

TEST(TexCoordSplit, MatchesTheReferenceOnRandomMeshes) {
  std::mt19937 random(20261208);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Few distinct values, so coordinates repeat; with -0, NaN and a value past 1000.
  const float values[] = {0.0f, -0.0f, 0.25f, 0.5f, 1.0f, 1500.0f, nan};
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t sources = 1 + int32_t(random() % 40);
    const int32_t corners = 3 * int32_t(random() % 60);
    const int valueCount = trial % 2 ? 7 : 3;  // half the meshes without NaN and -0
    std::vector<int32_t> source(static_cast<size_t>(corners));
    std::vector<Vector2> uv(static_cast<size_t>(corners));
    for (int32_t c = 0; c < corners; ++c) {
      // Draw sources from a subset so some stay unused and others repeat often.
      source[size_t(c)] = int32_t(random() % uint32_t(1 + sources / 2)) * 2 % sources;
      uv[size_t(c)] = Vector2(values[random() % valueCount], values[random() % valueCount]);
    }
    TexCoordSplit fast;
    TexCoordSplit reference;
    SplitByTexCoord(source.data(), uv.data(), corners, sources, &fast);
    test::ReferenceSplit(source.data(), uv.data(), corners, sources, &reference);
    SCOPED_TRACE(trial);
    ExpectSameSplit(fast, reference);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace yulo

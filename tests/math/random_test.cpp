#include <gtest/gtest.h>

#include <vector>

#include "math/random.h"

namespace yulo {
namespace {

// RandomInt(65536) returns the raw 16-bit value itself.
int Raw() {
  return RandomInt(65536);
}

TEST(Random, SequenceAfterSeedZero) {
  RandomSeed(0);
  const int expected[] = {7199, 44122, 7955, 13368, 48283};
  for (int v : expected) EXPECT_EQ(Raw(), v);

  RandomSeed(0);
  const int modulo55[] = {49, 12, 35, 3, 48};
  for (int v : modulo55) EXPECT_EQ(RandomInt(55), v);
}

TEST(Random, TheTableHoldsEveryByteOnce) {
  std::vector<int> seen(256, 0);
  for (uint8_t v : RandomTable) ++seen[v];
  for (int v = 0; v < 256; ++v) EXPECT_EQ(seen[static_cast<size_t>(v)], 1) << v;
}

TEST(Random, RepeatsEvery256Draws) {
  for (uint32_t seed : {0u, 77u, 0xBEEFu}) {
    RandomSeed(seed);
    std::vector<int> first;
    for (int i = 0; i < 256; ++i) first.push_back(Raw());
    for (int i = 0; i < 256; ++i) ASSERT_EQ(Raw(), first[i]) << "seed " << seed << " draw " << i;
  }
}

TEST(Random, EveryOperationConsumesOneStep) {
  RandomSeed(5);
  Raw();
  const int second = Raw();
  RandomSeed(5);
  EXPECT_EQ(RandomInt(1), 0);
  EXPECT_EQ(Raw(), second);
  RandomSeed(5);
  EXPECT_EQ(RandomSigned(0.0f), 0.0f);
  EXPECT_EQ(Raw(), second);
  RandomSeed(5);
  EXPECT_EQ(RandomFloat(0.0f), 0.0f);
  EXPECT_EQ(Raw(), second);
}

TEST(Random, OnlyTheLowSixteenSeedBitsMatter) {
  for (uint32_t high : {0x10000u, 0x80000000u, 0xFFFF0000u}) {
    RandomSeed(0x1234u);
    std::vector<int> a;
    for (int i = 0; i < 8; ++i) a.push_back(Raw());
    RandomSeed(0x1234u | high);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Raw(), a[i]);
  }
}

TEST(Random, FloatRangesAreHalfOpen) {
  // Every seed reaches every pair of cursors, so the extreme raw values 0 and 65535 occur.
  float maxSigned = -2.0f;
  float minSigned = 2.0f;
  float maxFloat = -1.0f;
  for (uint32_t seed = 0; seed < 65536; seed += 1) {
    RandomSeed(seed);
    const float s = RandomSigned(1.0f);
    const float f = RandomFloat(1.0f);
    maxSigned = std::max(maxSigned, s);
    minSigned = std::min(minSigned, s);
    maxFloat = std::max(maxFloat, f);
  }
  EXPECT_EQ(maxSigned, 1.0f - 1.0f / 32768.0f);
  EXPECT_EQ(minSigned, -1.0f);
  EXPECT_EQ(maxFloat, 65535.0f / 65536.0f);
  // Negative ranges mirror.
  RandomSeed(0);
  const float a = RandomFloat(-10.0f);
  EXPECT_LE(a, 0.0f);
  EXPECT_GT(a, -10.0f);
}

}  // namespace
}  // namespace yulo

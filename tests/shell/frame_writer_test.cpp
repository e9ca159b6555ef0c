#include "shell/frame_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace yulo {
namespace {

// Keeps the first byte and the index of every frame; fails from frame failAt on.
class Recorder final : public FrameOutput {
 public:
  explicit Recorder(uint32_t failAt) : failAt_(failAt) {}
  bool Consume(const uint8_t* rgba, uint32_t, uint32_t, uint32_t index) override {
    seen.push_back({rgba[0], index});
    return index < failAt_;
  }
  void ReportFailure(uint32_t index) const override { reported.push_back(index); }
  std::vector<std::pair<uint8_t, uint32_t>> seen;
  mutable std::vector<uint32_t> reported;

 private:
  uint32_t failAt_;
};

// Every frame reaches the output once, in order, with the pixels it was submitted with,
// although the caller refills the other buffer meanwhile.
TEST(OverlappedFrameWriter, EveryFrameArrivesInOrderWithItsPixels) {
  Recorder recorder(100);
  {
    OverlappedFrameWriter writer(&recorder);
    for (uint32_t i = 0; i < 20; ++i) {
      writer.Pixels()->assign(2 * 2 * 4, uint8_t(i * 3));
      ASSERT_TRUE(writer.Submit(2, 2, i));
    }
    EXPECT_TRUE(writer.Finish());
  }
  ASSERT_EQ(recorder.seen.size(), 20u);
  for (uint32_t i = 0; i < 20; ++i) {
    EXPECT_EQ(recorder.seen[i], std::make_pair(uint8_t(i * 3), i));
  }
  EXPECT_TRUE(recorder.reported.empty());
}

// A failed frame is reported once and stops the run at the next hand-over.
TEST(OverlappedFrameWriter, AFailureEndsTheRun) {
  Recorder recorder(2);
  OverlappedFrameWriter writer(&recorder);
  bool stopped = false;
  for (uint32_t i = 0; i < 10 && !stopped; ++i) {
    writer.Pixels()->assign(4, 0);
    stopped = !writer.Submit(1, 1, i);
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(recorder.reported, std::vector<uint32_t>{2});
  EXPECT_EQ(recorder.seen.size(), 3u);
}

}  // namespace
}  // namespace yulo

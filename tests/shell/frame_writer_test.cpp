#include "shell/frame_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace yulo {
namespace {

// Keeps the first byte and the index of every frame; refuses frames from failAt on.
class Recorder final : public FrameSink {
 public:
  explicit Recorder(uint32_t failAt) : failAt_(failAt) {}
  bool TakeFrame(uint32_t index, const uint8_t* rgba, uint32_t, uint32_t) override {
    seen.push_back({rgba[0], index});
    return index < failAt_;
  }
  std::vector<std::pair<uint8_t, uint32_t>> seen;

 private:
  uint32_t failAt_;
};

// Every frame reaches the sink once, in order, with the pixels it was submitted with,
// although the caller refills the other buffer meanwhile.
TEST(OverlappedFrameWriter, EveryFrameArrivesInOrderWithItsPixels) {
  Recorder recorder(100);
  {
    OverlappedFrameWriter writer(&recorder);
    for (uint32_t i = 0; i < 20; ++i) {
      writer.Pixels()->assign(2 * 2 * 4, uint8_t(i * 3));
      ASSERT_TRUE(writer.Submit(i, 2, 2));
    }
    EXPECT_TRUE(writer.Finish());
  }
  ASSERT_EQ(recorder.seen.size(), 20u);
  for (uint32_t i = 0; i < 20; ++i) {
    EXPECT_EQ(recorder.seen[i], std::make_pair(uint8_t(i * 3), i));
  }
}

// A refused frame stops the run at the next hand-over; a buffer smaller than the size
// claimed is never handed over.
TEST(OverlappedFrameWriter, ARefusedFrameEndsTheRun) {
  Recorder recorder(2);
  OverlappedFrameWriter writer(&recorder);
  bool stopped = false;
  for (uint32_t i = 0; i < 10 && !stopped; ++i) {
    writer.Pixels()->assign(4, 0);
    stopped = !writer.Submit(i, 1, 1);
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(recorder.seen.size(), 3u);

  Recorder other(100);
  OverlappedFrameWriter small(&other);
  small.Pixels()->assign(4, 0);
  EXPECT_FALSE(small.Submit(0, 2, 2));
  EXPECT_TRUE(other.seen.empty());
}

// Submits five frames to a sink that refuses the fourth with no room left for a thread's
// stack; 0 when each was handed over as it was submitted, the refusal showing at once.
int SubmitWithoutAThread() {
  // Room for a few small blocks, none for a thread's stack.
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = pages * size_t(getpagesize()) + (2u << 20);
  setrlimit(RLIMIT_AS, &limit);
  Recorder recorder(3);
  std::vector<bool> taken;
  {
    OverlappedFrameWriter writer(&recorder);
    for (uint32_t i = 0; i < 5; ++i) {
      writer.Pixels()->assign(4, uint8_t(10 + i));
      taken.push_back(writer.Submit(i, 1, 1));
    }
    taken.push_back(writer.Finish());
  }
  const std::vector<bool> expected = {true, true, true, false, false, false};
  const bool right = taken == expected && recorder.seen.size() == 4 &&
                     recorder.seen[3] == std::make_pair(uint8_t(13), 3u);
  return right ? 0 : 1;
}

// A process that can't start a thread (a limit reached) still gets every frame written.
TEST(OverlappedFrameWriterDeathTest, WithoutAThreadEachFrameIsHandedOverInTurn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator needs address space of its own";
#endif
  EXPECT_EXIT(std::_Exit(SubmitWithoutAThread()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace yulo

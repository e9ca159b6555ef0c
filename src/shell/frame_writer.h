// Frames handed to a worker thread as they are read back, so that what the sink does with
// one frame (PNG encoding, video encoding) overlaps rendering the next.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "shell/headless.h"

namespace yulo {

// Two frame buffers: the caller reads a frame into Pixels() while the worker hands the one
// before to the sink. Nothing is allocated per frame once both buffers have their size.
class OverlappedFrameWriter {
 public:
  explicit OverlappedFrameWriter(FrameSink* sink);
  ~OverlappedFrameWriter();  // finishes the frame in hand
  OverlappedFrameWriter(const OverlappedFrameWriter&) = delete;
  OverlappedFrameWriter& operator=(const OverlappedFrameWriter&) = delete;

  // The buffer to read the next frame into (the worker never touches it).
  std::vector<uint8_t>* Pixels() { return &buffers_[filling_]; }
  // Waits for the previous frame, then hands Pixels() to the sink as frame index.
  // False when the sink refused any frame so far.
  bool Submit(uint32_t index, uint32_t width, uint32_t height);
  // Waits for the frame in hand; false when the sink refused any frame.
  bool Finish();

 private:
  void Work();
  bool WaitIdle(std::unique_lock<std::mutex>& lock);

  FrameSink* sink_;
  std::vector<uint8_t> buffers_[2];
  int filling_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool busy_ = false;  // the worker holds the other buffer
  bool failed_ = false;
  bool quit_ = false;
  uint32_t width_ = 0, height_ = 0, index_ = 0;
  std::thread worker_;  // started once everything above is ready; none when none could be
};

}  // namespace yulo

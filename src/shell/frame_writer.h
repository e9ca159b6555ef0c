// Frames handed to a worker thread as they are read back, so that writing one frame
// (PNG encoding, or any other output) overlaps rendering the next.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "resources/png_writer.h"

namespace yulo {

// What happens to each frame, on the worker thread. Consume returns false on a failure,
// which ends the run.
class FrameOutput {
 public:
  virtual ~FrameOutput() = default;
  // rgba: width x height RGBA8 texels, row 0 at the top; index counts from 0.
  virtual bool Consume(const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t index) = 0;
  // Said on stderr when Consume fails: what could not be done with frame index.
  virtual void ReportFailure(uint32_t index) const = 0;
};

// folder/frame-00000.png onwards, RGB, deterministic bytes.
class PngFolderOutput final : public FrameOutput {
 public:
  explicit PngFolderOutput(const char* folder) : folder_(folder) {}
  bool Consume(const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t index) override;
  void ReportFailure(uint32_t index) const override;

 private:
  void PathOf(uint32_t index, char* path, size_t size) const;
  const char* folder_;
  PngEncoder encoder_;
};

// Two frame buffers: the caller reads a frame into Pixels() while the worker consumes the
// one before. Nothing is allocated per frame once both buffers have their size.
class OverlappedFrameWriter {
 public:
  explicit OverlappedFrameWriter(FrameOutput* output);
  ~OverlappedFrameWriter();  // finishes the frame in hand
  OverlappedFrameWriter(const OverlappedFrameWriter&) = delete;
  OverlappedFrameWriter& operator=(const OverlappedFrameWriter&) = delete;

  // The buffer to read the next frame into (the worker never touches it).
  std::vector<uint8_t>* Pixels() { return &buffers_[filling_]; }
  // Waits for the previous frame, then hands Pixels() to the worker as frame index.
  // False when any frame so far failed (reported on stderr by then).
  bool Submit(uint32_t width, uint32_t height, uint32_t index);
  // Waits for the frame in hand; false when any frame failed.
  bool Finish();

 private:
  void Work();
  bool WaitIdle(std::unique_lock<std::mutex>& lock);

  FrameOutput* output_;
  std::vector<uint8_t> buffers_[2];
  int filling_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool busy_ = false;  // the worker holds the other buffer
  bool failed_ = false;
  bool quit_ = false;
  uint32_t width_ = 0, height_ = 0, index_ = 0;
  std::thread worker_;
};

}  // namespace yulo

#include "shell/frame_writer.h"

#include <system_error>

namespace yulo {

OverlappedFrameWriter::OverlappedFrameWriter(FrameSink* sink) : sink_(sink) {
  // Without a thread (a process limit reached) the frames are handed over in turn.
  try {
    worker_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
  }
}

OverlappedFrameWriter::~OverlappedFrameWriter() {
  if (!worker_.joinable()) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    quit_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

bool OverlappedFrameWriter::WaitIdle(std::unique_lock<std::mutex>& lock) {
  done_.wait(lock, [this] { return !busy_; });
  return !failed_;
}

bool OverlappedFrameWriter::Submit(uint32_t index, uint32_t width, uint32_t height) {
  if (!worker_.joinable()) {
    if (failed_ || buffers_[filling_].size() < size_t(width) * height * 4) return false;
    failed_ = !sink_->TakeFrame(index, buffers_[filling_].data(), width, height);
    return !failed_;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!WaitIdle(lock)) return false;
    if (buffers_[filling_].size() < size_t(width) * height * 4) return false;
    width_ = width;
    height_ = height;
    index_ = index;
    busy_ = true;
    filling_ ^= 1;
  }
  wake_.notify_one();
  return true;
}

bool OverlappedFrameWriter::Finish() {
  if (!worker_.joinable()) return !failed_;
  std::unique_lock<std::mutex> lock(mutex_);
  return WaitIdle(lock);
}

void OverlappedFrameWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || quit_; });
    if (!busy_) return;
    // The buffer the caller is not filling; it and the size stay put while busy.
    const std::vector<uint8_t>& frame = buffers_[filling_ ^ 1];
    const uint32_t width = width_, height = height_, index = index_;
    lock.unlock();
    const bool ok = sink_->TakeFrame(index, frame.data(), width, height);
    lock.lock();
    if (!ok) failed_ = true;
    busy_ = false;
    done_.notify_all();
  }
}

}  // namespace yulo

#include "shell/frame_writer.h"

#include <cstdio>

namespace yulo {

void PngFolderOutput::PathOf(uint32_t index, char* path, size_t size) const {
  std::snprintf(path, size, "%s/frame-%05u.png", folder_, index);
}

bool PngFolderOutput::Consume(const uint8_t* rgba, uint32_t width, uint32_t height,
                              uint32_t index) {
  char path[4200];
  PathOf(index, path, sizeof path);
  return encoder_.Write(path, rgba, width, height);
}

void PngFolderOutput::ReportFailure(uint32_t index) const {
  char path[4200];
  PathOf(index, path, sizeof path);
  std::fprintf(stderr, "yulo: can't write %s\n", path);
}

OverlappedFrameWriter::OverlappedFrameWriter(FrameOutput* output)
    : output_(output), worker_([this] { Work(); }) {}

OverlappedFrameWriter::~OverlappedFrameWriter() {
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

bool OverlappedFrameWriter::Submit(uint32_t width, uint32_t height, uint32_t index) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!WaitIdle(lock)) return false;
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
  std::unique_lock<std::mutex> lock(mutex_);
  return WaitIdle(lock);
}

void OverlappedFrameWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || quit_; });
    if (!busy_) return;
    // The buffer the caller is not filling; its size and index stay put while busy.
    const std::vector<uint8_t>& frame = buffers_[filling_ ^ 1];
    const uint32_t width = width_, height = height_, index = index_;
    lock.unlock();
    const bool ok = frame.size() >= size_t(width) * height * 4 &&
                    output_->Consume(frame.data(), width, height, index);
    if (!ok) output_->ReportFailure(index);
    lock.lock();
    if (!ok) failed_ = true;
    busy_ = false;
    done_.notify_all();
  }
}

}  // namespace yulo

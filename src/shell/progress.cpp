#include "shell/progress.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace yulo {

namespace {
constexpr uint64_t kRedrawIntervalUs = 250000;

void FormatDuration(char* out, size_t capacity, uint64_t seconds) {
  if (seconds >= 3600) {
    std::snprintf(out, capacity, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  } else {
    std::snprintf(out, capacity, "%u:%02u", static_cast<unsigned>(seconds / 60),
                  static_cast<unsigned>(seconds % 60));
  }
}
}  // namespace

uint64_t ProgressClockUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void StartProgress(ProgressLine* line, uint32_t totalFrames, uint64_t nowUs) {
  *line = ProgressLine{totalFrames, nowUs, nowUs, isatty(STDERR_FILENO) == 1, false};
}

void ReportProgress(ProgressLine* line, uint32_t framesDone, uint64_t nowUs) {
  if (!line->enabled) return;
  const bool last = framesDone >= line->total;
  if (!last && line->drawn && nowUs - line->lastDrawUs < kRedrawIntervalUs) return;
  char text[96];
  FormatProgress(text, sizeof text, framesDone, line->total, nowUs - line->startUs);
  // Padding covers the rest of a longer earlier line.
  std::fprintf(stderr, "\r%-60s", text);
  std::fflush(stderr);
  line->lastDrawUs = nowUs;
  line->drawn = true;
}

void EndProgress(ProgressLine* line) {
  if (line->drawn) std::fputc('\n', stderr);
  line->drawn = false;
}

const char* FormatProgress(char* out, size_t capacity, uint32_t framesDone, uint32_t total,
                           uint64_t elapsedUs) {
  if (framesDone == 0 || elapsedUs == 0) {
    std::snprintf(out, capacity, "frame %u/%u", framesDone, total);
    return out;
  }
  const double rate = static_cast<double>(framesDone) * 1e6 / static_cast<double>(elapsedUs);
  const uint32_t left = total > framesDone ? total - framesDone : 0;
  // Rounded up, so that "0:00 left" means done.
  const uint64_t leftUs = (static_cast<uint64_t>(left) * elapsedUs + framesDone - 1) / framesDone;
  char leftText[32];
  FormatDuration(leftText, sizeof leftText, (leftUs + 999999) / 1000000);
  std::snprintf(out, capacity, "frame %u/%u  %.1f fps  %s left", framesDone, total, rate, leftText);
  return out;
}

}  // namespace yulo

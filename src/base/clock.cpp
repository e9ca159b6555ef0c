#include "base/clock.h"

#include <ctime>

namespace yulo {

namespace {

uint32_t SystemMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncation to 32 bits is the wrap that every user of the clock expects.
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

ClockSource clockSource = SystemMilliseconds;

}  // namespace

uint32_t TimeGetTime() {
  return clockSource();
}

void SetClockSource(ClockSource source) {
  clockSource = source != nullptr ? source : SystemMilliseconds;
}

}  // namespace yulo

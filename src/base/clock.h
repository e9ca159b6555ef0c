// The millisecond clock that timing and seeding read.
#pragma once

#include <cstdint>

namespace yulo {

// A source of milliseconds that wraps around at 2^32 like the system's tick counter.
using ClockSource = uint32_t (*)();

// Milliseconds from an arbitrary start, wrapping at 2^32; read through the installed source.
uint32_t TimeGetTime();

// Replaces the clock (tests, fixed-step runs); nullptr restores the monotonic system clock.
void SetClockSource(ClockSource source);

}  // namespace yulo

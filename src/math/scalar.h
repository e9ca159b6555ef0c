// Degree trigonometry and the table-driven square root.
#pragma once

#include <cstdint>

namespace yulo {

// Degrees to radians, rounded to single precision (bit pattern 0x3C8EFA35).
inline constexpr float DegToRad = 0.017453292f;

// Sine and cosine of radians, in single precision.
float Sin(float radians);
float Cos(float radians);

// Sine and cosine of an angle in degrees: the angle times DegToRad, rounded to float first.
float SinDeg(float degrees);
float CosDeg(float degrees);

// Square root of a non-negative finite x from a 64K-entry table (about 16 bits of
// precision; exact for 0, 0.25, 1, 4, 100, ...). BuildSqrtTable must have run.
float FastSqrt(float x);

// Fills the FastSqrt table (256 KiB). Called once at start-up; calling it again is harmless.
void BuildSqrtTable();

}  // namespace yulo

// The frame rate and the CPU load of the program, drawn small in the lower left corner of
// the picture (-fps), and the line --fps-stdout prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/frame_pacing.h"

namespace yulo {

// Once a second: the frames counted and the process's CPU time over the wall time.
struct FpsMeter {
  FpsCounter frames;
  uint64_t wallStartUs;  // when the current second began
  uint64_t cpuStartUs;   // process CPU time then
  float fps;             // of the last whole second
  float cpuPercent;      // of one core over the last whole second (more with several threads)
};

// Counts a frame at nowUs (wall clock) with cpuUs of process CPU time so far; true when a
// second was completed and fps and cpuPercent are new.
bool MeasureFrame(FpsMeter* meter, uint64_t nowUs, uint64_t cpuUs);

// The two lines shown, "29.9 fps" and "CPU 35%", in out (always terminated).
void FormatFpsLines(const FpsMeter& meter, char* fpsLine, size_t fpsCapacity, char* cpuLine,
                    size_t cpuCapacity);

// This process's CPU time (all threads), microseconds.
uint64_t ProcessCpuMicroseconds();

// Makes the overlay's glyph texture on the current device; false when it can't.
bool CreateFpsOverlay();
// Releases the texture (before the renderer goes).
void ReleaseFpsOverlay();
// Sets the text from the meter (once a second; nothing is allocated).
void UpdateFpsOverlay(const FpsMeter& meter);
// Draws the text over the frame inside BeginScene/EndScene; the states it changes are put
// back to the engine's defaults.
void DrawFpsOverlay();

}  // namespace yulo

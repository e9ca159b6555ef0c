// A one-line progress report for long headless runs ("frame 120/1050  29.8 fps  0:31
// left"), redrawn in place on a terminal and silent otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

struct ProgressLine {
  uint32_t total;       // frames the run will make
  uint64_t startUs;     // when StartProgress ran
  uint64_t lastDrawUs;  // when the line was last drawn
  bool enabled;         // stderr is a terminal
  bool drawn;           // something is on the line that EndProgress must finish
};

// Microseconds of the monotonic clock; the times the functions below take.
uint64_t ProgressClockUs();

// Starts a report for totalFrames frames at nowUs; draws nothing yet.
void StartProgress(ProgressLine* line, uint32_t totalFrames, uint64_t nowUs);

// Redraws the line for framesDone frames at most four times a second (and always for the
// last frame), on stderr, only when it is a terminal.
void ReportProgress(ProgressLine* line, uint32_t framesDone, uint64_t nowUs);

// Ends the line so that later messages start on a fresh one.
void EndProgress(ProgressLine* line);

// The text of the line, without the carriage return: frames done of total, the rate so
// far and the time left at that rate (m:ss, or h:mm:ss from an hour). Returns out.
const char* FormatProgress(char* out, size_t capacity, uint32_t framesDone, uint32_t total,
                           uint64_t elapsedUs);

}  // namespace yulo

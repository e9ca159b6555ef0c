// Writes short Ogg Vorbis files for the music tests.
#pragma once

#include <string>

namespace yulo::test {

// A stereo 44.1 kHz sine tone of the given frequency, peak amplitude (0..1) and length.
bool WriteOggTone(const std::string& path, double frequency, double amplitude, double seconds);

}  // namespace yulo::test

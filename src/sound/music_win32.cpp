// Music on Windows: not played yet. The scene starts the music through StartMusic, which
// here reports that nothing plays, as on a machine without a sound device.
#include "sound/music.h"

#include <cstdio>

namespace yulo {

bool InitAudio() {
  return false;
}

bool StartMusic() {
  return false;
}

bool MusicLockPath(char* out, unsigned long capacity) {
  if (capacity == 0) return false;
  const int length = std::snprintf(out, capacity, "%s", "Local\\yulo-music");
  return length > 0 && static_cast<unsigned long>(length) < capacity;
}

}  // namespace yulo

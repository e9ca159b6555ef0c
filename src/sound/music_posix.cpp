#include "sound/music.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/shell_state.h"

namespace yulo {

namespace {

constexpr int kOutputFrequency = 44100;
constexpr int kOutputChannels = 2;
constexpr int kOutputChunk = 2048;  // sample frames per mixing pass (~46 ms)
constexpr int kSampleVolumePercent = 50;
constexpr int32_t kMaxVolumeStep = 20;  // stream volume = 5 x step percent

struct MusicState {
  bool audioReady;  // InitAudio succeeded
  bool deviceOpen;
  int lockFd;  // held for the whole run by the one playing process; -1 when none
  Mix_Music* stream;
};

MusicState music = {false, false, -1, nullptr};

int PercentToMixer(int percent) {
  return percent * MIX_MAX_VOLUME / 100;
}

// Several processes run at once under a screensaver host (one per monitor): the first to
// take the lock plays, the others stay silent. The kernel drops the lock with the process,
// however it ends, so a crashed player never silences the next run.
enum class LockResult { Taken, HeldElsewhere, Unavailable };

LockResult TakeMusicLock() {
  char path[512];
  MusicLockPath(path, sizeof path);
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return LockResult::Unavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return LockResult::HeldElsewhere;
  }
  music.lockFd = fd;
  return LockResult::Taken;
}

void ReleaseMusicLock() {
  if (music.lockFd >= 0) close(music.lockFd);
  music.lockFd = -1;
}

// Undoes a start that could not get as far as playing, so that a silent run holds neither
// the output device nor the lock.
bool GiveUp() {
  if (music.deviceOpen) Mix_CloseAudio();
  music.deviceOpen = false;
  ReleaseMusicLock();
  return false;
}

}  // namespace

void MusicLockPath(char* out, unsigned long capacity) {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir != nullptr && runtimeDir[0] == '/')
    std::snprintf(out, capacity, "%s/yulo-music.lock", runtimeDir);
  else
    std::snprintf(out, capacity, "/tmp/yulo-music-%lu.lock", static_cast<unsigned long>(getuid()));
}

bool InitAudio() {
  if (music.audioReady) return true;
  // Only the subsystem: drivers are probed, but no device is opened and nothing else on
  // the system (its output volume included) changes.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  music.audioReady = true;
  return true;
}

bool StartMusic() {
  if (!music.audioReady || music.stream != nullptr) return false;
  if (runMode == RunMode::Preview) return false;
  int32_t step = settings.musicVolume;
  if (step > kMaxVolumeStep) step = kMaxVolumeStep;
  // At volume 0 nothing would be heard, and an open output keeps some systems awake.
  if (step <= 0) return false;
  // No file, nothing to play: don't open the output just to close it again.
  if (access(kMusicFileName, R_OK) != 0) return false;
  if (TakeMusicLock() == LockResult::HeldElsewhere) return false;

  Mix_Init(MIX_INIT_OGG);  // a failure shows as a stream that does not load
  if (Mix_OpenAudio(kOutputFrequency, MIX_DEFAULT_FORMAT, kOutputChannels, kOutputChunk) != 0)
    return GiveUp();
  music.deviceOpen = true;
  // Sample channels at 50 %; the stream's own volume comes from the setting.
  Mix_Volume(-1, PercentToMixer(kSampleVolumePercent));

  Mix_Music* stream = Mix_LoadMUS(kMusicFileName);
  if (stream == nullptr) return GiveUp();
  Mix_VolumeMusic(PercentToMixer(5 * step));
  if (Mix_PlayMusic(stream, -1) != 0) {
    Mix_FreeMusic(stream);
    return GiveUp();
  }
  music.stream = stream;  // kept until the process ends
  return true;
}

}  // namespace yulo

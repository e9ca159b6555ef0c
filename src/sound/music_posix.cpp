#include "sound/music.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/read_file.h"
#include "base/shell_state.h"
#include "sound/ogg_pages.h"

namespace yulo {

namespace {

constexpr int kOutputFrequency = 44100;
constexpr int kOutputChannels = 2;
constexpr int kOutputChunk = 2048;  // sample frames per mixing pass (~46 ms)
constexpr int kSampleVolumePercent = 50;
constexpr int32_t kMaxVolumeStep = 20;  // stream volume = 5 x step percent

struct MusicState {
  bool audioReady;  // InitAudio was called
  bool deviceOpen;
  int lockFd;  // held for the whole run by the one playing process; -1 when none
  Mix_Music* stream;
  uint8_t* bytes;  // the file's playable bytes, which the stream reads for the whole run
};

MusicState music = {false, false, -1, nullptr, nullptr};

int PercentToMixer(int percent) {
  return percent * MIX_MAX_VOLUME / 100;
}

// Several processes run at once under a screensaver host (one per monitor): the first to
// take the lock plays, the others stay silent. The kernel drops the lock with the process,
// however it ends, so a crashed player never silences the next run.
enum class LockResult { Taken, HeldElsewhere, Unavailable };

LockResult TakeMusicLock() {
  char path[512];
  if (!MusicLockPath(path, sizeof path)) return LockResult::Unavailable;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return LockResult::Unavailable;
  // A lock file another user made (or that is no file at all) can't silence us: whoever
  // owns it could hold it for ever.
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid()) {
    close(fd);
    return LockResult::Unavailable;
  }
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
  delete[] music.bytes;
  music.bytes = nullptr;
  ReleaseMusicLock();
  return false;
}

// Reads the music file whole (a regular file within the size limit) and keeps only its
// playable part, so that a padded file starts as fast as the music in it; nullptr when
// there is nothing to play.
uint8_t* ReadPlayableMusic(uint32_t* length) {
  uint8_t* bytes = nullptr;
  uint32_t size = 0;
  if (ReadRegularFile(kMusicFileName, kMusicFileSizeLimit, &bytes, &size) != ReadFileResult::Ok)
    return nullptr;
  const size_t playable = OggPlayableLength(bytes, size);
  *length = static_cast<uint32_t>(playable);
  if (playable + playable / 4 >= size) return bytes;
  // Most of the file was padding: don't keep it for the whole run.
  uint8_t* kept = new (std::nothrow) uint8_t[playable + 1];
  if (kept != nullptr) std::memcpy(kept, bytes, playable);
  delete[] bytes;
  return kept;
}

// Whether folder is a folder (not a link) of this user's only: no other user can plant or
// hold a file in it.
bool IsPrivateFolder(const char* folder) {
  struct stat info {};
  return lstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

// IsPrivateFolder, the folder made when missing.
bool MakePrivateFolder(const char* folder) {
  if (mkdir(folder, 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(folder);
}

}  // namespace

bool SessionRuntimeFolder(const char* base, char* out, unsigned long capacity) {
  if (capacity == 0) return false;
  out[0] = '\0';
  const int length =
      std::snprintf(out, capacity, "%s/%lu", base, static_cast<unsigned long>(getuid()));
  if (length <= 0 || static_cast<unsigned long>(length) >= capacity || !IsPrivateFolder(out)) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool MusicLockPath(char* out, unsigned long capacity) {
  if (capacity == 0) return false;
  out[0] = '\0';
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    const int length = std::snprintf(out, capacity, "%s/yulo-music.lock", runtimeDir);
    return length > 0 && static_cast<unsigned long>(length) < capacity;
  }
  // The shared temporary folder is everyone's: the lock goes into a folder of our own.
  const char* temp = std::getenv("TMPDIR");
  if (temp == nullptr || temp[0] != '/') temp = "/tmp";
  char folder[400];
  const int folderLength = std::snprintf(folder, sizeof folder, "%s/yulo-%lu", temp,
                                         static_cast<unsigned long>(getuid()));
  if (folderLength <= 0 || static_cast<size_t>(folderLength) >= sizeof folder ||
      !MakePrivateFolder(folder))
    return false;
  const int length = std::snprintf(out, capacity, "%s/music.lock", folder);
  return length > 0 && static_cast<unsigned long>(length) < capacity;
}

namespace {

void IgnoreSoundLibraryError(const char*, int, const char*, int, const char*, ...) {}

// The ALSA library prints its errors on stderr itself: eight lines on a machine without a
// sound card, where silence is all that happens. SDL has loaded the library when it chose
// it; the library is asked for its handler by name so that it need not be linked.
void QuietenSoundLibrary() {
  const char* driver = SDL_GetCurrentAudioDriver();
  if (driver == nullptr || std::strcmp(driver, "alsa") != 0) return;
  void* library = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  if (const auto set = reinterpret_cast<SetHandler>(dlsym(library, "snd_lib_error_set_handler"))) {
    set(IgnoreSoundLibraryError);
  }
  dlclose(library);
}

}  // namespace

// The sound system is first contacted by a StartMusic that is going to play: a sound
// server that is slow to answer, or never answers, would otherwise hold up every start,
// previews and silent runs included.
bool InitAudio() {
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
  // No file, nothing to play: don't open the output just to close it again. A named pipe
  // or a device there is no music either, and must not block the start.
  if (CheckRegularFile(kMusicFileName, kMusicFileSizeLimit, nullptr) != ReadFileResult::Ok)
    return false;
  // Started without XDG_RUNTIME_DIR, the sound server's socket would not be found, nor the
  // lock the other copies of this session take.
  char runtimeFolder[64];
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr &&
      SessionRuntimeFolder("/run/user", runtimeFolder, sizeof runtimeFolder)) {
    setenv("XDG_RUNTIME_DIR", runtimeFolder, 1);
  }
  if (TakeMusicLock() == LockResult::HeldElsewhere) return false;

  // Drivers are probed here; nothing else on the system (its output volume included)
  // changes.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return GiveUp();
  QuietenSoundLibrary();
  Mix_Init(MIX_INIT_OGG);  // a failure shows as a stream that does not load
  if (Mix_OpenAudio(kOutputFrequency, MIX_DEFAULT_FORMAT, kOutputChannels, kOutputChunk) != 0)
    return GiveUp();
  music.deviceOpen = true;
  // Sample channels at 50 %; the stream's own volume comes from the setting.
  Mix_Volume(-1, PercentToMixer(kSampleVolumePercent));

  uint32_t length = 0;
  music.bytes = ReadPlayableMusic(&length);
  if (music.bytes == nullptr) return GiveUp();
  Mix_Music* stream = Mix_LoadMUS_RW(SDL_RWFromConstMem(music.bytes, static_cast<int>(length)), 1);
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

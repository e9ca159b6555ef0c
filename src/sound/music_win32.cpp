// Music on Windows: the file decoded by stb_vorbis (music_stream.h) and played through
// waveOut from a thread of its own, which refills each buffer the device hands back.
#include <windows.h>
// (after windows.h, which it needs)
#include <mmsystem.h>

#include <cstdio>

#include "base/shell_state.h"
#include "sound/music.h"
#include "sound/music_stream.h"

namespace yulo {

namespace {

constexpr int kBufferCount = 4;
constexpr uint32_t kBufferFrames = 4096;  // ~93 ms at 44.1 kHz; four of them in flight
constexpr int kMaxChannels = 2;

// Everything is made once, by the first StartMusic that plays, and kept until the process
// ends (which also ends the sound): nothing is allocated while the music plays.
struct WinMusic {
  bool audioReady;
  bool playing;
  bool held;          // paused by HoldMusic
  HANDLE lock;        // named mutex held by the one playing process; null when none
  HANDLE bufferDone;  // signalled by the device for every buffer it has finished
  HWAVEOUT device;
  MusicStream stream;
  int volumePercent;
  WAVEHDR headers[kBufferCount];
  int16_t samples[kBufferCount][kBufferFrames * kMaxChannels];
};

WinMusic music = {};

// Several processes may run at once (one per monitor): the first to own the mutex plays,
// the others stay silent. Windows releases it with the process, however it ends.
enum class LockResult { Taken, HeldElsewhere, Unavailable };

LockResult TakeMusicLock() {
  char name[128];
  if (!MusicLockPath(name, sizeof name)) return LockResult::Unavailable;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return LockResult::Unavailable;
  const DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return LockResult::HeldElsewhere;
  }
  music.lock = mutex;
  return LockResult::Taken;
}

bool Queue(WAVEHDR& header) {
  FillMusic(&music.stream, reinterpret_cast<int16_t*>(header.lpData), kBufferFrames,
            music.volumePercent);
  return waveOutWrite(music.device, &header, sizeof header) == MMSYSERR_NOERROR;
}

DWORD WINAPI FeedDevice(void* /*unused*/) {
  for (;;) {
    WaitForSingleObject(music.bufferDone, INFINITE);
    for (WAVEHDR& header : music.headers)
      if ((header.dwFlags & WHDR_DONE) != 0) Queue(header);
  }
}

// Undoes a start that could not get as far as playing: a silent run holds neither the
// device nor the lock.
bool GiveUp() {
  if (music.device != nullptr) {
    waveOutReset(music.device);
    for (WAVEHDR& header : music.headers)
      if ((header.dwFlags & WHDR_PREPARED) != 0)
        waveOutUnprepareHeader(music.device, &header, sizeof header);
    waveOutClose(music.device);
    music.device = nullptr;
  }
  CloseMusicStream(&music.stream);
  if (music.lock != nullptr) {
    ReleaseMutex(music.lock);
    CloseHandle(music.lock);
    music.lock = nullptr;
  }
  return false;
}

}  // namespace

bool MusicLockPath(char* out, unsigned long capacity) {
  // One per user session, like the lock file of other systems.
  return capacity > 0 &&
         std::snprintf(out, capacity, "%s", "Local\\yulo-music") < static_cast<int>(capacity);
}

bool InitAudio() {
  // Nothing is opened here: only whether there is an output at all.
  music.audioReady = waveOutGetNumDevs() > 0;
  return music.audioReady;
}

bool StartMusic() {
  if (!music.audioReady || music.playing) return false;
  if (runMode == RunMode::Preview) return false;
  music.volumePercent = MusicVolumePercent(settings.musicVolume);
  // At volume 0 nothing would be heard, and an open output keeps some systems awake.
  if (music.volumePercent == 0) return false;
  if (!OpenMusicStream(kMusicFileName, &music.stream)) return false;
  if (TakeMusicLock() == LockResult::HeldElsewhere) return GiveUp();

  if (music.bufferDone == nullptr) music.bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (music.bufferDone == nullptr) return GiveUp();
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(music.stream.channels);
  format.nSamplesPerSec = music.stream.sampleRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  if (waveOutOpen(&music.device, WAVE_MAPPER, &format,
                  reinterpret_cast<DWORD_PTR>(music.bufferDone), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    music.device = nullptr;
    return GiveUp();
  }
  if (music.held) waveOutPause(music.device);  // the buffers wait in the queue
  // The first buffer tells whether the file has any sound in it at all.
  for (int i = 0; i < kBufferCount; ++i) {
    WAVEHDR& header = music.headers[i];
    header = {};
    header.lpData = reinterpret_cast<LPSTR>(music.samples[i]);
    header.dwBufferLength = kBufferFrames * format.nBlockAlign;
    if (waveOutPrepareHeader(music.device, &header, sizeof header) != MMSYSERR_NOERROR)
      return GiveUp();
  }
  if (!FillMusic(&music.stream, music.samples[0], kBufferFrames, music.volumePercent))
    return GiveUp();
  if (waveOutWrite(music.device, &music.headers[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
    return GiveUp();
  for (int i = 1; i < kBufferCount; ++i)
    if (!Queue(music.headers[i])) return GiveUp();

  HANDLE feeder = CreateThread(nullptr, 0, FeedDevice, nullptr, 0, nullptr);
  if (feeder == nullptr) return GiveUp();
  CloseHandle(feeder);  // it runs until the process ends
  music.playing = true;
  return true;
}

void HoldMusic(bool held) {
  if (held == music.held) return;
  music.held = held;
  if (!music.playing) return;
  if (held) {
    waveOutPause(music.device);
  } else {
    waveOutRestart(music.device);
  }
}

}  // namespace yulo

// The one looping music stream of the screensaver (SDL2_mixer on the default output).
#pragma once

namespace yulo {

// Music file played by StartMusic, relative to the current folder (the data folder).
inline constexpr char kMusicFileName[] = "music.ogg";

// Prepares the audio back end; true when audio output may be used. Opens no device yet:
// the device is opened by StartMusic, only when something is going to be heard (on Linux
// the sound system is not even contacted before). The system's output volume is never
// touched. Safe to call more than once.
bool InitAudio();

// Starts kMusicFileName looping from its start at 5 x settings.musicVolume percent (the
// step clamped to 0..20), with the music and sample volumes at 50. Plays nothing, and
// opens no audio device, in Preview mode, at volume 0, when InitAudio failed or was not
// called, or when another Yulo process of this user is already playing music (one sound
// for all monitors). A missing or broken file, or one that is no regular file or is over
// kMusicFileSizeLimit, plays nothing and shows nothing. Returns
// true when the stream is playing. Nothing stops it: it plays until the process ends.
bool StartMusic();

#if defined(_WIN32)
// Pauses the music (held) or lets it go on; also before it starts, which then starts paused.
// The Windows shell holds it while the display is off: a playing output there keeps the
// computer from going to sleep.
void HoldMusic(bool held);
#endif

// Name of the lock file that elects the one playing process, written into out (always
// terminated): "$XDG_RUNTIME_DIR/yulo-music.lock", else "<temp>/yulo-<uid>/music.lock"
// (temp: $TMPDIR when absolute, else /tmp) in a folder made 0700 when missing. False when
// that folder is not a private folder of this user, or the name does not fit: the music
// then plays without electing anyone, as a lock file of another user's is ignored too.
bool MusicLockPath(char* out, unsigned long capacity);

#if !defined(_WIN32)
// The session's runtime folder that a login manager makes, base/<uid>, into out (always
// terminated), when it is a folder of this user's only; false otherwise (nothing is made).
// A start without XDG_RUNTIME_DIR (daemons that hand their programs only a few variables)
// takes it from "/run/user", so that the sound server and the music lock are found.
bool SessionRuntimeFolder(const char* base, char* out, unsigned long capacity);
#endif

}  // namespace yulo

#include "shell/record/recorder.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/shell_state.h"
#include "shell/headless.h"
#include "shell/record/sound_track.h"
#include "shell/record/video_format.h"
#include "shell/record/video_writer.h"
#include "sound/music.h"

extern "C" {
#include <libavutil/log.h>
}

namespace yulo {

namespace {

constexpr int32_t kMaxVolumeStepForSound = 20;  // --volume step 20 is the music at full level
// Most music decoded for one video: 10 minutes (230 MB of float samples). Longer music is
// looped after that much, which only a longer --start or --duration can notice.
constexpr uint64_t kMaxMusicFrames = 600ull * kSoundRate;

// >>section temporary file
// The video grows under a hidden name beside the target and takes the target's name only
// when complete, so that a failed or interrupted run leaves nothing half written there.
// The exit path (FatalError ends the process) and the usual signals remove it too.

char tempPath[PATH_MAX + 32];
volatile sig_atomic_t haveTempFile = 0;

void RemoveTempFile() {
  if (haveTempFile != 0) {
    unlink(tempPath);
    haveTempFile = 0;
  }
}

void RemoveTempFileOnSignal(int signalNumber) {
  RemoveTempFile();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// The folder part of path ("." when there is none) into folder.
void FolderOf(const char* path, char* folder, size_t capacity) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::snprintf(folder, capacity, ".");
  } else if (slash == path) {
    std::snprintf(folder, capacity, "/");
  } else {
    std::snprintf(folder, capacity, "%.*s", static_cast<int>(slash - path), path);
  }
}

// Makes the hidden file that the video is written into; false after saying why.
bool CreateTempFile(const char* path) {
  struct stat info {};
  if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "yulo: can't write %s: it is a folder\n", path);
    return false;
  }
  char folder[PATH_MAX];
  FolderOf(path, folder, sizeof folder);
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  const int length = std::snprintf(tempPath, sizeof tempPath, "%s/.%s.XXXXXX", folder, name);
  if (length < 0 || static_cast<size_t>(length) >= sizeof tempPath) {
    std::fprintf(stderr, "yulo: can't write %s: the name is too long\n", path);
    return false;
  }
  static bool cleanupInstalled = false;
  if (!cleanupInstalled) {
    std::atexit(RemoveTempFile);
    // A signal ignored by whoever started the run (nohup, a script's background job)
    // stays ignored: it never ends the recording, so nothing is left to clean up.
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction old {};
      if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      std::signal(s, RemoveTempFileOnSignal);
    }
    cleanupInstalled = true;
  }
  const int fd = mkstemp(tempPath);
  if (fd < 0) {
    std::fprintf(stderr, "yulo: can't write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  haveTempFile = 1;
  // mkstemp makes the file private; the video gets the mode any new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  const int changed = fchmod(fd, 0666 & ~mask);
  (void)changed;
  close(fd);
  return true;
}

// >>section frames

class RecordSink final : public FrameSink {
 public:
  RecordSink(const RecordPlan& plan, const LaunchOptions& options, VideoWriter* writer,
             const float* music, uint64_t musicFrames, const SoundPlan* sound)
      : plan_(plan),
        width_(static_cast<uint32_t>(options.width)),
        height_(static_cast<uint32_t>(options.height)),
        fps_(options.fps),
        writer_(writer),
        music_(music),
        musicFrames_(musicFrames),
        sound_(sound) {}

  // Everything the run needs, allocated before the first frame. False after saying why.
  bool Prepare() {
    const size_t frameBytes = static_cast<size_t>(width_) * height_ * 4;
    if (plan_.crossFadeFrames > 0) {
      held_.reset(new (std::nothrow) uint8_t[frameBytes * plan_.crossFadeFrames]);
      blended_.reset(new (std::nothrow) uint8_t[frameBytes]);
      if (held_ == nullptr || blended_ == nullptr) {
        std::fprintf(stderr, "yulo: not enough memory to hold one second of %ux%u frames\n", width_,
                     height_);
        return false;
      }
    }
    if (sound_ != nullptr) {
      chunk_.resize((kSoundRate / fps_ + 1) * kSoundChannels);
    }
    return true;
  }

  bool TakeFrame(uint32_t index, const uint8_t* rgba, uint32_t width, uint32_t height) override {
    if (width != width_ || height != height_) {
      std::fprintf(stderr, "yulo: the renderer made %ux%u frames instead of %ux%u\n", width, height,
                   width_, height_);
      return false;
    }
    const size_t frameBytes = static_cast<size_t>(width_) * height_ * 4;
    ++taken_;
    if (index < plan_.crossFadeFrames) {
      // The first second is what the end of the video fades into: kept for then.
      std::memcpy(held_.get() + frameBytes * index, rgba, frameBytes);
      return true;
    }
    const uint32_t j = index - plan_.crossFadeFrames;
    const FrameBlend source = OutputFrameSource(plan_, j);
    const uint8_t* picture = rgba;
    if (source.weight > 0) {
      const uint8_t* towards = held_.get() + frameBytes * source.second;
      const uint32_t w = source.weight;
      for (size_t i = 0; i < frameBytes; ++i) {
        blended_[i] = static_cast<uint8_t>((rgba[i] * (256 - w) + towards[i] * w + 128) >> 8);
      }
      picture = blended_.get();
    }
    if (!writer_->WriteFrame(picture)) return Failed();
    if (sound_ == nullptr) return true;
    const uint64_t from = SoundFrameOfVideoFrame(j, fps_);
    const uint64_t count = SoundFrameOfVideoFrame(static_cast<uint64_t>(j) + 1, fps_) - from;
    MixSoundTrack(music_, musicFrames_, *sound_, from, count, chunk_.data());
    if (!writer_->WriteSound(chunk_.data(), static_cast<uint32_t>(count))) return Failed();
    return true;
  }

  // Frames taken so far.
  uint32_t Taken() const { return taken_; }

 private:
  bool Failed() {
    std::fprintf(stderr, "yulo: %s\n", writer_->Error());
    return false;
  }

  RecordPlan plan_;
  uint32_t width_;
  uint32_t height_;
  uint32_t fps_;
  VideoWriter* writer_;
  const float* music_;
  uint64_t musicFrames_;
  const SoundPlan* sound_;  // nullptr: no sound track
  std::unique_ptr<uint8_t[]> held_;
  std::unique_ptr<uint8_t[]> blended_;
  std::vector<float> chunk_;
  uint32_t taken_ = 0;
};

}  // namespace

RecordPlan PlanRecording(uint32_t durationMs, uint32_t fps, bool seamless) {
  RecordPlan plan{};
  uint64_t frames = (static_cast<uint64_t>(durationMs) * fps + 500) / 1000;
  if (frames == 0) frames = 1;
  plan.outputFrames = static_cast<uint32_t>(frames);
  plan.crossFadeFrames = seamless ? (fps < plan.outputFrames ? fps : plan.outputFrames) : 0;
  plan.renderedFrames = plan.outputFrames + plan.crossFadeFrames;
  return plan;
}

FrameBlend OutputFrameSource(const RecordPlan& plan, uint32_t j) {
  const uint32_t cross = plan.crossFadeFrames;
  const uint32_t first = j + cross;
  if (cross == 0 || j < plan.outputFrames - cross) return FrameBlend{first, first, 0};
  // Symmetric weights: neither end of the fade is a copy, so the join has no step.
  const uint32_t i = j - (plan.outputFrames - cross);
  const uint32_t weight = ((i + 1) * 256 + (cross + 1) / 2) / (cross + 1);
  return FrameBlend{first, i, weight};
}

int RecordVideo(const LaunchOptions& options, const char* path,
                HeadlessAdapterFactory makeAdapter) {
  // The encoders' own statistics and notes would bury the progress line; what goes
  // wrong is told by us, in one line.
  av_log_set_level(AV_LOG_ERROR);
  const VideoFormat* format = FindVideoFormat(path);
  if (format == nullptr) {
    std::fprintf(stderr, "yulo: can't tell which kind of video %s should be: name it %s\n", path,
                 KnownVideoExtensions());
    return 1;
  }
  if (format->kind == VideoKind::Gif && options.fps > kMaxGifFps) {
    std::fprintf(stderr,
                 "yulo: a GIF shows at most %u frames a second (its delays are whole "
                 "hundredths of a second): ask for --fps %u or fewer\n",
                 kMaxGifFps, kMaxGifFps);
    return 1;
  }
  const bool toStdout = std::strcmp(path, "-") == 0;
  if (toStdout && isatty(STDOUT_FILENO) == 1) {
    std::fprintf(stderr,
                 "yulo: standard output is a terminal: send the video into a pipe "
                 "or a file, or name a file\n");
    return 1;
  }
  int32_t step = settings.musicVolume;
  if (step > kMaxVolumeStepForSound) step = kMaxVolumeStepForSound;
  bool withSound = format->audioEncoder != nullptr && step > 0;
  char message[512];
  if (!CheckVideoEncoders(*format, withSound, message, sizeof message)) {
    std::fprintf(stderr, "yulo: %s\n", message);
    return 1;
  }

  const RecordPlan plan = PlanRecording(options.durationMs, options.fps, options.seamless);
  SoundPlan sound{};
  sound.startFrame = static_cast<uint64_t>(options.startMs) * kSoundRate / 1000;
  sound.outputFrames = SoundFrameOfVideoFrame(plan.outputFrames, options.fps);
  sound.crossFadeFrames = SoundFrameOfVideoFrame(plan.crossFadeFrames, options.fps);
  // A seamless video goes on into its start: fading out would put a dip at the join.
  sound.fadeOutFrames = options.seamless ? 0 : kSoundRate;
  sound.gain = static_cast<float>(step) / static_cast<float>(kMaxVolumeStepForSound);
  std::vector<float> music;
  if (withSound) {
    char musicPath[64];
    std::snprintf(musicPath, sizeof musicPath, "Data/%s", kMusicFileName);
    uint64_t musicFrames = MusicFramesNeeded(sound);
    if (musicFrames > kMaxMusicFrames) musicFrames = kMaxMusicFrames;
    if (!DecodeMusic(musicPath, musicFrames, &music, message, sizeof message)) {
      std::fprintf(stderr, "yulo: the video has no sound: %s\n", message);
      withSound = false;
    }
  }
  // The scene itself plays nothing while it is recorded.
  settings.musicVolume = 0;

  char folder[PATH_MAX];
  FolderOf(toStdout ? "./-" : path, folder, sizeof folder);
  if (!toStdout && !CreateTempFile(path)) return 1;

  VideoSettings video{};
  video.format = format;
  video.width = options.width;
  video.height = options.height;
  video.fps = options.fps;
  video.quality = options.quality;
  video.withSound = withSound;
  VideoWriter writer;
  RecordSink sink(plan, options, &writer, music.data(), music.size() / kSoundChannels,
                  withSound ? &sound : nullptr);
  int exitCode = 0;
  if (!writer.Open(toStdout ? "pipe:1" : tempPath, video, folder)) {
    std::fprintf(stderr, "yulo: can't write %s: %s\n", path, writer.Error());
    exitCode = 1;
  } else if (!sink.Prepare()) {
    exitCode = 1;
  } else {
    const FrameClock clock = {options.startMs, 1000, options.fps};
    exitCode = RenderHeadless(options, clock, plan.renderedFrames, &sink, makeAdapter);
    if (exitCode == 0 && sink.Taken() != plan.renderedFrames) {
      // The scene declined to start: an empty video is no success.
      std::fprintf(stderr, "yulo: the scene did not start; %s was not written\n", path);
      exitCode = 1;
    }
    if (exitCode == 0 && !writer.Finish()) {
      std::fprintf(stderr, "yulo: can't finish %s: %s\n", path, writer.Error());
      exitCode = 1;
    }
  }
  if (toStdout) return exitCode;
  if (exitCode == 0 && rename(tempPath, path) != 0) {
    std::fprintf(stderr, "yulo: can't write %s: %s\n", path, std::strerror(errno));
    exitCode = 1;
  }
  if (exitCode == 0) {
    haveTempFile = 0;
    std::fprintf(stderr, "yulo: %s written: %u frame%s at %u fps, %dx%d%s\n", path,
                 plan.outputFrames, plan.outputFrames == 1 ? "" : "s", options.fps, options.width,
                 options.height, withSound ? ", with sound" : "");
  }
  RemoveTempFile();
  return exitCode;
}

}  // namespace yulo

#include "sound/music.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/shell_state.h"
#include "ogg_tone.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

namespace fs = std::filesystem;

// One screensaver process as far as its music goes: from `folder` (its data folder) it
// plays through SDL's disk driver into a capture file, reports whether StartMusic succeeded, and
// runs until Stop().
class Player {
 public:
  Player(const std::string& folder, const std::string& name, int32_t volume, RunMode mode,
         const std::string& runtimeDir)
      : capture_(folder + "/" + name + ".raw"), errors_(folder + "/" + name + ".err") {
    int ready[2];
    int hold[2];
    if (pipe(ready) != 0 || pipe(hold) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(hold[1]);
      setenv("SDL_AUDIODRIVER", "disk", 1);
      setenv("SDL_DISKAUDIOFILE", capture_.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
      if (std::freopen(errors_.c_str(), "w", stderr) == nullptr) _exit(5);
      if (std::freopen(errors_.c_str(), "a", stdout) == nullptr) _exit(5);
      if (chdir(folder.c_str()) != 0) _exit(5);
      settings.musicVolume = volume;
      runMode = mode;
      const bool initialised = InitAudio();
      const char playing = initialised && StartMusic() ? '1' : '0';
      if (write(ready[1], &playing, 1) != 1) _exit(6);
      // Waits for a byte rather than the end of the pipe: later players inherit its
      // write end too.
      char byte;
      if (read(hold[0], &byte, 1) < 0) _exit(6);
      std::fflush(stdout);
      std::fflush(stderr);
      _exit(initialised ? 0 : 7);
    }
    close(ready[1]);
    close(hold[0]);
    hold_ = hold[1];
    char playing = '?';
    if (read(ready[0], &playing, 1) == 1) playing_ = playing == '1';
    close(ready[0]);
  }

  ~Player() { Stop(); }

  // Ends the process; true when it ended normally.
  bool Stop() {
    if (pid_ <= 0) return false;
    const char go = 'x';
    if (write(hold_, &go, 1) != 1) return false;
    close(hold_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  bool Playing() const { return playing_; }
  const std::string& Capture() const { return capture_; }

  // What the process printed, less the disk driver's own notice of where it writes.
  std::string Errors() const {
    std::ifstream in(errors_);
    std::string text;
    for (std::string line; std::getline(in, line);)
      if (line.find("SDL disk i/o audio driver") == std::string::npos &&
          line.find("Writing to file [") == std::string::npos)
        text += line + "\n";
    return text;
  }

  // Root mean square of the captured 16-bit samples after the first 0.2 s; 0 for none.
  double Loudness() const {
    std::ifstream in(capture_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t skip = 44100 * 2 / 5;  // samples of both channels in 0.2 s
    const size_t count = bytes.size() / 2;
    if (count <= skip) return 0.0;
    double sum = 0.0;
    for (size_t i = skip; i < count; ++i) {
      int16_t sample;
      std::memcpy(&sample, &bytes[i * 2], 2);
      sum += static_cast<double>(sample) * sample;
    }
    return std::sqrt(sum / static_cast<double>(count - skip));
  }

 private:
  pid_t pid_ = -1;
  int hold_ = -1;
  bool playing_ = false;
  std::string capture_;
  std::string errors_;
};

void Listen() {
  usleep(900 * 1000);
}

class Music : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::WriteOggTone(tmp_.Path() + "/music.ogg", 440.0, 0.5, 3.0));
    for (const char* dir : {"run1", "run2", "run3"})
      fs::create_directories(tmp_.Path() + "/" + dir);
  }
  std::string Runtime(const char* name) const { return tmp_.Path() + "/" + name; }

  test::ScopedTempDir tmp_;  // the data folder: the current folder of every player
};

TEST_F(Music, LoudnessFollowsTheVolumeStep) {
  // Separate runtime folders: three independent sessions, so all three may play.
  Player full(tmp_.Path(), "full", 20, RunMode::FullScreen, Runtime("run1"));
  Player quarter(tmp_.Path(), "quarter", 5, RunMode::FullScreen, Runtime("run2"));
  Player beyond(tmp_.Path(), "beyond", 1000, RunMode::FullScreen, Runtime("run3"));
  ASSERT_TRUE(full.Playing()) << full.Errors();
  ASSERT_TRUE(quarter.Playing()) << quarter.Errors();
  ASSERT_TRUE(beyond.Playing()) << beyond.Errors();
  Listen();
  ASSERT_TRUE(full.Stop());
  ASSERT_TRUE(quarter.Stop());
  ASSERT_TRUE(beyond.Stop());

  const double loud = full.Loudness();
  EXPECT_GT(loud, 0.5 * 0.5 * 32767 * 0.7) << "a 0.5 sine at full stream volume";
  EXPECT_NEAR(loud / quarter.Loudness(), 4.0, 0.3);
  EXPECT_NEAR(beyond.Loudness() / loud, 1.0, 0.1) << "steps above 20 play at 100 %";
}

TEST_F(Music, PreviewAndVolumeZeroOpenNoOutput) {
  Player preview(tmp_.Path(), "preview", 20, RunMode::Preview, Runtime("run1"));
  Player muted(tmp_.Path(), "muted", 0, RunMode::FullScreen, Runtime("run2"));
  Player negative(tmp_.Path(), "negative", -4, RunMode::FullScreen, Runtime("run3"));
  Listen();
  for (Player* player : {&preview, &muted, &negative}) {
    EXPECT_FALSE(player->Playing());
    EXPECT_TRUE(player->Stop());
    EXPECT_FALSE(fs::exists(player->Capture())) << "no audio device was opened";
  }
}

TEST_F(Music, OnlyOneProcessOfASessionPlays) {
  Player first(tmp_.Path(), "first", 20, RunMode::FullScreen, Runtime("run1"));
  Player second(tmp_.Path(), "second", 20, RunMode::FullScreen, Runtime("run1"));
  ASSERT_TRUE(first.Playing()) << first.Errors();
  EXPECT_FALSE(second.Playing());
  Listen();
  EXPECT_TRUE(second.Stop());
  EXPECT_FALSE(fs::exists(second.Capture()));
  EXPECT_GT(first.Loudness(), 1000.0);
  ASSERT_TRUE(first.Stop());

  // The lock goes with the process that held it: the next run plays again.
  Player next(tmp_.Path(), "next", 20, RunMode::FullScreen, Runtime("run1"));
  EXPECT_TRUE(next.Playing()) << next.Errors();
}

TEST_F(Music, MissingOrBrokenFilePlaysNothingAndSaysNothing) {
  test::ScopedTempDir empty;  // no music.ogg here
  Player missing(empty.Path(), "missing", 20, RunMode::FullScreen, Runtime("run1"));
  EXPECT_FALSE(missing.Playing());
  EXPECT_TRUE(missing.Stop());
  EXPECT_EQ(missing.Errors(), "");
  EXPECT_FALSE(fs::exists(missing.Capture()));

  empty.Write("music.ogg", std::string("OggS") + std::string(3000, '\x17'));
  Player broken(empty.Path(), "broken", 20, RunMode::FullScreen, Runtime("run1"));
  EXPECT_FALSE(broken.Playing());
  EXPECT_TRUE(broken.Stop());
  EXPECT_EQ(broken.Errors(), "");
  EXPECT_EQ(broken.Loudness(), 0.0);

  // Neither held on to the lock.
  Player good(tmp_.Path(), "good", 20, RunMode::FullScreen, Runtime("run1"));
  EXPECT_TRUE(good.Playing()) << good.Errors();
}

}  // namespace
}  // namespace yulo

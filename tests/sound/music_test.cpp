#include "sound/music.h"

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
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

#include "base/read_file.h"
#include "base/shell_state.h"
#include "ogg_tone.h"
#include "sound/ogg_pages.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

namespace fs = std::filesystem;

// One screensaver process as far as its music goes: from `folder` (its data folder) it
// plays through SDL's disk driver into a capture file, reports whether StartMusic succeeded, and
// runs until Stop(). An empty runtimeDir leaves XDG_RUNTIME_DIR unset, with TMPDIR at
// <folder>/tmp.
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
      if (runtimeDir.empty()) {
        // Set but empty: no runtime folder, and none taken from the login manager's.
        setenv("XDG_RUNTIME_DIR", "", 1);
        setenv("TMPDIR", (folder + "/tmp").c_str(), 1);
      } else {
        setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
      }
      alarm(30);  // a start that hangs fails the test instead of stalling the suite
      if (std::freopen(errors_.c_str(), "w", stderr) == nullptr) _exit(5);
      if (std::freopen(errors_.c_str(), "a", stdout) == nullptr) _exit(5);
      if (chdir(folder.c_str()) != 0) _exit(5);
      settings.musicVolume = volume;
      runMode = mode;
      const bool initialised = InitAudio();
      const char state[2] = {initialised && StartMusic() ? '1' : '0',
                             SDL_WasInit(SDL_INIT_AUDIO) != 0 ? '1' : '0'};
      if (write(ready[1], state, 2) != 2) _exit(6);
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
    char state[2] = {'?', '?'};
    if (read(ready[0], state, 2) == 2) {
      playing_ = state[0] == '1';
      contacted_ = state[1] == '1';
    }
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
  // Whether the sound system was contacted at all (its drivers probed).
  bool Contacted() const { return contacted_; }
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
  bool contacted_ = false;
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
    // A sound server slow to answer would have held up the start.
    EXPECT_FALSE(player->Contacted()) << "the sound system was contacted";
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

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(OggPages, PlayableLengthEndsAtTheLastWholePage) {
  test::ScopedTempDir dir;
  ASSERT_TRUE(test::WriteOggTone(dir.Path() + "/t.ogg", 440.0, 0.5, 0.5));
  const std::string tone = ReadBytes(dir.Path() + "/t.ogg");
  const size_t lastPage = tone.rfind("OggS");
  ASSERT_NE(lastPage, std::string::npos);
  auto playable = [](const std::string& bytes) {
    return OggPlayableLength(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  };
  std::string fakePage = "OggS" + std::string(60, '\0');  // right shape, wrong checksum
  fakePage[26] = 1;
  fakePage[27] = 20;
  struct Case {
    const char* what;
    std::string bytes;
    size_t expected;
  };
  const Case cases[] = {
      {"whole file", tone, tone.size()},
      {"zero padding", tone + std::string(1 << 20, '\0'), tone.size()},
      {"junk with a false page", tone + fakePage + std::string(999, '\x17'), tone.size()},
      {"last page cut", tone.substr(0, tone.size() - 1), lastPage},
      {"no page at all", std::string(5000, '\0'), 5000},
      {"shorter than a capture pattern", "Og", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(playable(c.bytes), c.expected) << c.what;
}

// Padding after the music still plays; a named pipe, a folder or an oversized file plays
// nothing, says nothing and does not hang the start.
TEST_F(Music, PaddedPlaysAndSpecialOrOversizedFilesPlayNothing) {
  test::ScopedTempDir padded;
  padded.Write("music.ogg", ReadBytes(tmp_.Path() + "/music.ogg") + std::string(8 << 20, '\0'));
  Player player(padded.Path(), "padded", 20, RunMode::FullScreen, Runtime("run1"));
  EXPECT_TRUE(player.Playing()) << player.Errors();
  Listen();
  ASSERT_TRUE(player.Stop());
  EXPECT_GT(player.Loudness(), 1000.0);

  for (int kind = 0; kind < 3; ++kind) {
    test::ScopedTempDir odd;
    if (kind == 0) {
      ASSERT_EQ(mkfifo("music.ogg", 0600), 0);
    } else if (kind == 1) {
      ASSERT_EQ(mkdir("music.ogg", 0700), 0);
    } else {
      odd.Write("music.ogg", ReadBytes(tmp_.Path() + "/music.ogg"));
      ASSERT_EQ(truncate("music.ogg", kMusicFileSizeLimit + 1), 0);
    }
    Player silent(odd.Path(), "odd", 20, RunMode::FullScreen, Runtime("run2"));
    EXPECT_FALSE(silent.Playing()) << kind;
    EXPECT_TRUE(silent.Stop()) << kind;
    EXPECT_EQ(silent.Errors(), "") << kind;
  }
}

// Without XDG_RUNTIME_DIR the lock lives in a 0700 folder of the user's own under the
// temporary folder. A folder or lock file of another user's can't silence the music.
TEST_F(Music, FallbackLockIsPrivateAndForeignLocksAreIgnored) {
  const std::string lockFolder = tmp_.Path() + "/tmp/yulo-" + std::to_string(getuid());
  fs::create_directories(tmp_.Path() + "/tmp");
  {
    Player first(tmp_.Path(), "first", 20, RunMode::FullScreen, "");
    Player second(tmp_.Path(), "second", 20, RunMode::FullScreen, "");
    EXPECT_TRUE(first.Playing()) << first.Errors();
    EXPECT_FALSE(second.Playing()) << "the fallback lock still elects one player";
    struct stat info {};
    ASSERT_EQ(lstat(lockFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, getuid());
  }
  if (getuid() != 0) GTEST_SKIP() << "handing files to another user needs root";
  const uid_t other = 65534;  // nobody
  // Another user's lock file, held, in our folder.
  const std::string lockFile = lockFolder + "/music.lock";
  const int held = open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(fchown(held, other, other), 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  {
    Player player(tmp_.Path(), "foreign-file", 20, RunMode::FullScreen, "");
    EXPECT_TRUE(player.Playing()) << player.Errors();
  }
  close(held);
  // A folder of that name owned by another user, holding a held lock.
  ASSERT_EQ(chown(lockFolder.c_str(), other, other), 0);
  const int heldAgain = open(lockFile.c_str(), O_RDWR);
  ASSERT_GE(heldAgain, 0);
  ASSERT_EQ(flock(heldAgain, LOCK_EX | LOCK_NB), 0);
  {
    Player player(tmp_.Path(), "foreign-folder", 20, RunMode::FullScreen, "");
    EXPECT_TRUE(player.Playing()) << player.Errors();
  }
  close(heldAgain);
}

TEST(SessionRuntimeFolder, OnlyAPrivateFolderOfThisUsersIsTaken) {
  test::ScopedTempDir tmp;
  const std::string folder = tmp.Path() + "/" + std::to_string(getuid());
  char out[256];
  EXPECT_FALSE(SessionRuntimeFolder(tmp.Path().c_str(), out, sizeof out)) << "missing";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_TRUE(SessionRuntimeFolder(tmp.Path().c_str(), out, sizeof out));
  EXPECT_EQ(out, folder);
  EXPECT_FALSE(SessionRuntimeFolder(tmp.Path().c_str(), out, 8)) << "a name cut short";
  ASSERT_EQ(chmod(folder.c_str(), 0750), 0);
  EXPECT_FALSE(SessionRuntimeFolder(tmp.Path().c_str(), out, sizeof out)) << "open to others";
  ASSERT_EQ(rmdir(folder.c_str()), 0);
  std::ofstream(folder).put('x');
  EXPECT_FALSE(SessionRuntimeFolder(tmp.Path().c_str(), out, sizeof out)) << "a file";
}

}  // namespace
}  // namespace yulo

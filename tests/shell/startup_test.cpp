#include "shell/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/shell_state.h"
#include "shell/settings.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

std::string CurrentFolder() {
  char here[4096];
  return getcwd(here, sizeof here) != nullptr ? here : "";
}

TEST(DataFolder, BecomesCurrentBelowTheInstallFolder) {
  test::ScopedTempDir temp;
  ASSERT_EQ(mkdir((temp.Path() + "/Data").c_str(), 0755), 0);
  ASSERT_TRUE(EnterDataFolder());
  EXPECT_EQ(std::string(installDir), CurrentFolder().substr(0, std::string(installDir).size()));
  EXPECT_EQ(std::string(dataDir), std::string(installDir) + "/Data/");
  EXPECT_EQ(CurrentFolder() + "/", std::string(dataDir));
}

TEST(DataFolder, AMissingDataFolderLeavesTheCurrentFolder) {
  test::ScopedTempDir temp;
  const std::string before = CurrentFolder();
  ASSERT_TRUE(EnterDataFolder());
  EXPECT_EQ(CurrentFolder(), before);
  EXPECT_EQ(std::string(installDir), before);
  EXPECT_EQ(std::string(dataDir), before + "/Data/");
}

TEST(DataFolder, APathTooLongForTheBuffersChangesNothing) {
  test::ScopedTempDir temp;
  std::string deep = temp.Path();
  while (deep.size() < kPathCapacity) {
    deep += "/abcdefghijklmnopqrstuvwxyz";
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  ASSERT_EQ(chdir(deep.c_str()), 0);
  installDir[0] = 'k';
  installDir[1] = '\0';
  EXPECT_FALSE(EnterDataFolder());
  EXPECT_STREQ(installDir, "k");
  EXPECT_EQ(CurrentFolder(), deep);
  ASSERT_EQ(chdir(temp.Path().c_str()), 0);
}

LaunchOptions Options(Launch launch) {
  LaunchOptions o{};
  o.launch = launch;
  o.mode = RunMode::FullScreen;
  return o;
}

TEST(RunOptions, VolumeIsForThisRunOnly) {
  settings.musicVolume = 12;
  settings.reserved[3] = 9;
  LaunchOptions o = Options(Launch::Screensaver);
  o.hasVolume = true;
  o.volume = 3;
  ApplyRunOptions(o);
  EXPECT_EQ(settings.musicVolume, 3);
  RestoreSavedSettings();
  EXPECT_EQ(settings.musicVolume, 12);
  EXPECT_EQ(settings.reserved[3], 9);

  ApplyRunOptions(Options(Launch::Render));  // headless: silent whatever was saved
  EXPECT_EQ(settings.musicVolume, 0);
  RestoreSavedSettings();
  EXPECT_EQ(settings.musicVolume, 12);

  ApplyRunOptions(Options(Launch::Screensaver));  // no --volume: the saved one
  EXPECT_EQ(settings.musicVolume, 12);
  settings = Settings{kDefaultMusicVolume, {}};
}

TEST(Folders, AbsolutePathsAndMakingFolders) {
  test::ScopedTempDir temp;
  char out[4096];
  ASSERT_TRUE(AbsolutePath("out/frames", out, sizeof out));
  EXPECT_EQ(std::string(out), CurrentFolder() + "/out/frames");
  ASSERT_TRUE(AbsolutePath("/abs", out, sizeof out));
  EXPECT_STREQ(out, "/abs");
  char small[8];
  EXPECT_FALSE(AbsolutePath("/a-long-path", small, sizeof small));

  const std::string nested = temp.Path() + "/a/b/c";
  EXPECT_TRUE(MakeFolders(nested.c_str()));
  EXPECT_TRUE(MakeFolders(nested.c_str()));  // already there
  struct stat info {};
  EXPECT_EQ(stat(nested.c_str(), &info), 0);
  temp.Write("file", "x");
  EXPECT_FALSE(MakeFolders((temp.Path() + "/file").c_str()));
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_FALSE(MakeFolders((temp.Path() + "/file/below").c_str()));
  EXPECT_EQ(errno, ENOTDIR);
}

}  // namespace
}  // namespace yulo

namespace yulo {
namespace {

class SavingAtExit : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    previous_ = old != nullptr ? old : "";
    hadPrevious_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", temp_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadPrevious_) {
      setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    settings = Settings{kDefaultMusicVolume, {}};
  }
  static void Store(int32_t volume) {
    uint8_t record[16] = {static_cast<uint8_t>(volume), 0, 0, 0, 1, 2, 3};
    ASSERT_TRUE(WriteSettingsValue(kSettingsKey, kSettingsValue, record, sizeof record));
  }
  static int32_t Stored() {
    uint8_t record[16];
    uint32_t size = sizeof record;
    ReadSettingsValue(kSettingsKey, kSettingsValue, record, &size);
    return size == sizeof record ? record[0] : -1;
  }
  test::ScopedTempDir temp_;
  std::string previous_;
  bool hadPrevious_ = false;
};

LaunchOptions WithVolume(int32_t volume) {
  LaunchOptions o{};
  o.launch = Launch::Screensaver;
  o.hasVolume = true;
  o.volume = volume;
  return o;
}

TEST_F(SavingAtExit, AFirstRunCreatesTheValue) {
  settings = Settings{kDefaultMusicVolume, {}};
  ApplyRunOptions(WithVolume(4));
  EXPECT_EQ(Stored(), -1);
  EXPECT_TRUE(SaveSettingsAtExit());
  EXPECT_EQ(Stored(), kDefaultMusicVolume);  // the saved setting, not the run's --volume
  EXPECT_EQ(settings.musicVolume, kDefaultMusicVolume);
}

TEST_F(SavingAtExit, AChangeMadeInTheDialogDuringTheRunIsKept) {
  Store(12);
  settings = Settings{12, {1, 2, 3}};  // as loaded
  ApplyRunOptions(WithVolume(4));
  Store(7);  // the user picks 7 in the settings dialog while the screensaver runs
  EXPECT_TRUE(SaveSettingsAtExit());
  EXPECT_EQ(Stored(), 7);
  EXPECT_EQ(settings.musicVolume, 12);
}

}  // namespace
}  // namespace yulo

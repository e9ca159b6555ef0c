#include "shell/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/shell_state.h"
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
  EXPECT_FALSE(MakeFolders((temp.Path() + "/file/below").c_str()));
}

}  // namespace
}  // namespace yulo

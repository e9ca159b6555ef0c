#include "shell/settings.h"
#include "shell/value_store_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/shell_state.h"
#include "resources/loaded_file.h"
#include "shell/startup.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Record(int32_t volume, const char* reserved12) {
  std::string bytes(16, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>(static_cast<uint32_t>(volume) >> (8 * i));
  std::memcpy(&bytes[4], reserved12, 12);
  return bytes;
}

// A private configuration home and install folder; the settings globals start from junk
// so that a test sees what LoadSettings really sets.
class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadXdg_ = old != nullptr;
    if (hadXdg_) oldXdg_ = old;
    const char* home = std::getenv("HOME");
    oldHome_ = home != nullptr ? home : "";
    setenv("XDG_CONFIG_HOME", (tmp_.Path() + "/config").c_str(), 1);
    install_ = tmp_.Path() + "/install";
    fs::create_directories(install_);
    keyFolder_ = tmp_.Path() + "/config/velmora/screensavers/yulo";
    settings.musicVolume = -77;
    std::memset(settings.reserved, 0xEE, sizeof settings.reserved);
    std::strcpy(link1, "stale");
    std::strcpy(link2, "stale");
  }
  void TearDown() override {
    if (hadXdg_)
      setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", oldHome_.c_str(), 1);
  }

  void UseInstallFolder(const std::string& links) {
    WriteBytes(keyFolder_ + "/InstallDir_Demo", install_);
    WriteBytes(install_ + "/links.txt", links);
  }
  std::string SettingsFile() const { return keyFolder_ + "/settings"; }

  test::ScopedTempDir tmp_;
  std::string install_;
  std::string keyFolder_;
  bool hadXdg_ = false;
  std::string oldXdg_;
  std::string oldHome_;
};

TEST_F(SettingsStore, FirstRunGivesDefaultsAndWritesNothingUntilSaved) {
  UseInstallFolder("link1=a\r\nlink2=b\r\n");
  LoadSettings();
  EXPECT_EQ(settings.musicVolume, 20);
  for (uint8_t byte : settings.reserved) EXPECT_EQ(byte, 0);
  EXPECT_FALSE(fs::exists(SettingsFile()));

  settings.musicVolume = 13;
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(13, "\0\0\0\0\0\0\0\0\0\0\0\0"));
}

TEST_F(SettingsStore, WrongSizedRecordsCountAsAbsentAndAreReplacedWhole) {
  UseInstallFolder("");
  for (size_t size : {15u, 17u, 0u}) {
    const std::string junk(size, '\x05');
    WriteBytes(SettingsFile(), junk);
    settings.musicVolume = -77;
    LoadSettings();
    EXPECT_EQ(settings.musicVolume, 20) << size;
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(ReadBytes(SettingsFile()), Record(20, "\0\0\0\0\0\0\0\0\0\0\0\0")) << size;
  }
}

TEST_F(SettingsStore, ReservedBytesAndOddVolumesRoundTripExactly) {
  UseInstallFolder("");
  const std::string stored = Record(-3, "\x01\xFF\x80\x7F\0\x10 abc\xC3\xA9\n");
  WriteBytes(SettingsFile(), stored);
  LoadSettings();
  EXPECT_EQ(settings.musicVolume, -3);
  EXPECT_EQ(settings.reserved[1], 0xFF);
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(ReadBytes(SettingsFile()), stored);
}

TEST_F(SettingsStore, LinksAreFoundInAnyOrderAndEndAtTheLineEnd) {
  struct Case {
    const char* file;
    const char* link1;
    const char* link2;
  } cases[] = {
      {"link2=http://two\r\nlink1=http://one\r\n", "http://one", "http://two"},
      {"# banners\r\nlink1=one", "one", ""},                         // last line without an end
      {"link1=unix one\nlink2=unix two\n", "unix one", "unix two"},  // bare line feeds
      {"nothing here", "", ""},
  };
  for (const Case& c : cases) {
    UseInstallFolder(c.file);
    LoadSettings();
    EXPECT_STREQ(link1, c.link1) << c.file;
    EXPECT_STREQ(link2, c.link2) << c.file;
    EXPECT_EQ(FindLoadedFile("links.txt"), nullptr) << "the links file is released";
  }
}

TEST_F(SettingsStore, OverlongLinkIsCutToItsBuffer) {
  UseInstallFolder("link1=" + std::string(600, 'x') + "\r\n");
  LoadSettings();
  EXPECT_EQ(std::strlen(link1), static_cast<size_t>(kLinkCapacity - 1));
}

TEST_F(SettingsStore, InstallFolderBecomesCurrent) {
  UseInstallFolder("");
  WriteBytes(keyFolder_ + "/InstallDir_Demo", install_ + "\n");  // as an editor saves it
  LoadSettings();
  EXPECT_STREQ(installDir, install_.c_str());
  EXPECT_EQ(fs::current_path(), fs::path(install_));
}

TEST_F(SettingsStore, MissingOrUnusableInstallValueFallsBackToTheProgramsShareFolder) {
  char expected[kPathCapacity];
  ASSERT_TRUE(DefaultInstallDir(expected, sizeof expected));
  EXPECT_NE(std::strstr(expected, "/../share/yulo"), nullptr);
  if (fs::exists(expected)) GTEST_SKIP() << "a data folder sits beside the test program";
  // The default folder does not exist here: links.txt is then read from the current one.
  tmp_.Write("links.txt", "link1=here\r\n");
  for (const std::string& value : {std::string(), std::string(300, 'd')}) {
    fs::remove(keyFolder_ + "/InstallDir_Demo");
    if (!value.empty()) WriteBytes(keyFolder_ + "/InstallDir_Demo", value);
    LoadSettings();
    EXPECT_STREQ(installDir, expected);
    EXPECT_STREQ(link1, "here");
  }
}

using SettingsStoreDeathTest = SettingsStore;

TEST_F(SettingsStoreDeathTest, MissingLinksFileStopsNamingWhereItWasLookedFor) {
  WriteBytes(keyFolder_ + "/InstallDir_Demo", install_);
  EXPECT_EXIT(
      LoadSettings(), ::testing::ExitedWithCode(1),
      "Loading Error: Can't load links\\.txt\\.\\.\\.\nProgram will now stop\\.\n\nLooked for in " +
          install_ + "\\.");
  // An install folder that can't be entered is named beside the folder searched instead.
  const std::string missing = install_ + "/gone";
  WriteBytes(keyFolder_ + "/InstallDir_Demo", missing);
  EXPECT_EXIT(
      {
        if (chdir(install_.c_str()) != 0) std::_Exit(9);
        LoadSettings();
      },
      ::testing::ExitedWithCode(1),
      "Looked for in " + install_ + " \\(the install folder " + missing + " can't be opened\\)\\.");
}

TEST_F(SettingsStore, ValuesOfAnotherSizeAreNotRead) {
  const uint8_t value[4] = {1, 2, 3, 4};
  ASSERT_TRUE(WriteSettingsValue("Software\\Test\\Key", "four", value, 4));
  EXPECT_TRUE(fs::exists(tmp_.Path() + "/config/test/key/four"));

  uint8_t out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  uint32_t size = 8;
  ReadSettingsValue("software\\test\\key", "four", out, &size);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(out[0], 9);
  size = 4;
  ReadSettingsValue("software/TEST/key", "four", out, &size);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::memcmp(out, value, 4), 0);
  size = 4;
  ReadSettingsValue("software\\test\\key", "absent", out, &size);
  EXPECT_EQ(size, 0u);
}

TEST_F(SettingsStore, KeyPathsNeverLeaveTheConfigurationFolder) {
  char folder[1024];
  ASSERT_TRUE(SettingsKeyFolder(kSettingsKey, folder, sizeof folder));
  EXPECT_EQ(std::string(folder), keyFolder_);
  for (const char* bad : {"software\\..\\..\\etc", "a\\\\b", "", "a\\.\\b", "a\\"})
    EXPECT_FALSE(SettingsKeyFolder(bad, folder, sizeof folder)) << bad;
  const uint8_t byte = 1;
  EXPECT_FALSE(WriteSettingsValue(kSettingsKey, "../escape", &byte, 1));
  EXPECT_FALSE(WriteSettingsValue(kSettingsKey, ".hidden", &byte, 1));
  EXPECT_FALSE(SettingsKeyFolder(kSettingsKey, folder, 10)) << "does not fit";

  setenv("XDG_CONFIG_HOME", "relative/path", 1);  // must be ignored
  setenv("HOME", tmp_.Path().c_str(), 1);
  ASSERT_TRUE(SettingsKeyFolder(kSettingsKey, folder, sizeof folder));
  EXPECT_EQ(std::string(folder), tmp_.Path() + "/.config/velmora/screensavers/yulo");
}

// >>section interrupted writes
// The child process dies at write step `stopAt`, as a kill or a crash would end it.
int stopAt = -1;
void DieAtStep(int step) {
  if (step == stopAt) _exit(42);
}

TEST_F(SettingsStore, AWriteKilledAtAnyStepLeavesTheOldOrTheNewValue) {
  const std::string oldRecord = Record(4, "old-reserved");
  const std::string newRecord = Record(17, "new-reserved");
  WriteBytes(SettingsFile(), oldRecord);
  bool sawOld = false;
  bool sawNew = false;
  bool sawLeftover = false;
  int step = 0;
  for (;; ++step) {
    ASSERT_LT(step, 100) << "the write never finished";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      stopAt = step;
      SetSettingsWriteProbe(DieAtStep);
      WriteSettingsValue(kSettingsKey, kSettingsValue, newRecord.data(), 16);
      _exit(0);  // the write completed before reaching the step
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));

    uint8_t value[16];
    uint32_t size = 16;
    ReadSettingsValue(kSettingsKey, kSettingsValue, value, &size);
    ASSERT_EQ(size, 16u) << "step " << step;
    const std::string seen(reinterpret_cast<char*>(value), 16);
    ASSERT_TRUE(seen == oldRecord || seen == newRecord) << "torn value at step " << step;
    sawOld |= seen == oldRecord;
    sawNew |= seen == newRecord;
    if (WEXITSTATUS(status) == 0) break;
    for (const auto& entry : fs::directory_iterator(keyFolder_))
      sawLeftover |= entry.path().extension() == ".tmp";
    WriteBytes(SettingsFile(), oldRecord);  // back to the old value for the next step
  }
  EXPECT_TRUE(sawOld);
  EXPECT_TRUE(sawNew);
  EXPECT_GT(step, 16) << "a step per byte written";

  // Leftovers of the killed writers neither count as the value nor block the next save.
  settings.musicVolume = 9;
  std::memcpy(settings.reserved, "new-reserved", 12);
  EXPECT_TRUE(sawLeftover) << "killed writers leave their temp files";
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(9, "new-reserved"));
  for (const auto& entry : fs::directory_iterator(keyFolder_))
    EXPECT_NE(entry.path().extension(), ".tmp") << "cleared once their writers are gone";
}

TEST_F(SettingsStore, AFailedSaveReportsItAndKeepsTheOldValue) {
  const std::string oldRecord = Record(4, "old-reserved");
  WriteBytes(SettingsFile(), oldRecord);
  // A file size limit below the record's size makes the write fail, even for root.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {8, 8};
    setrlimit(RLIMIT_FSIZE, &limit);
    settings.musicVolume = 1;
    _exit(SaveSettings() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save must report failure";
  EXPECT_EQ(ReadBytes(SettingsFile()), oldRecord);
  for (const auto& entry : fs::directory_iterator(keyFolder_))
    EXPECT_NE(entry.path().extension(), ".tmp") << "the failed writer cleans up";
}

// Named pipes in place of both values: read as absent at once (a plain open would wait for
// a writer for ever), and the pipe is not replaced at the end of a run.
TEST_F(SettingsStore, NamedPipesInPlaceOfTheValuesAreNotWaitedFor) {
  UseInstallFolder("link1=a\r\nlink2=b\r\n");
  WriteBytes(tmp_.Path() + "/links.txt", "link1=fallback\r\n");  // the current folder
  fs::remove(keyFolder_ + "/InstallDir_Demo");
  ASSERT_EQ(mkfifo((keyFolder_ + "/InstallDir_Demo").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(SettingsFile().c_str(), 0600), 0);
  alarm(10);  // a hang ends the test program instead of stalling the suite
  LoadSettings();
  alarm(0);
  EXPECT_EQ(settings.musicVolume, kDefaultMusicVolume);
  EXPECT_TRUE(SettingsRecordUnreadable());
  EXPECT_TRUE(fs::is_fifo(SettingsFile()));
}

// Whatever sits where an earlier version put its temp file (a hard link to another file
// of the user's, planted there) is neither written nor made the settings file.
TEST_F(SettingsStore, APlantedLinkBesideTheValueIsLeftUntouched) {
  WriteBytes(SettingsFile(), Record(4, "old-reserved"));
  const std::string victim = tmp_.Path() + "/victim";
  WriteBytes(victim, "precious");
  ASSERT_EQ(chmod(victim.c_str(), 0644), 0);
  const std::string planted = keyFolder_ + "/.settings." + std::to_string(getpid()) + ".tmp";
  ASSERT_EQ(link(victim.c_str(), planted.c_str()), 0);

  settings.musicVolume = 9;
  ASSERT_TRUE(SaveSettings());
  struct stat victimInfo {};
  struct stat valueInfo {};
  ASSERT_EQ(stat(victim.c_str(), &victimInfo), 0);
  ASSERT_EQ(stat(SettingsFile().c_str(), &valueInfo), 0);
  EXPECT_EQ(ReadBytes(victim), "precious");
  EXPECT_EQ(victimInfo.st_mode & 07777, 0644u);
  EXPECT_EQ(victimInfo.st_nlink, 2u) << "the planted name is not ours to remove";
  EXPECT_NE(valueInfo.st_ino, victimInfo.st_ino);
  EXPECT_EQ(valueInfo.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadBytes(SettingsFile()).substr(0, 1), "\x09");
}

TEST_F(SettingsStore, AValueLinkedToAFileElsewhereStaysALink) {
  const std::string kept = tmp_.Path() + "/dotfiles/yulo-settings";
  fs::create_directories(tmp_.Path() + "/dotfiles");
  WriteBytes(kept, Record(4, "old-reserved"));
  fs::create_directories(keyFolder_);
  fs::create_symlink(kept, SettingsFile());

  settings.musicVolume = 9;
  ASSERT_TRUE(SaveSettings());
  EXPECT_TRUE(fs::is_symlink(SettingsFile()));
  EXPECT_EQ(ReadBytes(kept).substr(0, 1), "\x09");
}

// A record that is there but can't be read: the run uses the defaults and leaves the
// record as it is at its end. Root reads any file whatever its mode, so under root the
// run is a child that has become the user "nobody", who owns the store.
TEST_F(SettingsStore, ARecordThatCannotBeReadIsNeverOverwritten) {
  UseInstallFolder("link1=a\r\nlink2=b\r\n");
  const std::string record = Record(3, "keep-me-safe");
  WriteBytes(SettingsFile(), record);
  const uid_t nobody = 65534;
  if (getuid() == 0) {
    ASSERT_EQ(chmod(tmp_.Path().c_str(), 0755), 0);
    for (const auto& entry : fs::recursive_directory_iterator(tmp_.Path() + "/config"))
      ASSERT_EQ(lchown(entry.path().c_str(), nobody, nobody), 0);
    ASSERT_EQ(lchown((tmp_.Path() + "/config").c_str(), nobody, nobody), 0);
  }
  ASSERT_EQ(chmod(SettingsFile().c_str(), 0), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(4);
    LoadSettings();
    if (settings.musicVolume != kDefaultMusicVolume || !SettingsRecordUnreadable()) _exit(3);
    LaunchOptions options{};
    options.launch = Launch::Screensaver;
    ApplyRunOptions(options);
    _exit(SaveSettingsAtExit() ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_EQ(chmod(SettingsFile().c_str(), 0600), 0);
  EXPECT_EQ(ReadBytes(SettingsFile()), record);
}

}  // namespace
}  // namespace yulo

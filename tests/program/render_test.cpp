// The program run headless: frames to PNG files, deterministic, and the fatal path of a
// bad data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "child_process.h"
#include "program_env.h"
#include "support/temp_dir.h"

namespace yulo::test {
namespace {

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
}

// Checks the file is a PNG image of width x height and returns its bytes.
std::string ExpectPng(const std::string& path, uint32_t width, uint32_t height) {
  const std::string bytes = ReadFile(path);
  EXPECT_GT(bytes.size(), 33u) << path;
  if (bytes.size() <= 33) return bytes;
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << path;
  EXPECT_EQ(bytes.substr(12, 4), "IHDR") << path;
  EXPECT_EQ(BigEndian32(bytes, 16), width) << path;
  EXPECT_EQ(BigEndian32(bytes, 20), height) << path;
  return bytes;
}

int RenderInto(const std::string& configHome, const std::vector<std::string>& extra,
               std::string* output) {
  std::vector<std::string> argv = {ProgramPath()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return RunCommand(argv, ProgramEnvironment(configHome, ""), 120000, output);
}

TEST(HeadlessRender, TheSameCommandTwiceWritesIdenticalFrames) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  for (const char* dir : {"first", "second"}) {
    ASSERT_EQ(RenderInto(temp.Path(),
                         {"--render", dir, "--frames", "3", "--fixed-step", "16", "--seed", "7"},
                         &output),
              0)
        << output;
  }
  for (const char* frame : {"frame-00000.png", "frame-00001.png", "frame-00002.png"}) {
    const std::string a = ExpectPng(temp.Path() + "/first/" + frame, 800, 600);
    const std::string b = ExpectPng(temp.Path() + "/second/" + frame, 800, 600);
    EXPECT_TRUE(a == b) << frame << " differs between two identical runs";
  }
  struct stat info {};
  EXPECT_NE(stat((temp.Path() + "/first/frame-00003.png").c_str(), &info), 0);
}

TEST(HeadlessRender, SizeAndNestedOutputFolder) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  ASSERT_EQ(
      RenderInto(temp.Path(), {"--render=a/b", "--size", "320x200", "--start", "17500"}, &output),
      0)
      << output;
  ExpectPng(temp.Path() + "/a/b/frame-00000.png", 320, 200);
}

TEST(HeadlessRender, AnUnwritableOutputFolderIsAnError) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  temp.Write("file", "x");
  std::string output;
  EXPECT_NE(RenderInto(temp.Path(), {"--render", "file/below"}, &output), 0) << output;
  EXPECT_NE(output.find("file/below"), std::string::npos) << output;
}

TEST(BadDataFolder, EndsWithTheLoadingErrorNamingTheFile) {
  ScopedTempDir temp;
  // An install folder with its links but an empty Data folder, named in the settings.
  ASSERT_EQ(mkdir((temp.Path() + "/install").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp.Path() + "/install/Data").c_str(), 0755), 0);
  temp.Write("install/links.txt", "link1=a\r\nlink2=b\r\n");
  ASSERT_EQ(mkdir((temp.Path() + "/velmora").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp.Path() + "/velmora/screensavers").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp.Path() + "/velmora/screensavers/yulo").c_str(), 0755), 0);
  temp.Write("velmora/screensavers/yulo/InstallDir_Demo", temp.Path() + "/install");
  std::string output;
  EXPECT_EQ(RenderInto(temp.Path(), {"--render", "out"}, &output), 1) << output;
  // The first file the scene asks for is missing: a data file or a texture, by name.
  EXPECT_TRUE(output.find("Can't load") != std::string::npos ||
              output.find("Couldn't load texture") != std::string::npos)
      << output;
}

TEST(CommandLineErrors, AreReportedWithExitCodeTwo) {
  ScopedTempDir temp;
  std::string output;
  EXPECT_EQ(RenderInto(temp.Path(), {"--seed", "x"}, &output), 2);
  EXPECT_NE(output.find("--seed"), std::string::npos) << output;
  EXPECT_EQ(RenderInto(temp.Path(), {"--help"}, &output), 0);
  EXPECT_NE(output.find("--render DIR"), std::string::npos) << output;
  EXPECT_EQ(RenderInto(temp.Path(), {"--version"}, &output), 0);
  EXPECT_EQ(output.rfind("yulo ", 0), 0u) << output;
  // An answer lost on the way out is a failure.
  EXPECT_EQ(RunCommand({"/bin/sh", "-c", "exec \"$0\" --help > /dev/full", ProgramPath()}, {},
                       60000, &output),
            1);
  EXPECT_NE(output.find("No space left on device"), std::string::npos) << output;
}

}  // namespace
}  // namespace yulo::test

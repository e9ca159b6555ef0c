// The generated folder: complete, within budget, and the same bytes on every run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "assetgen/assetgen.h"
#include "data_files.h"

namespace yulo::assetgen {
namespace {

using test::ReadAll;
using test::ShareDir;

// Every file the scene, the particles, the dialog and the desktop name.
constexpr const char* kRequiredFiles[] = {
    "links.txt",
    "ad1.bmp",
    "ad2.bmp",
    "Data/sani.cgo",
    "Data/sky.cgo",
    "Data/earth.cgo",
    "Data/fir.tga",
    "Data/fir2.tga",
    "Data/snowflake.tga",
    "Data/particles.tga",
    "Data/deer.chr",
    "Data/deer.anm",
    "Data/yulo.chr",
    "Data/yulo.anm",
    "Data/yulo_mah.anm",
    "Data/music.ogg",
    "icons/hicolor/48x48/apps/yulo.png",
};

class GeneratedFolder : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fresh_ = std::filesystem::temp_directory_path() /
             ("yulo-assetgen-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(fresh_);
    OutputFolder out(fresh_.string());
    ok_ = GenerateAssets(out, nullptr);
    error_ = out.error();
    written_ = out.written();
    totalBytes_ = out.totalBytes();
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(fresh_); }

  static std::filesystem::path fresh_;
  static bool ok_;
  static std::string error_;
  static std::vector<std::string> written_;
  static uint64_t totalBytes_;
};

std::filesystem::path GeneratedFolder::fresh_;
bool GeneratedFolder::ok_ = false;
std::string GeneratedFolder::error_;
std::vector<std::string> GeneratedFolder::written_;
uint64_t GeneratedFolder::totalBytes_ = 0;

// One test, so that ctest (one process per test) runs the whole generator only once.
// The build ran the generator in another process; a fresh run here must match it byte
// for byte (no clock, no address or uninitialised memory leaks into the output).
TEST_F(GeneratedFolder, FreshRunIsCompleteWithinBudgetAndMatchesTheBuild) {
  ASSERT_TRUE(ok_) << error_;
  for (const char* name : kRequiredFiles) {
    EXPECT_TRUE(std::filesystem::is_regular_file(fresh_ / name)) << name;
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(fresh_)) {
    EXPECT_NE(entry.path().extension(), ".part") << "temporary file left behind: " << entry.path();
  }
  EXPECT_LE(totalBytes_, 5u * 1024u * 1024u);
  ASSERT_FALSE(written_.empty());
  for (const std::string& name : written_) {
    const std::vector<uint8_t> fresh = ReadAll((fresh_ / name).string());
    const std::vector<uint8_t> built = ReadAll(ShareDir() + "/" + name);
    ASSERT_FALSE(fresh.empty()) << name;
    EXPECT_TRUE(fresh == built) << name << " differs from the build's copy";
  }
}

TEST(InstallFiles, LinksFileHasTwoCrLfLines) {
  const std::vector<uint8_t> bytes = ReadAll(ShareDir() + "/links.txt");
  const std::string text(bytes.begin(), bytes.end());
  const size_t first = text.find("link1=");
  const size_t second = text.find("link2=");
  ASSERT_EQ(first, 0u);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(text.substr(second - 2, 2), "\r\n");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find('\n', 0), second - 1) << "bare line feed inside the first line";
  EXPECT_GT(second - first, std::strlen("link1=https://") + 2);
}

TEST(InstallFiles, BannersAreUncompressed24BitBitmaps) {
  for (const char* name : {"ad1.bmp", "ad2.bmp"}) {
    const std::vector<uint8_t> b = ReadAll(ShareDir() + "/" + name);
    ASSERT_GE(b.size(), 54u) << name;
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    const uint32_t fileSize = b[2] | b[3] << 8 | b[4] << 16 | static_cast<uint32_t>(b[5]) << 24;
    const int width = b[18] | b[19] << 8, height = b[22] | b[23] << 8;
    EXPECT_EQ(fileSize, b.size()) << name;
    EXPECT_EQ(b[28], 24) << name;
    EXPECT_EQ(b[30], 0) << name << " is compressed";
    EXPECT_EQ(b.size(), 54u + static_cast<size_t>((width * 3 + 3) & ~3) * height) << name;
    // The dialog's banner controls are 168 x 33 dialog units: about 252 x 54 pixels.
    EXPECT_GE(width, 200);
    EXPECT_LE(height, 64);
  }
  EXPECT_FALSE(ReadAll(ShareDir() + "/ad1.bmp") == ReadAll(ShareDir() + "/ad2.bmp"));
}

TEST(InstallFiles, IconsArePngsOfTheirNamedSize) {
  for (int size : kIconSizes) {
    const std::string name = ShareDir() + "/icons/hicolor/" + std::to_string(size) + "x" +
                             std::to_string(size) + "/apps/yulo.png";
    const std::vector<uint8_t> b = ReadAll(name);
    ASSERT_GE(b.size(), 33u) << name;
    EXPECT_EQ(std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8), 0) << name;
    const int width = b[16] << 24 | b[17] << 16 | b[18] << 8 | b[19];
    const int height = b[20] << 24 | b[21] << 16 | b[22] << 8 | b[23];
    EXPECT_EQ(width, size) << name;
    EXPECT_EQ(height, size) << name;
    EXPECT_EQ(b[25], 6) << name << " is not RGBA";
  }
}

}  // namespace
}  // namespace yulo::assetgen

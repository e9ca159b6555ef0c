#include "resources/texture_manager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/renderer.h"
#include "render/trace/trace_device.h"
#include "resources/loaded_file.h"
#include "support/temp_dir.h"

namespace yulo {
namespace {

// An uncompressed 32-bit TGA, rows stored top first, texel (x, y) = (x, y, 7, 200).
std::string Tga(int width, int height) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = static_cast<char>(width);
  bytes[14] = static_cast<char>(height);
  bytes[16] = 32;
  bytes[17] = 0x28;  // 8 alpha bits, top-left origin
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bytes += static_cast<char>(7);  // stored B, G, R, A
      bytes += static_cast<char>(y);
      bytes += static_cast<char>(x);
      bytes += static_cast<char>(200);
    }
  }
  return bytes;
}

class TextureManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDevice(&device); }
  void TearDown() override {
    manager.ReleaseAll();
    SetDevice(nullptr);
    while (LoadedFileCount() > 0) FreeFile(LoadedFileAt(0)->data);
  }
  test::ScopedTempDir dir;
  TraceDevice device;
  TextureManager manager;
};

TEST_F(TextureManagerTest, SameNameSharesOneRecordAndOneDeviceTexture) {
  dir.Write("fir.tga", Tga(4, 2));
  Texture* first = manager.GetTexture("fir.tga");
  ASSERT_NE(first, nullptr);
  std::remove("fir.tga");  // the second request touches neither disk nor device
  EXPECT_EQ(manager.GetTexture("fir.tga"), first);
  EXPECT_EQ(device.TexturesCreated(), 1u);
  EXPECT_STREQ(first->name, "fir.tga");
  EXPECT_EQ(first->width, 4u);
  EXPECT_EQ(first->height, 2u);
  EXPECT_TRUE(first->alphaTest);
  ASSERT_NE(first->texture, nullptr);
  EXPECT_EQ(first->texture->LevelCount(), 3u);
  // The decoded texels reach the device top row first, as R G B A.
  const auto& texels = static_cast<TraceTexture*>(first->texture)->Texels();
  ASSERT_EQ(texels.size(), 4u * 2u * 4u);
  const size_t at = (1 * 4 + 3) * 4;  // x 3, y 1
  EXPECT_EQ(texels[at + 0], 3);
  EXPECT_EQ(texels[at + 1], 1);
  EXPECT_EQ(texels[at + 2], 7);
  EXPECT_EQ(texels[at + 3], 200);
}

TEST_F(TextureManagerTest, NamesAreComparedWithLetterCaseButFilesAreNot) {
  dir.Write("fir.tga", Tga(2, 2));
  Texture* lower = manager.GetTexture("fir.tga");
  std::remove("fir.tga");  // the file's bytes now only exist in the loaded-file table
  Texture* mixed = manager.GetTexture("Fir.tga");
  ASSERT_NE(mixed, nullptr);
  EXPECT_NE(mixed, lower);
  EXPECT_NE(mixed->texture, lower->texture);
  EXPECT_EQ(device.TexturesCreated(), 2u);
  EXPECT_EQ(LoadedFileCount(), 1);
  EXPECT_EQ(manager.FindTexture("FIR.TGA"), nullptr);
}

TEST_F(TextureManagerTest, AlphaTestFollowsTheLowerOrUpperTgaExtensionOnly) {
  for (const char* name : {"a.jpg", "b.TGA", "c.Tga", "d.tga.png", "e.tgax"}) {
    dir.Write(name, Tga(1, 1));
  }
  EXPECT_FALSE(manager.GetTexture("a.jpg")->alphaTest);
  EXPECT_TRUE(manager.GetTexture("b.TGA")->alphaTest);
  EXPECT_FALSE(manager.GetTexture("c.Tga")->alphaTest);
  EXPECT_TRUE(manager.GetTexture("d.tga.png")->alphaTest);  // a substring test
  EXPECT_TRUE(manager.GetTexture("e.tgax")->alphaTest);
}

TEST_F(TextureManagerTest, NonFatalFailuresLeaveNothingAndAreRetried) {
  EXPECT_EQ(manager.LoadTexture("missing.tga", false), nullptr);
  EXPECT_EQ(manager.Count(), 0);
  dir.Write("missing.tga", Tga(1, 1));
  EXPECT_NE(manager.LoadTexture("missing.tga", false), nullptr);

  dir.Write("broken.png", "\x89PNG\r\n\x1a\n not really");
  EXPECT_EQ(manager.LoadTexture("broken.png", false), nullptr);
  EXPECT_EQ(device.TexturesCreated(), 1u);
  EXPECT_EQ(device.LiveResources(), 1u);

  dir.Write("ok.tga", Tga(1, 1));
  device.SetFailCreation(true);
  EXPECT_EQ(manager.LoadTexture("ok.tga", false), nullptr);
  EXPECT_EQ(manager.Count(), 1);
}

TEST_F(TextureManagerTest, WithoutADeviceLoadingFails) {
  dir.Write("fir.tga", Tga(1, 1));
  SetDevice(nullptr);
  EXPECT_EQ(manager.LoadTexture("fir.tga", false), nullptr);
}

TEST_F(TextureManagerTest, AFullTableRefusesAndReleasesTheNewTexture) {
  for (int i = 0; i < kTextureCapacity - 1; ++i) {
    ASSERT_NE(manager.AddTexture(("slot" + std::to_string(i)).c_str()), nullptr);
  }
  EXPECT_EQ(manager.AddTexture("one.too.many"), nullptr);
  dir.Write("late.tga", Tga(1, 1));
  EXPECT_EQ(manager.LoadTexture("late.tga", false), nullptr);
  EXPECT_EQ(device.LiveResources(), 0u);
  EXPECT_EQ(manager.Count(), kTextureCapacity - 1);
}

TEST_F(TextureManagerTest, ANameTooLongForTheRecordIsRefused) {
  const std::string longName(130, 'x');
  EXPECT_EQ(manager.AddTexture(longName.c_str()), nullptr);
  EXPECT_NE(manager.AddTexture(std::string(127, 'y').c_str()), nullptr);
}

TEST_F(TextureManagerTest, DestructionReleasesEveryDeviceTexture) {
  dir.Write("a.tga", Tga(1, 1));
  dir.Write("b.tga", Tga(2, 2));
  {
    TextureManager local;
    local.GetTexture("a.tga");
    local.GetTexture("b.tga");
    EXPECT_EQ(device.LiveResources(), 2u);
  }
  EXPECT_EQ(device.LiveResources(), 0u);
}

using TextureManagerDeathTest = TextureManagerTest;

TEST_F(TextureManagerDeathTest, MissingTextureThroughGetTextureEndsTheProcess) {
  EXPECT_EXIT(GetTexture("snowflake.tga"), ::testing::ExitedWithCode(1),
              "Loading error: Couldn't load texture: snowflake.tga");
}

TEST_F(TextureManagerDeathTest, UndecodableTextureIsFatalToo) {
  dir.Write("fir2.tga", "not a picture at all");
  EXPECT_EXIT(manager.LoadTexture("fir2.tga", true), ::testing::ExitedWithCode(1),
              "Loading error: Couldn't load texture: fir2.tga");
}

}  // namespace
}  // namespace yulo

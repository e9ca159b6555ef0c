#include "resources/loaded_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace yulo {
namespace {

// Releases whatever a test left in the process-wide table.
class LoadedFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    while (LoadedFileCount() > 0) FreeFile(LoadedFileAt(0)->data);
  }
  test::ScopedTempDir dir;
};

TEST_F(LoadedFileTest, SecondRequestIsServedFromMemoryWhateverTheCase) {
  dir.Write("deer.chr", "abc");
  int32_t size = -1;
  uint8_t* first = LoadFile("deer.chr", &size, true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(std::memcmp(first, "abc", 3), 0);

  std::remove("deer.chr");  // the disk is not touched again
  int32_t size2 = -1;
  EXPECT_EQ(LoadFile("deer.chr", &size2, true), first);
  EXPECT_EQ(size2, 3);
  EXPECT_EQ(LoadFile("DEER.CHR", nullptr, true), first);
  EXPECT_EQ(LoadedFileCount(), 1);
  EXPECT_STREQ(LoadedFileAt(0)->name, "DEER.CHR");
}

TEST_F(LoadedFileTest, AfterFreeFileTheDiskIsReadAgain) {
  dir.Write("deer.chr", "old");
  uint8_t* first = LoadFile("deer.chr", nullptr, true);
  EXPECT_TRUE(FreeFile(first));
  dir.Write("deer.chr", "newer");
  int32_t size = 0;
  uint8_t* second = LoadFile("deer.chr", &size, true);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(std::memcmp(second, "newer", 5), 0);
}

TEST_F(LoadedFileTest, ReleaseByNameIgnoresCase) {
  dir.Write("sani.cgo", "x");
  LoadFile("sani.cgo", nullptr, true);
  EXPECT_TRUE(FreeFileByName("SANI.cgo"));
  EXPECT_EQ(LoadedFileCount(), 0);
  EXPECT_FALSE(FreeFileByName("sani.cgo"));
}

TEST_F(LoadedFileTest, ReleasingTheMiddleRecordKeepsTheOthersInOrder) {
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) dir.Write(name, name);
  LoadFile("a.bin", nullptr, true);
  uint8_t* b = LoadFile("b.bin", nullptr, true);
  LoadFile("c.bin", nullptr, true);

  const uint8_t unknown = 0;
  EXPECT_FALSE(FreeFile(&unknown));
  EXPECT_EQ(LoadedFileCount(), 3);

  EXPECT_TRUE(FreeFile(b));
  ASSERT_EQ(LoadedFileCount(), 2);
  EXPECT_STREQ(LoadedFileAt(0)->name, "A.BIN");
  EXPECT_STREQ(LoadedFileAt(1)->name, "C.BIN");
}

TEST_F(LoadedFileTest, MissingFileWithoutFatalReturnsNullAndKeepsSize) {
  int32_t size = 1234;
  EXPECT_EQ(LoadFile("missing.tga", &size, false), nullptr);
  EXPECT_EQ(size, 1234);
  EXPECT_EQ(LoadedFileCount(), 0);
}

TEST_F(LoadedFileTest, EmptyFileLoads) {
  dir.Write("empty.txt", "");
  int32_t size = -1;
  EXPECT_NE(LoadFile("empty.txt", &size, true), nullptr);
  EXPECT_EQ(size, 0);
}

TEST_F(LoadedFileTest, LongNamesAreComparedWhole) {
  // Two names that agree in their first 63 characters are different files.
  const std::string stem(70, 'n');
  dir.Write(stem + "1", "one");
  dir.Write(stem + "2", "two");
  uint8_t* one = LoadFile((stem + "1").c_str(), nullptr, true);
  uint8_t* two = LoadFile((stem + "2").c_str(), nullptr, true);
  EXPECT_NE(one, two);
  EXPECT_EQ(std::memcmp(two, "two", 3), 0);
  EXPECT_EQ(FindLoadedFile((stem + "1").c_str()), LoadedFileAt(0));

  // A name too long to store is never confused with a stored one.
  const std::string tooLong(200, 'n');
  EXPECT_EQ(FindLoadedFile(tooLong.c_str()), nullptr);
  EXPECT_EQ(LoadFile(tooLong.c_str(), nullptr, false), nullptr);
}

TEST(MakeUpperCaseTest, AsciiAndUpperLatinLetters) {
  char text[] = "abz{`AZ\xE9\xFF\xDF\xC0";
  MakeUpperCase(text);
  EXPECT_STREQ(text, "ABZ{`AZ\xC9\xDF\xDF\xC0");
}

using LoadedFileDeathTest = LoadedFileTest;

TEST_F(LoadedFileDeathTest, MissingFileWithFatalStopsWithTheMessage) {
  EXPECT_EXIT(LoadFile("deer.chr", nullptr, true), ::testing::ExitedWithCode(1),
              "Loading Error: Can't load deer\\.chr\\.\\.\\.\nProgram will now stop\\.");
}

TEST_F(LoadedFileDeathTest, TableOverflowTakesTheFatalPath) {
  EXPECT_EXIT(
      {
        for (int i = 0; i <= kLoadedFileCapacity; ++i) {
          const std::string name = "f" + std::to_string(i);
          AddLoadedFile(name.c_str(), 0, new uint8_t[1]);
        }
      },
      ::testing::ExitedWithCode(1), "Loading Error: Can't load f1024\\.\\.\\.\nToo many files");
}

}  // namespace
}  // namespace yulo

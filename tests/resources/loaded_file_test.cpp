#include "resources/loaded_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/read_file.h"
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

TEST_F(LoadedFileTest, NamesWrittenForWindowsFindTheirFiles) {
  ASSERT_EQ(mkdir("Trees", 0755), 0);
  dir.Write("Trees/Fir.TGA", "fir");
  dir.Write("DEER.chr", "upper");
  dir.Write("Deer.chr", "mixed");
  dir.Write("deer.anm", "exact");
  dir.Write("DEER.ANM", "other");
  const struct {
    const char* name;
    const char* bytes;  // null: not found
  } cases[] = {
      {"trees\\fir.tga", "fir"},  // any case, backslash between folders
      {"TREES//FIR.tga", "fir"},  // doubled separators
      {"deer.chr", "upper"},      // of two matches, the first in byte order
      {"deer.anm", "exact"},      // the exact name wins
      {"trees\\pine.tga", nullptr}, {"fir.tga\\x", nullptr},
  };
  for (const auto& c : cases) {
    const uint8_t* data = LoadFile(c.name, nullptr, false);
    if (c.bytes == nullptr) {
      EXPECT_EQ(data, nullptr) << c.name;
    } else {
      ASSERT_NE(data, nullptr) << c.name;
      EXPECT_STREQ(reinterpret_cast<const char*>(data), c.bytes) << c.name;
    }
    if (data != nullptr) FreeFile(const_cast<uint8_t*>(data));
  }
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

// A named pipe, a folder or a file over its kind's limit: refused at once (a pipe would
// block a plain open for ever), fatally with the file's name and the reason, otherwise
// with nullptr. Oversized files are sparse, so the test writes nothing of their size.
TEST_F(LoadedFileDeathTest, SpecialAndOversizedFilesAreRefusedByName) {
  struct Case {
    const char* name;
    int kind;  // 0 named pipe, -1 folder, else a file of this size in MiB plus one byte
    const char* reason;
  };
  const Case cases[] = {
      {"deer.chr", 0, "It is not a regular file\\."},
      {"music.ogg", 0, "It is not a regular file\\."},
      {"sani.cgo", -1, "It is not a regular file\\."},
      {"links.txt", 1, "It is larger than 1 MiB"},
      {"sani.cgo", 1, "It is larger than 1 MiB"},
      {"earth.msh_s", 32, "It is larger than 32 MiB"},
      {"deer.skn", 32, "It is larger than 32 MiB"},
      {"deer.anm", 32, "It is larger than 32 MiB"},
      {"sky.tga", 80, "It is larger than 80 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(c.name);
    rmdir(c.name);
    if (c.kind == 0) {
      ASSERT_EQ(mkfifo(c.name, 0600), 0);
    } else if (c.kind < 0) {
      ASSERT_EQ(mkdir(c.name, 0700), 0);
    } else {
      dir.Write(c.name, "");
      ASSERT_EQ(truncate(c.name, static_cast<off_t>(c.kind) * kMiB + 1), 0);
    }
    const std::string message = std::string("Can't load ") + c.name + "\\.\\.\\.\n" + c.reason +
                                ".*\nProgram will now stop";
    EXPECT_EXIT(
        {
          alarm(10);  // a hang fails the case instead of the whole suite
          LoadFile(c.name, nullptr, true);
        },
        ::testing::ExitedWithCode(1), message);
    int32_t size = -5;
    EXPECT_EQ(LoadFile(c.name, &size, false), nullptr);
    EXPECT_EQ(size, -5);
    char reason[128];
    DescribeLastLoadFailure(reason, sizeof reason);
    EXPECT_STRNE(reason, "");
  }
  // The limit itself is allowed.
  dir.Write("edge.cgo", "");
  ASSERT_EQ(truncate("edge.cgo", kTextFileSizeLimit), 0);
  int32_t size = 0;
  EXPECT_NE(LoadFile("edge.cgo", &size, false), nullptr);
  EXPECT_EQ(size, static_cast<int32_t>(kTextFileSizeLimit));
}

}  // namespace
}  // namespace yulo

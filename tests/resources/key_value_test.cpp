#include "resources/key_value.h"

#include <gtest/gtest.h>

#include <cstring>

namespace yulo {
namespace {

TEST(GetValueString, FindsKeysAnywhereAndStopsAtCarriageReturn) {
  const char* text = "mesh0=a.msh_s\r\nmesh1=b.msh_s\r\n";
  char out[64];
  EXPECT_EQ(GetValueString(out, sizeof out, text, "mesh1="), out);
  EXPECT_STREQ(out, "b.msh_s");
  std::strcpy(out, "junk");
  EXPECT_EQ(GetValueString(out, sizeof out, text, "mesh2="), nullptr);
  EXPECT_STREQ(out, "");
}

TEST(GetValueString, NothingIsTrimmed) {
  char out[64];
  GetValueString(out, sizeof out, "name= a b=c\r\n", "name=");
  EXPECT_STREQ(out, " a b=c");
}

TEST(GetValueString, PlainSubstringSearchAndLastLineWithoutLineEnd) {
  char out[64];
  GetValueString(out, sizeof out, "center.x=5\r\nx=7", "x=");
  EXPECT_STREQ(out, "5");
  GetValueString(out, sizeof out, "a=1\r\nlink2=http://example.test/x", "link2=");
  EXPECT_STREQ(out, "http://example.test/x");
  GetValueString(out, sizeof out, "key=", "key=");
  EXPECT_STREQ(out, "");
}

TEST(GetValueString, LongValuesAreCutToTheBuffer) {
  char out[8];
  std::memset(out, 'X', sizeof out);
  EXPECT_EQ(GetValueString(out, 5, "k=abcdefgh\r\n", "k="), out);
  EXPECT_STREQ(out, "abcd");
  EXPECT_EQ(out[5], 'X');  // nothing written past the capacity
  char array[4];           // the array form takes the array's size
  EXPECT_EQ(GetValueString(array, "k=abcdefgh\r\n", "k="), array);
  EXPECT_STREQ(array, "abc");
}

TEST(GetValueNumbers, ConversionRules) {
  EXPECT_EQ(GetValueInt("n=2.9\r\n", "n="), 2);
  EXPECT_EQ(GetValueInt("n=-2.9\r\n", "n="), -2);
  EXPECT_EQ(GetValueInt("n=1e2\r\n", "n="), 100);
  EXPECT_EQ(GetValueInt("n=abc\r\n", "n="), 0);
  EXPECT_EQ(GetValueInt("n=  42xyz\r\n", "n="), 42);
  EXPECT_EQ(GetValueFloat("a=1\r\n", "b="), 0.0f);
  EXPECT_EQ(GetValueFloat("b=\r\n", "b="), 0.0f);
  EXPECT_FLOAT_EQ(GetValueFloat("center.y=-12.5\r\n", "center.y="), -12.5f);
  // Decimal only: no hexadecimal, no words.
  EXPECT_EQ(GetValueInt("n=0x10\r\n", "n="), 0);
  EXPECT_EQ(GetValueInt("n= -0X1p4\r\n", "n="), 0);
  EXPECT_EQ(GetValueFloat("f=inf\r\n", "f="), 0.0f);
  EXPECT_EQ(GetValueFloat("f=-infinity\r\n", "f="), 0.0f);
  EXPECT_FLOAT_EQ(GetValueFloat("f=-.5e1\r\n", "f="), -5.0f);
  EXPECT_EQ(GetValueInt("n=\t+007\r\n", "n="), 7);
}

TEST(GetValueNumbers, LongAndOutOfRangeValuesAreSafe) {
  // Only the first 31 characters are read: here all zeros.
  EXPECT_EQ(GetValueInt("n=000000000000000000000000000000000000012\r\n", "n="), 0);
  EXPECT_EQ(GetValueInt("n=1e300\r\n", "n="), INT32_MAX);
  EXPECT_EQ(GetValueInt("n=-1e300\r\n", "n="), INT32_MIN);
  EXPECT_EQ(GetValueInt("n=nan\r\n", "n="), 0);
}

}  // namespace
}  // namespace yulo

#include "util/scan.h"

#include <gtest/gtest.h>

#include <string>

namespace mendra {
namespace {

struct AtoiCase {
  std::string text;
  int value;
};

TEST(ParseAtoiTest, FollowsAtoiAndSaturates) {
  const AtoiCase cases[] = {
      {"123", 123},
      {"  -45xyz", -45},
      {"+7", 7},
      {"", 0},
      {"abc", 0},
      {"- 5", 0},
      {"29.97", 29},
      {"\t\n 12", 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999", -2147483647 - 1},
      {"99999999999999999999999999", 2147483647},
      {std::string("4\0"
                   "2",
                   3),
       4},  // a NUL ends the text, as in a C string
  };
  for (const AtoiCase& c : cases) EXPECT_EQ(parse_atoi(c.text), c.value) << c.text;
}

TEST(ScanFormatTest, FieldWidthsCountTheSign) {
  int a = -1, b = -1, c = -1;
  // %01d takes one character: a sign alone is no number.
  EXPECT_EQ(scan_format("-5:07", "%01d:%02d", &a, &b), 0);
  EXPECT_EQ(scan_format("5:07", "%01d:%02d", &a, &b), 2);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 7);
  // Two digits for the start hours do not fit a width of one.
  EXPECT_EQ(scan_format("10:00", "%01d:%02d", &a, &b), 1);
  EXPECT_EQ(a, 1);
  // %03d stops after three digits; the rest is left for the format.
  EXPECT_EQ(scan_format("12345", "%03d%d", &a, &b), 2);
  EXPECT_EQ(a, 123);
  EXPECT_EQ(b, 45);
  // White space before a number is skipped and does not count in the width.
  EXPECT_EQ(scan_format("   42,  7", "%02d,%02d", &a, &c), 2);
  EXPECT_EQ(a, 42);
  EXPECT_EQ(c, 7);
}

TEST(ScanFormatTest, WhiteSpaceDirectiveMatchesAnyRunIncludingNone) {
  int a = 0, b = 0;
  EXPECT_EQ(scan_format("3*4", "%d * %d", &a, &b), 2);
  EXPECT_EQ(scan_format("3 \t*   4", "%d * %d", &a, &b), 2);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(scan_format("3 - 4", "%d * %d", &a, &b), 1);
}

TEST(ScanFormatTest, LiteralsMustMatchFromTheFirstCharacter) {
  int a = 0, b = 0;
  const char* format = "VirtualDub.subset.AddRange(%d,%d);";
  EXPECT_EQ(scan_format("VirtualDub.subset.AddRange(10,20)", format, &a, &b), 2);
  EXPECT_EQ(scan_format(" VirtualDub.subset.AddRange(10,20);", format, &a, &b), 0);
  EXPECT_EQ(scan_format("VirtualDub.subset.AddRange(10;20);", format, &a, &b), 1);
}

TEST(ScanFormatTest, HugeNumbersSaturate) {
  int a = 0;
  EXPECT_EQ(scan_format("123456789012345", "%d", &a), 1);
  EXPECT_EQ(a, 2147483647);
  EXPECT_EQ(scan_format("-123456789012345", "%d", &a), 1);
  EXPECT_EQ(a, -2147483647 - 1);
}

}  // namespace
}  // namespace mendra

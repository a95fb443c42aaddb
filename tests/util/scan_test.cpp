#include "util/scan.h"
#include "util/line_tally.h"

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

namespace mendra {
namespace {

TEST(ScanPatternTest, CompiledOnceGivesTheSameMatchAsTheFormatText) {
  constexpr ScanPattern kTiming = compile_scan_pattern("%d:%02d:%02d,%03d --> %d:%02d:%02d,%03d\n");
  const char* lines[] = {
      "00:00:01,5 --> 00:00:02,25\n", "1:2:3,4-->5:6:7,8", "00:00:01,000 -> 2", "x", "",
      "123:45:678,9999 --> 1:1:1,1"};
  for (const char* line : lines) {
    int a[8] = {}, b[8] = {};
    const int n =
        scan_format(line, kTiming, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6], &a[7]);
    const int m = scan_format(line, "%d:%02d:%02d,%03d --> %d:%02d:%02d,%03d\n", &b[0], &b[1],
                              &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]);
    EXPECT_EQ(n, m) << line;
    for (int i = 0; i < n; ++i) EXPECT_EQ(a[i], b[i]) << line << " field " << i;
  }
  int f[8] = {};
  EXPECT_EQ(scan_format("00:00:01,5 --> 00:00:02,25\n", kTiming, &f[0], &f[1], &f[2], &f[3], &f[4],
                        &f[5], &f[6], &f[7]),
            8);
  EXPECT_EQ(f[3], 5);
  EXPECT_EQ(f[7], 25);
  // Three digits at most for the milliseconds: the fourth is left over and
  // must then match the literal " ", which it does not.
  EXPECT_EQ(scan_format("1:00:00,1234 --> 1:0:0,0", kTiming, &f[0], &f[1], &f[2], &f[3], &f[4],
                        &f[5], &f[6], &f[7]),
            4);
}

TEST(ScanPatternTest, LiteralPercentAndUnsupportedConversions) {
  int a = 0;
  EXPECT_EQ(scan_format("50%7", "%d%%%d", &a, &a), 2);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(scan_format("12", "%x", &a), 0);
}

}  // namespace
}  // namespace mendra

namespace mendra {
namespace {

// The layout shortcut may only ever agree with the full scan: random lines
// near the usual layout must either miss the shortcut or read the same
// numbers.
TEST(DigitLayoutTest, AgreesWithTheScanWheneverItMatches) {
  constexpr std::string_view kLayout = "99:99:99,999 --> 99:99:99,999";
  constexpr ScanPattern kPattern =
      compile_scan_pattern("%d:%02d:%02d,%03d --> %d:%02d:%02d,%03d\n");
  const std::string alphabet = "0123456789:, ->-\n+";
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  int shortcut_hits = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string line = "01:23:45,678 --> 12:34:56,789\n";
    // Change a few characters, sometimes none.
    for (unsigned changes = next() % 4; changes > 0; --changes) {
      line[next() % line.size()] = alphabet[next() % alphabet.size()];
    }
    int fast[8] = {}, full[8] = {};
    int *fast_out[8], *full_out[8];
    for (int i = 0; i < 8; ++i) {
      fast_out[i] = &fast[i];
      full_out[i] = &full[i];
    }
    if (!match_digit_layout(line, kLayout, fast_out, 8)) continue;
    ++shortcut_hits;
    ASSERT_EQ(scan_ints(line, kPattern, full_out, 8), 8) << line;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fast[i], full[i]) << line << " field " << i;
  }
  EXPECT_GT(shortcut_hits, 1000);  // the usual layout must take the shortcut
}

TEST(DigitLayoutTest, RejectsShortTextNulAndWrongFieldCount) {
  int a = 0, b = 0;
  int* outs[] = {&a, &b};
  EXPECT_TRUE(match_digit_layout("12:34 rest", "99:99", outs, 2));
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 34);
  EXPECT_FALSE(match_digit_layout("12:3", "99:99", outs, 2));
  EXPECT_FALSE(match_digit_layout(std::string_view("12:\0"
                                                   "4",
                                                   5),
                                  "99:99", outs, 2));
  EXPECT_FALSE(match_digit_layout("12:34", "99:99", outs, 1));
}

// Every byte value: signed chars above 127 must be neither digits nor blanks.
TEST(CharClassTest, DigitsAndBlanksOverEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(is_digit(c), b >= '0' && b <= '9') << b;
    EXPECT_EQ(is_blank(c), b == ' ' || b == '\t' || b == '\r' || b == '\n') << b;
  }
}

TEST(LineTallyTest, CountsAndKeepsTheFirstLine) {
  LineTally tally;
  EXPECT_TRUE(tally.empty());
  for (int line : {7, 3, 12}) tally.add(line);
  EXPECT_FALSE(tally.empty());
  EXPECT_EQ(tally.count, 3);
  EXPECT_EQ(tally.first_line, 7);
}

}  // namespace
}  // namespace mendra

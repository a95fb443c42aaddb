#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;
using test::summary_text;
using test::zero_summary;

class KeyListTest : public test::CutListTest {};

const char kFourKeys[] = "100\n200\n300\n400\n";

TEST_F(KeyListTest, AutoChoosesEvenForLongEvenSteps) {
  // o = (200 - 100) + (400 - 300) = 200, e = 300 - 200 - 2 = 98.
  const CutListOutcome out = read_text(kFourKeys, KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 200, 300, 400, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\to:200\te:98\t >> auto select:2\n"
            " [key]\t2 : Even\n"
            "\t  cut:\ts=100\te=199\n"
            "\t  cut:\ts=301\te=399\n"
            "\n" +
                summary_text(199, "00:00:06.639", 201, "00:00:06.706"));
}

TEST_F(KeyListTest, EvenPairsFirstLineAsFrameBeforeIt) {
  const CutListOutcome out = read_text(kFourKeys, KeyEven);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 200, 300, 400, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\t2 : Even\n"
            "\t  cut:\ts=100\te=199\n"
            "\t  cut:\ts=301\te=399\n"
            "\n" +
                summary_text(199, "00:00:06.639", 201, "00:00:06.706"));
}

TEST_F(KeyListTest, RangesAreInclusiveKeptRanges) {
  const CutListOutcome out = read_text(kFourKeys, KeyRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 201, 299, 401, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\t3\n"
            "\t  cut:\ts=100\te=200\n"
            "\t  cut:\ts=300\te=400\n"
            "\n" +
                summary_text(202, "00:00:06.740", 199, "00:00:06.639"));
}

TEST_F(KeyListTest, OddIgnoresFirstLineAndUnpairedLast) {
  const CutListOutcome out = read_text(kFourKeys, KeyOdd);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 200, 300, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\t1 : Odd\n"
            "\t  cut:\ts=201\te=299\n"
            "\n" +
                summary_text(99, "00:00:03.303", 201, "00:00:06.706"));
}

TEST_F(KeyListTest, AutoChoosesOddForLongOddSteps) {
  // o = 90 + 100 = 190, e = (100 - 2) + (100 - 2) = 196.
  const CutListOutcome out = read_text("10\n100\n200\n300\n400\n", KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 100, 200, 300, 400, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\to:190\te:196\t >> auto select:1\n"
            " [key]\t1 : Odd\n"
            "\t  cut:\ts=101\te=199\n"
            "\t  cut:\ts=301\te=399\n"
            "\n" +
                summary_text(198, "00:00:06.606", 202, "00:00:06.740"));
}

TEST_F(KeyListTest, AutoTieChoosesOdd) {
  // o = 10, e = 22 - 10 - 2 = 10.
  const CutListOutcome out = read_text("0\n10\n22\n", KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 10, 22, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\to:10\te:10\t >> auto select:1\n"
            " [key]\t1 : Odd\n"
            "\t  cut:\ts=11\te=21\n"
            "\n" +
                summary_text(11, "00:00:00.367", 11, "00:00:00.367"));
}

TEST_F(KeyListTest, AutoWithOneLineChoosesOddAndYieldsNoRange) {
  const CutListOutcome out = read_text("500\n", KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\to:0\te:0\t >> auto select:1\n"
            " [key]\t1 : Odd\n"
            "\n" +
                zero_summary());
}

TEST_F(KeyListTest, AutoWithEmptyFileIsEmpty) {
  const CutListOutcome out = read_text("", KeyAuto);
  EXPECT_EQ(out.read, CutListRead::Empty);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, zero_summary());
}

struct EmptyCase {
  CutListKind kind;
  const char* info;
};

class KeyListEmptyTest : public test::CutListTest,
                         public ::testing::WithParamInterface<EmptyCase> {};

TEST_P(KeyListEmptyTest, EmptyFileSucceedsWithoutRange) {
  const CutListOutcome out = read_text("", GetParam().kind);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, std::string(GetParam().info) + "\n" + zero_summary());
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeyListEmptyTest,
                         ::testing::Values(EmptyCase{KeyOdd, " [key]\t1 : Odd\n"},
                                           EmptyCase{KeyEven, " [key]\t2 : Even\n"},
                                           EmptyCase{KeyRanges, " [key]\t3\n"}));

TEST_F(KeyListTest, TooShortForAPairSucceedsWithoutRange) {
  traces_only();
  EXPECT_EQ(read_text("100\n", KeyEven).map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(read_text("100\n200\n", KeyOdd).map, (CutMap{-1, -1, -1}));
  const CutListOutcome out = read_text("100\n", KeyRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, "\n");
}

TEST_F(KeyListTest, BlankAndTextLinesReadAsFrameZero) {
  traces_only();
  const CutListOutcome out = read_text("\n50\nkey\n  7 frames\n", KeyRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 51, -1, 8, -1, -1}));
  // The second range lies inside the first: used as given, with a warning;
  // so are the lines that are no plain frame number.
  EXPECT_EQ(out.log,
            "\t  cut:\ts=0\te=50\n\t  cut:\ts=0\te=7\n\n"
            "warning: 2 lines of <memory> could not be read (first: line 3)\n"
            "warning: kept ranges out of order or overlapping in <memory>\n");
}

// A range that ends before it begins keeps no frame and leaves the map and
// the counts as they would be without it.
TEST_F(KeyListTest, RangeEndingBeforeItBeginsKeepsNothing) {
  struct Case {
    const char* name;
    CutListKind kind;
    const char* list;
    CutMap map;
  };
  const Case cases[] = {
      {"ranges 0, -1 first", KeyRanges, "0\n-1\n100\n199\n", {-1, 99, 200, -1, -1}},
      {"ranges later frame first", KeyRanges, "500\n400\n100\n199\n", {-1, 99, 200, -1, -1}},
      {"odd later frame first", KeyOdd, "0\n300\n200\n99\n200\n", {-1, 99, 200, -1, -1}},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CutListOutcome out = read_text(c.list, c.kind);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, c.map);
  }
  // The counts too: 100 kept, 100 cut before them.
  show_info_ = true;
  const CutListOutcome out = read_text("0\n-1\n100\n199\n", KeyRanges);
  EXPECT_NE(out.log.find(summary_text(100, "00:00:03.336", 100, "00:00:03.336")), std::string::npos)
      << out.log;
}

TEST_F(KeyListTest, LineLongerThan255CharactersReadsAsTwoValues) {
  // 252 zeros and "100" fill the first 255-character piece; "200" is the next.
  const std::string line = std::string(252, '0') + "100" + "200\n";
  traces_only();
  const CutListOutcome out = read_text(line, KeyRanges);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 201, -1, -1}));
  EXPECT_EQ(out.log, "\t  cut:\ts=100\te=200\n\n");
}

TEST_F(KeyListTest, CrLfLinesReadLikeLfLines) {
  const CutListOutcome out = read_text("100\r\n200\r\n300\r\n400\r\n", KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 200, 300, 400, -1, -1}));
  EXPECT_EQ(out.log,
            " [key]\to:200\te:98\t >> auto select:2\n"
            " [key]\t2 : Even\n"
            "\t  cut:\ts=100\te=199\n"
            "\t  cut:\ts=301\te=399\n"
            "\n" +
                summary_text(199, "00:00:06.639", 201, "00:00:06.706"));
}

TEST_F(KeyListTest, CrLfCountsAsOneCharacterOfAPiece) {
  // 254 characters and CR LF make one 255-character piece; if the CR were
  // kept, the LF would arrive as a piece of its own and read as frame 0.
  const std::string text = std::string(251, '0') + "100\r\n200\r\n";
  traces_only();
  const CutListOutcome out = read_text(text, KeyRanges);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 201, -1, -1}));
  EXPECT_EQ(out.log, "\t  cut:\ts=100\te=200\n\n");
}

TEST_F(KeyListTest, FramesNearTheIntLimitsWrapAround) {
  const CutListOutcome out = read_text("2147483647\n2147483647\n", KeyRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 2147483646, -2147483647 - 1, -1, -1}));
  // The cut time saturates at the largest int of milliseconds.
  EXPECT_EQ(out.log,
            " [key]\t3\n"
            "\t  cut:\ts=2147483647\te=2147483647\n"
            "\n" +
                summary_text(1, "00:00:00.033", 2147483647, "56:31:23.647"));
}

TEST_F(KeyListTest, ValuesBeyondTheIntRangeSaturate) {
  traces_only();
  const CutListOutcome out = read_text("0\n-99999999999\n99999999999\n", KeyOdd);
  // s = INT_MIN, e = INT_MAX: the trace values s + 1 and e - 1 stay in range.
  EXPECT_EQ(out.map, (CutMap{-1, -2147483647 - 1, 2147483647, -1, -1}));
  // A signed value is no frame number TMPGEnc writes.
  EXPECT_EQ(out.log,
            "\t  cut:\ts=-2147483647\te=2147483646\n\n"
            "warning: 1 lines of <memory> could not be read (first: line 2)\n");
}

TEST_F(KeyListTest, AutoSumsWrapAround) {
  traces_only();
  // o = 2147483647 - (-2147483648) wraps to -1; e = 0 - 2147483647 - 2.
  const CutListOutcome out = read_text("-2147483648\n2147483647\n2147483647\n", KeyAuto);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.log,
            " [key]\to:-1\te:-2\t >> auto select:2\n"
            "\t  cut:\ts=-2147483648\te=2147483646\n\n"
            "warning: 1 lines of <memory> could not be read (first: line 1)\n");
  EXPECT_EQ(out.map, (CutMap{-1, 2147483647, 2147483647, -1, -1}));
}

}  // namespace
}  // namespace mendra

#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;
using test::summary_text;

class EdlListTest : public test::CutListTest {};

// Each row: the list, the rate, and the map it must give.
struct EdlCase {
  const char* name;
  const char* list;
  FrameRate rate;
  CutMap map;
};

constexpr FrameRate kNtsc{30000, 1001};
constexpr FrameRate kPal{25, 1};
constexpr std::int32_t kOpen = 2147483647;  // the map value after an open end

TEST_F(EdlListTest, RangesGiveTheFramesWhoseStartLiesInside) {
  const EdlCase cases[] = {
      // 1.001 s is the start of frame 30 at 30000/1001: exactly on it.
      {"on a boundary", "1.001 10.01 0\n", kNtsc, {-1, -1, 30, 299, kOpen, -1, -1}},
      {"just before", "1.0009 10.0099 0\n", kNtsc, {-1, -1, 30, 299, kOpen, -1, -1}},
      {"just after", "1.0011 10.0101 0\n", kNtsc, {-1, -1, 31, 300, kOpen, -1, -1}},
      {"many digits", "1.00100000000000000000001 2\n", kNtsc, {-1, -1, 31, 59, kOpen, -1, -1}},
      {"25 fps boundary", "0.04 0.2\n", kPal, {-1, -1, 1, 4, kOpen, -1, -1}},
      {"25 fps inside", "0.039 0.201\n", kPal, {-1, -1, 1, 5, kOpen, -1, -1}},
      {"25 fps whole", "4 8.\n", kPal, {-1, -1, 100, 199, kOpen, -1, -1}},
      {"leading point", ".5 1\n", kPal, {-1, -1, 13, 24, kOpen, -1, -1}},
      {"clock forms", "0:04 00:00:08.000 0\n", kPal, {-1, -1, 100, 199, kOpen, -1, -1}},
      {"hours", "1:00:00 1:00:01.5 3\n", kPal, {-1, -1, 90000, 90037, kOpen, -1, -1}},
      {"frame numbers", "#100 #200 0\n", kNtsc, {-1, -1, 100, 199, kOpen, -1, -1}},
      {"frame and time", "#100 8 0\n", kPal, {-1, -1, 100, 199, kOpen, -1, -1}},
      {"from frame 0", "0 1.001\n", kNtsc, {-1, 29, kOpen, -1, -1}},
      {"empty range", "2 2 0\n", kPal, {-1, -1, kOpen, -1, -1}},
      {"no line", "", kPal, {-1, -1, kOpen, -1, -1}},
      // Sorted, and overlapping or touching ranges joined.
      {"sorted and merged",
       "8 10\n1 2\n9 12\n12 13\n1.5 1.8\n",
       kPal,
       {-1, -1, 25, 49, 200, 324, kOpen, -1, -1}},
      // Mute and scene marker change nothing.
      {"mute and marker", "1 2 1\n3 4 2\n5 6 3\n", kPal, {-1, -1, 125, 149, kOpen, -1, -1}},
      // Blank lines and tabs, comments, a '#' before a digit is a frame.
      {"comments",
       "# comment with many words 1 2 3\n\n\t#\n  #5\t#10\t0  \n#x 1 2\n",
       kPal,
       {-1, -1, 5, 9, kOpen, -1, -1}},
      // Past the end of the frame axis: nothing is kept after it.
      {"to the end", "1 2\n10 99999999999\n", kPal, {-1, -1, 25, 49, 250, -1, -1}},
      {"frame past the axis", "#10 #99999999999\n", kPal, {-1, -1, 10, -1, -1}},
      // The finest clock -fps makes (2^31 frames per 1.001 s): times far
      // past the axis saturate rather than overflow.
      {"finest clock",
       "1 2\n10 99999999999\n",
       fps_frame_rate(2147483647),
       {-1, -1, 2145338309, -1, -1}},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const EdlCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_ = constant_clock(c.rate);
    const CutListOutcome out = read_text(c.list, Edl);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, c.map);
    EXPECT_EQ(out.log, "");
  }
}

TEST_F(EdlListTest, UnreadableLinesAreSkippedWithOneWarning) {
  const EdlCase cases[] = {
      {"junk", "commercial here\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"end before start", "5 4 0\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"frames backwards", "#9 #8\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"one field", "5\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"unknown action", "5 6 4\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"four fields", "5 6 0 0\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"negative", "-1 6\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"comma", "5,5 6\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"three colons", "1:2:3:4 5\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"bare point", ". 5\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
      {"frame with junk", "#5x #6\n1 2\n", kPal, {-1, -1, 25, 49, kOpen, -1, -1}},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const EdlCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_ = constant_clock(c.rate);
    const CutListOutcome out = read_text(c.list, Edl);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, c.map);
    EXPECT_EQ(out.log, "warning: 1 lines of <memory> could not be read (first: line 1)\n");
  }
}

TEST_F(EdlListTest, WarningCountsEveryUnreadableLineAndNamesTheFirst) {
  traces_only();
  log_.level = LogLevel::Info;
  const CutListOutcome out = read_text("# list\n1 2\nx\n3 2\n\ny z 0\n", Edl);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.log, "warning: 3 lines of <memory> could not be read (first: line 3)\n");
}

TEST_F(EdlListTest, TracesAndSummaryCountTheRangesBeforeTheOpenEnd) {
  // The default 30000/1001; CR LF and a byte-order mark read as usual.
  const CutListOutcome out = read_text(
      "\xEF\xBB\xBF"
      "6.67\t10.01\t0\r\n0.00\t3.33\t0\r\n"
      "12\t13\t1\r\n",
      Edl);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 200, 299, kOpen, -1, -1}));
  EXPECT_EQ(out.log,
            " [edl]\n"
            "\t range:\ts=200\te=299\taction=0\n"
            "\t range:\ts=0\te=99\taction=0\n"
            "\t range:\ts=360\te=389\taction=1\n"
            "\t  kept:\ts=100\te=199\n"
            "\t  kept:\ts=300\te=2147483646\n"
            "\n" +
                summary_text(100, "00:00:03.336", 200, "00:00:06.673"));
}

TEST_F(EdlListTest, ListInAFileNamesItInTheWarning) {
  traces_only();
  log_.level = LogLevel::Info;
  const std::string path = write_file("show.edl", "1 2 0\nbroken\n");
  const CutListOutcome out = read(path, Edl);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.log, "warning: 1 lines of " + path + " could not be read (first: line 2)\n");
}

}  // namespace
}  // namespace mendra

#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;
using test::summary_text;

class SegmentListTest : public test::CutListTest {};

// Each row: the list, the rate, the map it must give and the warning (if
// any) it must print.
struct SegmentCase {
  const char* name;
  const char* list;
  FrameRate rate;
  CutMap map;
  const char* warning;
};

constexpr FrameRate kNtsc{30000, 1001};
constexpr FrameRate kPal{25, 1};
constexpr std::int32_t kOpen = 2147483647;  // the map value after an open end

TEST_F(SegmentListTest, SegmentsKeepTheFramesWhoseStartLiesInside) {
  const SegmentCase cases[] = {
      // 1.001 s and 10.01 s are the starts of frames 30 and 300.
      {"on boundaries", "1.001,10.01\n", kNtsc, {-1, 29, 300, -1, -1}, ""},
      {"just before", "1.0009,10.0099\n", kNtsc, {-1, 29, 300, -1, -1}, ""},
      {"just after", "1.0011,10.0101\n", kNtsc, {-1, 30, 301, -1, -1}, ""},
      {"25 fps", "0.04,0.2\n0.201,1\n", kPal, {-1, 0, 5, 5, 25, -1, -1}, ""},
      {"blanks around", " 4 ,\t8. \n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"label", "4,8,Part one\n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"quoted label",
       "4,8,\"One, \"\"two\"\"\"\n10,12,\"x\"\n",
       kPal,
       {-1, 99, 200, 249, 300, -1, -1},
       ""},
      {"label over two lines",
       "4,8,\"line one\nline two, 5,6\"\n10,12\n",
       kPal,
       {-1, 99, 200, 249, 300, -1, -1},
       ""},
      {"quoted times", "\"4\",\"8\"\n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"open end", "4,8\n10,\n", kPal, {-1, 99, 200, 249, kOpen, -1, -1}, ""},
      {"open end labelled", "10,,rest\n", kPal, {-1, 249, kOpen, -1, -1}, ""},
      {"header", "start,end,name\n4,8\n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"header after blank lines", "\n\n\"Start\",\"End\"\n4,8\n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"empty segment", "4,4\n4,8\n", kPal, {-1, 99, 200, -1, -1}, ""},
      {"no segment", "", kPal, {-1, -1, -1}, ""},
      // Given order is kept, with the builder's warning.
      {"out of order",
       "10,12\n4,8\n",
       kPal,
       {-1, 249, 300, 99, 200, -1, -1},
       "warning: kept ranges out of order or overlapping in <memory>\n"},
      {"second header",
       "a,b\nc,d\n4,8\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 1 lines of <memory> could not be read (first: line 2)\n"},
      {"end before start",
       "8,4\n4,8\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 1 lines of <memory> could not be read (first: line 1)\n"},
      {"one field",
       "4,8\n5\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 1 lines of <memory> could not be read (first: line 2)\n"},
      // An empty start is 0, on any line.
      {"empty start",
       "4,8\n,9\n",
       kPal,
       {-1, 99, 200, -1, 225, -1, -1},
       "warning: kept ranges out of order or overlapping in <memory>\n"},
      {"empty start on the first line is no header",
       ",56.9568,First segment starting at 0\n60,,x\n",
       kPal,
       {-1, -1, 1424, 1499, 2147483647, -1, -1},
       ""},
      {"empty start and end", ",\n", kPal, {-1, -1, 2147483647, -1, -1}, ""},
      // Clock times as the edit-decision lists read them.
      {"clock time", "4,8\n0:10,0:12\n", kPal, {-1, 99, 200, 249, 300, -1, -1}, ""},
      {"hours, minutes and seconds",
       "0:00:04.000,00:08.000\n01:00:00,1:00:00.04\n",
       kPal,
       {-1, 99, 200, 89999, 90001, -1, -1},
       ""},
      {"text after a quote",
       "4,8\n\"10\"x,12\n9,1\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 2 lines of <memory> could not be read (first: line 2)\n"},
      {"quote never closed",
       "4,8\n10,12,\"open\n13,14\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 1 lines of <memory> could not be read (first: line 2)\n"},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const SegmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_ = constant_clock(c.rate);
    const CutListOutcome out = read_text(c.list, KeptSegments);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, c.map);
    EXPECT_EQ(out.log, c.warning);
  }
}

TEST_F(SegmentListTest, TracesAndSummary) {
  // The default 30000/1001; CR LF and a byte-order mark read as usual.
  const CutListOutcome out = read_text(
      "\xEF\xBB\xBF"
      "3.33,6.67,\"Act 1, before the break\"\r\n10.01,13.34,Act 2\r\n20,\r\n",
      KeptSegments);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 99, 200, 299, 400, 599, kOpen, -1, -1}));
  EXPECT_EQ(out.log,
            " [seg]\n"
            "\t  kept:\ts=100\te=199\n"
            "\t  kept:\ts=300\te=399\n"
            "\t  kept:\ts=600\te=2147483646\n"
            "\n" +
                summary_text(200, "00:00:06.673", 400, "00:00:13.346"));
}

}  // namespace
}  // namespace mendra

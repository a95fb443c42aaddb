#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;
using test::summary_text;
using test::zero_summary;

class DelListTest : public test::CutListTest {};

const std::string kDelTrace =
    " [del]\n"
    "\t list:\ts=0\te=99\n"
    "\t list:\ts=200\te=499\n"
    "\t list:\ts=501\te=999\n"
    "\n";
const CutMap kDelMap = {-1, -1, 100, 199, 500, 500, 1000, -1, -1};

TEST_F(DelListTest, HeaderRangesAndSingleFrames) {
  const CutListOutcome out = read_text("0 * 999\n100 - 199\n500\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, kDelMap);
  EXPECT_EQ(out.log, kDelTrace + summary_text(899, "00:00:29.996", 101, "00:00:03.370"));
}

TEST_F(DelListTest, CrLfListReadsLikeLfList) {
  const CutListOutcome out = read_text("0 * 999\r\n100 - 199\r\n500\r\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, kDelMap);
  EXPECT_EQ(out.log, kDelTrace + summary_text(899, "00:00:29.996", 101, "00:00:03.370"));
}

TEST_F(DelListTest, CommentsFreeTextAndRepeatedHeaderChangeNothing) {
  const CutListOutcome out = read_text(
      "# AviUtl deleted frames\n"
      "frames of movie.avi\n"
      "0 * 999\n"
      "# 300 - 400\n"
      "100-199\n"
      "0 * 5000\n"  // a second header is ignored
      "not a range\n"
      "\n"
      "500\n",
      DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, kDelMap);
  EXPECT_EQ(out.log, kDelTrace + summary_text(899, "00:00:29.996", 101, "00:00:03.370"));
}

TEST_F(DelListTest, HeaderWithoutDeletedRanges) {
  const CutListOutcome out = read_text("30 * 999\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 29, 1000, -1, -1}));
  EXPECT_EQ(out.log,
            " [del]\n"
            "\t list:\ts=30\te=999\n"
            "\n" +
                summary_text(970, "00:00:32.365", 30, "00:00:01.001"));
}

TEST_F(DelListTest, RangesAreSortedAndMerged) {
  traces_only();
  // Out of order, overlapping and outside the header range; an end of -1
  // reads as a single frame. The trace lists the kept ranges between the
  // merged deleted ones.
  const CutListOutcome out =
      read_text("10 * 100\n50 - 60\n20 - 30\n55 - 58\n200 - 300\n7 - -1\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 9, 7, 7, 20, 30, 50, 60, 200, 300, 101, -1, -1}));
  EXPECT_EQ(out.log,
            "\t list:\ts=10\te=6\n"
            "\t list:\ts=8\te=19\n"
            "\t list:\ts=31\te=49\n"
            "\t list:\ts=61\te=199\n"
            "\t list:\ts=301\te=100\n"
            "\n");
}

// Lists whose deleted ranges come out of order, overlap, touch or run
// backwards read like the sorted, merged list: same map, same summary, and
// no order warning, since the reader puts them in order itself.
struct MergeCase {
  const char* label;
  const char* given;
  const char* sorted;
};

void PrintTo(const MergeCase& c, std::ostream* os) {
  *os << c.label;
}

class DelListMergeTest : public test::CutListTest,
                         public ::testing::WithParamInterface<MergeCase> {};

TEST_P(DelListMergeTest, ReadsLikeTheSortedList) {
  const CutListOutcome given = read_text(GetParam().given, DelList);
  const CutListOutcome sorted = read_text(GetParam().sorted, DelList);
  EXPECT_TRUE(given.ok);
  EXPECT_EQ(given.map, sorted.map);
  EXPECT_EQ(given.log, sorted.log);
  EXPECT_EQ(given.log.find("warning"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DelListMergeTest,
    ::testing::Values(
        MergeCase{"Unsorted", "0 * 399\n200 - 299\n0 - 99\n", "0 * 399\n0 - 99\n200 - 299\n"},
        MergeCase{"Overlapping", "0 * 199\n50 - 99\n60 - 149\n", "0 * 199\n50 - 149\n"},
        MergeCase{"Contained", "0 * 199\n50 - 149\n60 - 70\n", "0 * 199\n50 - 149\n"},
        MergeCase{"Touching", "0 * 199\n100 - 149\n50 - 99\n", "0 * 199\n50 - 149\n"},
        MergeCase{"SingleFramesInARun", "0 * 99\n12\n10\n11\n", "0 * 99\n10 - 12\n"},
        MergeCase{"Duplicate", "0 * 99\n10 - 20\n10 - 20\n", "0 * 99\n10 - 20\n"},
        MergeCase{"BackwardsRangeDeletesNothing", "0 * 99\n60 - 50\n10 - 20\n",
                  "0 * 99\n10 - 20\n"},
        MergeCase{"NearTheIntLimit", "0 * 99\n2147483000 - 2147483647\n5 - 6\n0 - 2147483647\n",
                  "0 * 99\n0 - 2147483647\n"}),
    [](const ::testing::TestParamInfo<MergeCase>& param_info) {
      return std::string(param_info.param.label);
    });

TEST_F(DelListTest, OverlappingRangesCountTheKeptFramesOnce) {
  // 0..49 and 150..199 are kept: 100 frames.
  const CutListOutcome out = read_text("0 * 199\n50 - 99\n60 - 149\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 50, 149, 200, -1, -1}));
  EXPECT_EQ(out.log, " [del]\n\t list:\ts=0\te=49\n\t list:\ts=150\te=199\n\n" +
                         summary_text(100, "00:00:03.336", 100, "00:00:03.336"));
}

TEST_F(DelListTest, MissingHeaderFails) {
  const CutListOutcome out = read_text("# only ranges\n100 - 199\n", DelList);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log,
            "no cuts could be read from <memory> (1 lines, first: line 2)\n" + zero_summary());
}

// Comments alone, or nothing at all, are an empty list: the caller decides
// what that means for its input.
TEST_F(DelListTest, CommentedHeaderIsNoHeader) {
  const CutListOutcome out = read_text("#0 * 999\n", DelList);
  EXPECT_EQ(out.read, CutListRead::Empty);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, zero_summary());
}

TEST_F(DelListTest, EmptyFileIsEmpty) {
  const CutListOutcome out = read_text("", DelList);
  EXPECT_EQ(out.read, CutListRead::Empty);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, zero_summary());
}

struct BadHeaderCase {
  const char* list;
  const char* message;
};

class DelListBadHeaderTest : public test::CutListTest,
                             public ::testing::WithParamInterface<BadHeaderCase> {};

TEST_P(DelListBadHeaderTest, HeaderValueMinusOneFails) {
  const CutListOutcome out = read_text(GetParam().list, DelList);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, std::string(GetParam().message) + zero_summary());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DelListBadHeaderTest,
    ::testing::Values(
        BadHeaderCase{"-1 * 999\n100 - 199\n",
                      "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
        BadHeaderCase{"0 * -1\n100 - 199\n",
                      "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
        BadHeaderCase{"-1*-1\n",
                      "no cuts could be read from <memory> (1 lines, first: line 1)\n"}));

TEST_F(DelListTest, DefaultChannelsPrintNoTraces) {
  log_.level = LogLevel::Info;
  const CutListOutcome out = read_text("0 * 999\n100 - 199\n500\n", DelList);
  EXPECT_EQ(out.map, kDelMap);
  EXPECT_EQ(out.log, " [del]\n" + summary_text(899, "00:00:29.996", 101, "00:00:03.370"));
}

TEST_F(DelListTest, LastFrameNearTheIntLimitWrapsAround) {
  const CutListOutcome out = read_text("0 * 2147483647\n", DelList);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -2147483647 - 1, -1, -1}));
  // The kept count wraps to INT_MIN; its time saturates there.
  EXPECT_EQ(out.log,
            " [del]\n"
            "\t list:\ts=0\te=2147483647\n"
            "\n" +
                summary_text(-2147483647 - 1, "-56:-31:-23.-648", 0, "00:00:00.000"));
}

}  // namespace
}  // namespace mendra

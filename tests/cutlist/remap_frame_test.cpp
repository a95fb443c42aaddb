#include <gtest/gtest.h>

#include <vector>

#include "cutlist/cut_map.h"

namespace mendra {
namespace {

struct RemapCase {
  double position;
  double start;  // side +1
  double end;    // side -1
};

void expect_remaps(const CutMap& map, const std::vector<RemapCase>& cases) {
  for (const RemapCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "position " << c.position);
    EXPECT_DOUBLE_EQ(remap_frame(map, c.position, +1), c.start);
    EXPECT_DOUBLE_EQ(remap_frame(map, c.position, -1), c.end);
  }
}

// Kept ranges 100..199 and 300..399: 200 kept frames.
const CutMap kTwoRanges = {-1, 99, 200, 299, 400, -1, -1};

TEST(RemapFrameTest, TwoKeptRangesWorkedExample) {
  expect_remaps(kTwoRanges, {
                                {0, 0, -1},          // leading deleted interval [-1, 99]
                                {50, 0, -1},         // leading deleted interval
                                {99.5, -0.5, -0.5},  // kept stretch 99 < x < 200, fraction kept
                                {150, 50, 50},       // kept stretch
                                {199.5, 99.5, 99.5},
                                {200, 100, 99},    // first frame of [200, 299]
                                {250.5, 100, 99},  // inside [200, 299]
                                {299.5, 99.5, 99.5},
                                {350, 150, 150},
                                {400, -1, 200},  // beyond the last kept range
                            });
}

TEST(RemapFrameTest, BeyondLastRangeStartIsInvalidEndIsKeptLength) {
  expect_remaps(kTwoRanges, {{401, -1, 200}, {100000, -1, 200}, {1e12, -1, 200}});
}

TEST(RemapFrameTest, EndOnFirstDeletedFrameGoesOneFrameBeforeTheCut) {
  // Frame 200 is the first deleted frame: an end there maps to frame 199,
  // which is 99 on the cut axis, not to the cut point 100.
  EXPECT_DOUBLE_EQ(remap_frame(kTwoRanges, 200, -1), 99);
  EXPECT_DOUBLE_EQ(remap_frame(kTwoRanges, 299, -1), 99);
  EXPECT_DOUBLE_EQ(remap_frame(kTwoRanges, 299, +1), 100);
}

TEST(RemapFrameTest, IdentityMapKeepsEveryPosition) {
  CutMap map;
  make_identity_map(map);
  EXPECT_EQ(map, (CutMap{-1, -1, 2147483647, -1, -1}));
  for (double x : {0.0, 0.5, 1.0, 99.25, 123456.0, 2147483646.0, 2147483646.5}) {
    SCOPED_TRACE(::testing::Message() << "position " << x);
    EXPECT_DOUBLE_EQ(remap_frame(map, x, +1), x);
    EXPECT_DOUBLE_EQ(remap_frame(map, x, -1), x);
  }
}

TEST(RemapFrameTest, MapWithoutKeptRangesDropsEverySubtitle) {
  const CutMap map = {-1, -1, -1};
  expect_remaps(map, {{0, -1, 0}, {0.5, -1, 0}, {10, -1, 0}, {99999, -1, 0}});
}

TEST(RemapFrameTest, AdjacentRangesDeleteNothingBetweenThem) {
  // Kept 0..9 and 10..19: the pair (10, 9) is empty.
  const CutMap map = {-1, -1, 10, 9, 20, -1, -1};
  expect_remaps(map, {
                         {0, 0, 0},
                         {5, 5, 5},
                         {9, 9, 9},
                         {9.5, 9.5, 9.5},
                         {10, 10, 10},
                         {15.25, 15.25, 15.25},
                         {19.5, 19.5, 19.5},
                         {20, -1, 20},
                         {25, -1, 20},
                     });
}

TEST(RemapFrameTest, LeadingDeletedIntervalStartsAtZeroEndsAtMinusOne) {
  const CutMap map = {-1, 49, 100, -1, -1};  // kept 50..99
  expect_remaps(map, {{0, 0, -1}, {49, 0, -1}, {49.5, -0.5, -0.5}, {50, 0, 0}, {99, 49, 49}});
}

TEST(RemapFrameTest, FramesNearTheIntLimitsDoNotOverflow) {
  // The first pair (-1, INT_MIN) makes the running count -1 + (INT_MIN + 1) + 1,
  // computed with wrap-around; the kept stretch after it maps x to x - count.
  const CutMap map = {-1, -2147483647 - 1, 2147483647, -1, -1};
  EXPECT_DOUBLE_EQ(remap_frame(map, 5, +1), 5.0 + 2147483647.0);
  EXPECT_DOUBLE_EQ(remap_frame(map, 5, -1), 5.0 + 2147483647.0);
}

}  // namespace
}  // namespace mendra

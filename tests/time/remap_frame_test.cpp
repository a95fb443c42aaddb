#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/remap_scan.h"
#include "time/cut_map.h"

namespace mendra {
namespace {

using test::FramePosition;
using test::is_beyond_last_kept;
using test::ms_to_frames;
using test::remap_frame;

// The positions of these tables are multiples of a quarter frame, which a
// double holds exactly; they go in as quarters and come back over 4.
constexpr std::int64_t kQuarters = 4;

FramePosition at(double frames) {
  return FramePosition{std::llround(frames * kQuarters), kQuarters};
}

// The exact result, as a double, checked to keep the position's denominator.
double remapped(const CutMap& map, double frames, int side) {
  const FramePosition result = remap_frame(map, at(frames), side);
  EXPECT_EQ(result.den, kQuarters);
  return static_cast<double>(result.num) / static_cast<double>(result.den);
}

struct RemapCase {
  double position;
  double start;  // side +1
  double end;    // side -1
};

void expect_remaps(const CutMap& map, const std::vector<RemapCase>& cases) {
  for (const RemapCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "position " << c.position);
    EXPECT_EQ(remapped(map, c.position, +1), c.start);
    EXPECT_EQ(remapped(map, c.position, -1), c.end);
  }
}

// Kept ranges 100..199 and 300..399: 200 kept frames.
const CutMap kTwoRanges = {-1, 99, 200, 299, 400, -1, -1};

TEST(RemapFrameTest, TwoKeptRangesWorkedExample) {
  expect_remaps(kTwoRanges, {
                                // Leading deleted interval [-1, 99]: both sides
                                // go to the cut point, the start of the cut video.
                                {0, 0, 0},
                                {50, 0, 0},
                                {99.5, 0, 0},   // still in deleted frame 99
                                {150, 50, 50},  // kept stretch, fraction kept
                                {199.5, 99.5, 99.5},
                                // Deleted [200, 299]: cut point 100, where frame
                                // 199 ends and frame 300 begins.
                                {200, 100, 100},
                                {250.5, 100, 100},
                                {299.5, 100, 100},
                                {300, 100, 100},
                                {350, 150, 150},
                                {400, -1, 200},  // beyond the last kept range
                            });
}

TEST(RemapFrameTest, BeyondLastRangeStartIsInvalidEndIsKeptLength) {
  expect_remaps(kTwoRanges, {{401, -1, 200}, {100000, -1, 200}, {1e12, -1, 200}});
}

TEST(RemapFrameTest, EndInACutKeepsTheLastFrameBeforeIt) {
  // Frame 200 is the first deleted frame: an end there goes to the cut point
  // 100, the end of frame 199 (99 on the cut axis), so that frame stays
  // shown; the last fraction of frame 199 itself is kept material.
  EXPECT_EQ(remapped(kTwoRanges, 200, -1), 100);
  EXPECT_EQ(remapped(kTwoRanges, 299.75, -1), 100);
  EXPECT_EQ(remapped(kTwoRanges, 199.75, -1), 99.75);
  EXPECT_EQ(remapped(kTwoRanges, 299, +1), 100);
}

TEST(RemapFrameTest, IdentityMapKeepsEveryPosition) {
  CutMap map;
  make_identity_map(map);
  EXPECT_EQ(map, (CutMap{-1, -1, 2147483647, -1, -1}));
  for (double x : {0.0, 0.5, 1.0, 99.25, 123456.0, 2147483646.0, 2147483646.5}) {
    SCOPED_TRACE(::testing::Message() << "position " << x);
    EXPECT_EQ(remapped(map, x, +1), x);
    EXPECT_EQ(remapped(map, x, -1), x);
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

TEST(RemapFrameTest, LeadingDeletedIntervalGoesToTheStartOfTheCutVideo) {
  const CutMap map = {-1, 49, 100, -1, -1};  // kept 50..99
  expect_remaps(map, {{0, 0, 0}, {49, 0, 0}, {49.5, 0, 0}, {50, 0, 0}, {99.5, 49.5, 49.5}});
}

TEST(RemapFrameTest, FramesNearTheIntLimitsDoNotOverflow) {
  // The first pair (-1, INT_MIN) makes the running count -1 + (INT_MIN + 1) + 1,
  // computed with wrap-around; the kept stretch after it maps x to x - count.
  const CutMap map = {-1, -2147483647 - 1, 2147483647, -1, -1};
  EXPECT_EQ(remapped(map, 5, +1), 5.0 + 2147483647.0);
  EXPECT_EQ(remapped(map, 5, -1), 5.0 + 2147483647.0);
}

TEST(RemapFrameTest, TimePositionsAreComparedExactly) {
  // 3333 ms at 30000/1001 frames per second is 99.9000999... frames, just
  // before frame 100: it lies in deleted frame 99, so a start there moves to
  // the cut point, the start of the cut video.
  const FrameScale scale = frame_scale(fps_frame_rate(30));
  EXPECT_EQ(scale.frames, 30);
  EXPECT_EQ(scale.ms, 1001);
  const FramePosition before_first = ms_to_frames(3333, scale);
  const FramePosition start = remap_frame(kTwoRanges, before_first, +1);
  EXPECT_EQ(start.num, 0);
  EXPECT_EQ(start.den, 1001);
  EXPECT_FALSE(is_beyond_last_kept(start));
  // 3336.666... ms is frame 100 exactly; 3336 ms lies before it, 3337 after.
  EXPECT_EQ(remap_frame(kTwoRanges, ms_to_frames(3337, scale), +1).num, 3337 * 30 - 100 * 1001);
  EXPECT_EQ(remap_frame(kTwoRanges, FramePosition{100 * 1001, 1001}, -1).num, 0);
  // Exactly on the last kept frame's end boundary (frame 400) a start is
  // beyond, one unit of 1/1001 frame earlier it is not.
  EXPECT_TRUE(is_beyond_last_kept(remap_frame(kTwoRanges, FramePosition{400 * 1001, 1001}, +1)));
  const FramePosition last = remap_frame(kTwoRanges, FramePosition{400 * 1001 - 1, 1001}, +1);
  EXPECT_EQ(last.num, 200 * 1001 - 1);
  EXPECT_FALSE(is_beyond_last_kept(last));
}

}  // namespace
}  // namespace mendra

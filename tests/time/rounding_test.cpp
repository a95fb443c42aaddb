// The last step of the pipeline: a time written at the output's precision on
// the same side of every frame start as the exact time.
#include "time/rounding.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mendra {
namespace {

constexpr TimePrecision kMs = TimePrecision::Milliseconds;
constexpr TimePrecision kCs = TimePrecision::Centiseconds;

// Times in thirtieths of a millisecond (the ticks of 29.97 fps, whose frames
// are 1001 ticks long): frame 913 starts at 913 * 1001 = 913913 ticks,
// 30463.77 ms.
struct RoundingCase {
  const char* name;
  std::int64_t time, below, above;
  bool has_below;
  TimePrecision precision;
  bool at_cut;
  int expected;  // in ms or cs
};

TEST(RoundingTest, KeepsTheSideOfEveryFrameStart) {
  constexpr std::int64_t kFrame = 1001;
  constexpr std::int64_t kFar = std::int64_t{1} << 40;
  const RoundingCase cases[] = {
      // The usual values where they keep the frames: truncated ms, nearest cs.
      {"ms truncated", 150007, 0, kFar, true, kMs, false, 5000},
      {"cs half up", 150150, 0, kFar, true, kCs, false, 501},
      {"cs below the half", 150149, 0, kFar, true, kCs, false, 500},
      // 0.23 ms into frame 464 of a cut video (15482.37 ms, the frame from
      // 15482.13): truncated, 15482 would end a frame early.
      {"ms just after a frame start", 464 * kFrame + 7, 464 * kFrame, 465 * kFrame, true, kMs,
       false, 15483},
      // 1267 ms with the next frame from 1269.0 ms: 1.27 would show it.
      {"cs rounding past the next frame", 1267 * 30, 1235 * 30, 1269 * 30, true, kCs, false, 126},
      // A cut point is a frame start: written rounded down in both.
      {"cut point ms", 100 * kFrame, 99 * kFrame, 100 * kFrame, true, kMs, true, 3336},
      {"cut point cs", 100 * kFrame, 99 * kFrame, 100 * kFrame, true, kCs, true, 333},
      // Frames of 3 ms (333 fps): no centisecond lies in the interval, the
      // usual value stays, rounded down at a cut point.
      {"no cs in a short frame", 1004 * 30, 1002 * 30, 1005 * 30, true, kCs, false, 100},
      {"no cs in a short frame at a cut", 1005 * 30, 1002 * 30, 1005 * 30, true, kCs, true, 100},
      {"no ms in a short frame", 30 * 5 + 10, 30 * 5 + 5, 30 * 5 + 20, true, kMs, false, 5},
      // The first frame of a video has no frame before it.
      {"start of the video", 5, 0, kFrame, false, kCs, false, 0},
      // Before the start of the video every time is 0.
      {"negative", -4000, -5000, 0, true, kMs, false, 0},
      {"zero", 0, -kFrame, 0, true, kCs, true, 0},
      // Beyond the int range of milliseconds: its limit.
      {"past the int range", kFar * 30, 0, kFar * 31, true, kMs, false, 2147483647},
      {"past the int range cs", kFar * 30, 0, kFar * 31, true, kCs, false, 214748365},
  };
  for (const RoundingCase& c : cases) {
    const OutputTime<std::int64_t> time{c.time, c.below, c.above, c.has_below, 30};
    EXPECT_EQ(round_output_time(time, c.precision, c.at_cut), c.expected) << c.name;
    // The same arithmetic in 128 bits, as the steps after the cut use it.
    __extension__ using Wide = __int128;
    const OutputTime<Wide> wide{c.time, c.below, c.above, c.has_below, 30};
    EXPECT_EQ(round_output_time(wide, c.precision, c.at_cut), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace mendra

// The table of a timecode file's frame times gives back every time exactly,
// whatever the gaps between frames: offsets within a run, runs whose frames
// lie too far apart (from their start or from a frame in their middle),
// times going backwards, block boundaries and the ends of the range.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "time/frame_clock.h"

namespace mendra {
namespace {

constexpr std::int64_t kMs = 1000000;  // nanoseconds
constexpr std::int64_t kWidest = std::numeric_limits<std::uint32_t>::max();

// `frames` times from `first`, `step` apart, with `gap` added before every
// frame that `gap_every` divides (0: no gap).
std::vector<std::int64_t> steady(std::int64_t first, std::int64_t step, int frames,
                                 std::int64_t gap = 0, int gap_every = 0) {
  std::vector<std::int64_t> times;
  std::int64_t ns = first;
  for (int frame = 0; frame < frames; ++frame) {
    if (gap_every > 0 && frame > 0 && frame % gap_every == 0) ns += gap;
    times.push_back(ns);
    ns += step;
  }
  return times;
}

TEST(FrameTimesTest, GivesBackEveryTimeExactly) {
  const auto blocks = static_cast<int>(FrameTimes::kBlockFrames);
  const auto run = static_cast<int>(FrameTimes::kRunFrames);
  const struct {
    const char* name;
    std::vector<std::int64_t> times;
  } cases[] = {
      {"30000/1001 over three blocks", steady(0, 33366667, 2 * blocks + 77)},
      {"a run spanning exactly 32 bits", steady(5, kWidest / (run - 1), run + 3)},
      {"frames of two seconds: every run whole", steady(0, 2000 * kMs, 3 * run + 1)},
      {"a pause in the middle of runs", steady(0, 40 * kMs, 5 * run, 60000 * kMs, run + 7)},
      {"one past 32 bits at the last frame of a run",
       [&] {
         std::vector<std::int64_t> times = steady(0, 1, run);
         times.back() = kWidest + 1;
         times.push_back(kWidest + 2);
         return times;
       }()},
      {"times going backwards", {500 * kMs, 400 * kMs, 450 * kMs, 0, 10, 5, 7 * kMs}},
      {"the ends of the range",
       {-(std::int64_t{1} << 62), std::int64_t{1} << 62, std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min(), 0}},
      {"a wide run across a block's end", steady(0, 3000 * kMs, blocks + run)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FrameTimes table;
    for (const std::int64_t ns : c.times) table.push_back(ns);
    ASSERT_EQ(table.count, static_cast<std::int64_t>(c.times.size()));
    for (std::size_t frame = 0; frame < c.times.size(); ++frame) {
      ASSERT_EQ(table[static_cast<std::int64_t>(frame)], c.times[frame]) << "frame " << frame;
    }
  }
}

}  // namespace
}  // namespace mendra

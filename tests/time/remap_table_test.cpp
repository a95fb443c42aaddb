#include "time/remap_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "support/remap_scan.h"
#include "time/cut_map.h"

namespace mendra {
namespace {

// The table must give exactly what the front-to-back scan gives, for maps
// in order and out of it, at every frame near a value of the map.
constexpr std::int64_t kMaxProbe = 1000000;

void expect_same_as_scan(const CutMap& map, const std::vector<std::int64_t>& frames) {
  const FrameClock clock;
  const RemapTable table = make_remap_table(map, clock);
  for (const std::int64_t frame : frames) {
    const FrameRemap scanned = test::remap_source_frame(map, frame);
    const FrameRemap looked_up = remap_source_frame(table, frame);
    EXPECT_EQ(looked_up.kind, scanned.kind) << "frame " << frame << " ordered " << table.ordered;
    EXPECT_EQ(looked_up.shift, scanned.shift) << "frame " << frame;
    EXPECT_EQ(looked_up.cut_frame, scanned.cut_frame) << "frame " << frame;
    EXPECT_EQ(looked_up.pair, scanned.pair) << "frame " << frame;
    // A writer in frames finds the frame the cut put a time on through its
    // stretch, for any map, and by time alone (as it must once a delay
    // moved the time) for a map in order: the scan's frame either way.
    if (scanned.kind == FrameRemap::Kind::BeyondLastKept || frame < 0 || frame > kMaxProbe) {
      continue;
    }
    const CutTime at = cut_time(table, clock, frame_start(clock, frame), true);
    const std::int64_t found = cut_frame_in_pair(table, clock, at);
    EXPECT_EQ(frame_start(clock, found), at.time)
        << "frame " << frame << " map " << ::testing::PrintToString(map);
    if (table.ordered && table.cut_times_ordered) {
      const std::int64_t expected =
          scanned.kind == FrameRemap::Kind::Kept ? frame - scanned.shift : scanned.cut_frame;
      EXPECT_EQ(found, expected) << "frame " << frame << " map " << ::testing::PrintToString(map);
      EXPECT_EQ(cut_frame_at_or_after(table, clock, at.time), expected) << "frame " << frame;
    }
  }
}

// Two frames either side of every value of the map, the value itself, and
// frames far outside the int range.
std::vector<std::int64_t> probes_around(const CutMap& map) {
  constexpr std::int64_t kTrillion = 1000000000000;
  std::vector<std::int64_t> frames = {-3, -1, 0, 1, kTrillion, -kTrillion};
  for (const std::int32_t v : map) {
    for (std::int64_t delta = -2; delta <= 2; ++delta) frames.push_back(v + delta);
  }
  return frames;
}

TEST(RemapTableTest, HandWrittenMapsGiveTheScanResult) {
  const CutMap maps[] = {
      {-1, 99, 200, 299, 400, -1, -1},            // the usual map
      {-1, -1, 2147483647, -1, -1},               // identity
      {-1, -1, -1},                               // no kept range
      {-1, -1, 10, 9, 20, -1, -1},                // adjacent ranges
      {-1, 99, 1, 50, 400, -1, -1},               // ranges out of order
      {-1, 199, 100, 150, 300, -1, -1},           // overlapping ranges
      {-1, 99, 1, -1, -1},                        // a range backwards
      {-1, -2147483647 - 1, 2147483647, -1, -1},  // the int limits
      {-1, 99, 200},                              // cut short
      {},
  };
  for (const CutMap& map : maps) expect_same_as_scan(map, probes_around(map));
}

TEST(RemapTableTest, RandomMapsGiveTheScanResult) {
  std::mt19937 random(20261207);
  int ordered_maps = 0;
  for (int round = 0; round < 2000; ++round) {
    CutMap map = {-1};
    const int ranges = static_cast<int>(random() % 12);
    const bool in_order = random() % 2 == 0;
    std::int32_t frame = static_cast<std::int32_t>(random() % 5);
    for (int k = 0; k < ranges; ++k) {
      std::int32_t first, last;
      if (in_order) {
        first = frame + static_cast<std::int32_t>(random() % 4);  // 0: adjacent
        last = first + static_cast<std::int32_t>(random() % 6);
        frame = last + 1;
      } else {
        first = static_cast<std::int32_t>(random() % 60) - 5;
        last = static_cast<std::int32_t>(random() % 60) - 5;
      }
      map.push_back(first - 1);
      map.push_back(last + 1);
    }
    map.push_back(-1);
    map.push_back(-1);
    ordered_maps += make_remap_table(map, FrameClock{}).ordered ? 1 : 0;
    expect_same_as_scan(map, probes_around(map));
  }
  // Both paths of the table are exercised.
  EXPECT_GT(ordered_maps, 500);
  EXPECT_LT(ordered_maps, 2000);
}

}  // namespace
}  // namespace mendra

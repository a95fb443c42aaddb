#include "cutlist/remap_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "cutlist/cut_map.h"

namespace mendra {
namespace {

// The table must give exactly what the front-to-back scan gives, for maps
// in order and out of it, at whole frames, fractions and every boundary.
void expect_same_as_scan(const CutMap& map, const std::vector<FramePosition>& positions) {
  const RemapTable table = make_remap_table(map, FrameClock{});
  for (const FramePosition& x : positions) {
    for (int side : {1, -1}) {
      const FramePosition scanned = remap_frame(map, x, side);
      const FramePosition looked_up = remap_frame(table, x, side);
      EXPECT_EQ(looked_up.num, scanned.num)
          << "x " << x.num << "/" << x.den << " side " << side << " ordered " << table.ordered;
      EXPECT_EQ(looked_up.den, scanned.den);
    }
  }
}

// Around every value of the map: whole frames one away, half frames, the
// smallest step of a thousandth and of a time's 1/1001, and the value itself.
std::vector<FramePosition> probes_around(const CutMap& map) {
  constexpr std::int64_t kTrillion = 1000000000000;
  std::vector<FramePosition> positions = {{-3, 1}, {-3, 2}, {-1, 1},        {-1, 2},
                                          {0, 1},  {1, 4},  {kTrillion, 1}, {-kTrillion, 1}};
  for (std::int32_t v : map) {
    for (std::int64_t den : {1000, 1001}) {
      for (std::int64_t delta :
           {-den, -den / 2, std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, den / 2, den}) {
        positions.push_back(FramePosition{v * den + delta, den});
      }
    }
    // A denominator beyond 32 bits, whose products with a frame number may
    // exceed 64 bits, where the map's values (and so its results) are small
    // enough to be written over it.
    constexpr std::int64_t kWideDen = (std::int64_t{1} << 40) + 1;
    constexpr std::int32_t kSmall = 1 << 20;
    if (std::ranges::all_of(map, [](std::int32_t w) { return w > -kSmall && w < kSmall; })) {
      for (std::int64_t delta : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}}) {
        positions.push_back(FramePosition{v * kWideDen + delta, kWideDen});
      }
    }
  }
  return positions;
}

TEST(RemapTableTest, HandWrittenMapsGiveTheScanResult) {
  const CutMap maps[] = {
      {-1, 99, 200, 299, 400, -1, -1},            // the usual map
      {-1, -1, 2147483647, -1, -1},               // identity
      {-1, -1, -1},                               // no kept range
      {-1, -1, 10, 9, 20, -1, -1},                // adjacent ranges
      {-1, 99, 1, 50, 400, -1, -1},               // ranges out of order
      {-1, 199, 100, 150, 300, -1, -1},           // overlapping ranges
      {-1, 99, 1, -1, -1},                        // Trim(100,0): a range backwards
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

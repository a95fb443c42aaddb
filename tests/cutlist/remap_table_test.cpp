#include "cutlist/remap_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "cutlist/cut_map.h"

namespace mendra {
namespace {

// The table must give exactly what the front-to-back scan gives, for maps
// in order and out of it, at whole frames, fractions and every boundary.
void expect_same_as_scan(const CutMap& map, const std::vector<double>& positions) {
  const RemapTable table = make_remap_table(map);
  for (double x : positions) {
    for (int side : {1, -1}) {
      const double scanned = remap_frame(map, x, side);
      const double looked_up = remap_frame(table, x, side);
      if (std::isnan(scanned)) {
        EXPECT_TRUE(std::isnan(looked_up));
      } else {
        EXPECT_EQ(looked_up, scanned)
            << "x " << x << " side " << side << " ordered " << table.ordered;
      }
    }
  }
}

std::vector<double> probes_around(const CutMap& map) {
  std::vector<double> positions = {
      -3, -1.5, -1, -0.5, 0, 0.25, 1e12, -1e12, std::numeric_limits<double>::quiet_NaN()};
  for (std::int32_t v : map) {
    for (double delta : {-1.0, -0.5, -0.001, 0.0, 0.001, 0.5, 1.0}) {
      positions.push_back(static_cast<double>(v) + delta);
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
    ordered_maps += make_remap_table(map).ordered ? 1 : 0;
    expect_same_as_scan(map, probes_around(map));
  }
  // Both paths of the table are exercised.
  EXPECT_GT(ordered_maps, 500);
  EXPECT_LT(ordered_maps, 2000);
}

}  // namespace
}  // namespace mendra

// The one arithmetic behind every cut-list reader: map values and summary
// counts, wrapping around in 32 bits for frame numbers near the int limits.
#include "cutlist/cut_map_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace mendra {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

enum class Op { Kept, Open, Deleted, Close };

struct Step {
  Op op;
  std::int32_t a;
  std::int32_t b = 0;
};

struct BuilderCase {
  const char* name;
  std::vector<Step> steps;
  CutMap map;
  std::int32_t kept_frames;
  std::int32_t cut_frames;
};

void PrintTo(const BuilderCase& c, std::ostream* os) {
  *os << c.name;
}

class CutMapBuilderTest : public ::testing::TestWithParam<BuilderCase> {};

TEST_P(CutMapBuilderTest, MapAndCounters) {
  const BuilderCase& c = GetParam();
  CutMapBuilder builder;
  for (const Step& step : c.steps) {
    switch (step.op) {
      case Op::Kept:
        builder.add_kept(step.a, step.b);
        break;
      case Op::Open:
        builder.open_kept(step.a);
        break;
      case Op::Deleted:
        builder.add_deleted(step.a, step.b);
        break;
      case Op::Close:
        builder.close_kept(step.a);
        break;
    }
  }
  CutMap map = {123};  // finish replaces whatever was there
  builder.finish(map);
  EXPECT_EQ(map, c.map);
  EXPECT_EQ(builder.counters().kept_frames, c.kept_frames);
  EXPECT_EQ(builder.counters().cut_frames, c.cut_frames);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CutMapBuilderTest,
    ::testing::Values(
        BuilderCase{"Nothing", {}, {-1, -1, -1}, 0, 0},
        // Frames 0-99 and 200-249 kept: 100 + 50 kept, 100-199 cut.
        BuilderCase{"TwoKept",
                    {{Op::Kept, 0, 99}, {Op::Kept, 200, 249}},
                    {-1, -1, 100, 199, 250, -1, -1},
                    150,
                    100},
        // A range given backwards counts negative frames.
        BuilderCase{"Backwards", {{Op::Kept, 100, 0}}, {-1, 99, 1, -1, -1}, -99, 100},
        // The frame after INT_MAX wraps to INT_MIN; all of 0 to INT_MAX - 1 is cut.
        BuilderCase{
            "LastFrameInt", {{Op::Kept, kMax, kMax}}, {-1, kMax - 1, kMin, -1, -1}, 1, kMax},
        // 2^32 frames wrap to 0 kept; the frame before INT_MIN wraps to INT_MAX.
        BuilderCase{"WholeIntRange", {{Op::Kept, kMin, kMax}}, {-1, kMax, kMin, -1, -1}, 0, kMin},
        // Deleted ranges append exactly their own ends.
        BuilderCase{
            "Deleted",
            {{Op::Open, 0}, {Op::Deleted, 100, 199}, {Op::Deleted, 500, 500}, {Op::Close, 999}},
            {-1, -1, 100, 199, 500, 500, 1000, -1, -1},
            899,
            101},
        BuilderCase{
            "NoDeleted", {{Op::Open, 0}, {Op::Close, kMax}}, {-1, -1, kMin, -1, -1}, kMin, 0},
        // 10 frames before the start and frame INT_MAX cut; the last frame 5
        // lies "before" the deleted one, so kept = 6 - 11.
        BuilderCase{"DeletedAtIntMax",
                    {{Op::Open, 10}, {Op::Deleted, kMax, kMax}, {Op::Close, 5}},
                    {-1, 9, kMax, kMax, 6, -1, -1},
                    -5,
                    11}));

}  // namespace
}  // namespace mendra

// The steps after the cut: the values -fps-change and -sync take, and the
// exact map they make together with the delays.
#include "time/time_steps.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "time/pipeline.h"

namespace mendra {
namespace {

TEST(SpeedStepTest, ReadsTwoRatesAsRateTakesThem) {
  const struct {
    const char* text;
    bool ok;
    FrameRate from, to;
  } cases[] = {
      {"23.976:25", true, {24000, 1001}, {25, 1}},
      {"25:24000/1001", true, {25, 1}, {24000, 1001}},
      {"30000/1001:30000/1001", true, {30000, 1001}, {30000, 1001}},
      {"25", false, {}, {}},
      {"25:", false, {}, {}},
      {":25", false, {}, {}},
      {"25:0", false, {}, {}},
      {"25:25:25", false, {}, {}},
      {"25 : 24", false, {}, {}},
      {"23.976-25", false, {}, {}},
  };
  for (const auto& c : cases) {
    SpeedStep step{{7, 1}, {7, 1}};
    EXPECT_EQ(parse_speed_step(c.text, step), c.ok) << c.text;
    const FrameRate from = c.ok ? c.from : FrameRate{7, 1};
    const FrameRate to = c.ok ? c.to : FrameRate{7, 1};
    EXPECT_EQ(step.from.num, from.num) << c.text;
    EXPECT_EQ(step.from.den, from.den) << c.text;
    EXPECT_EQ(step.to.num, to.num) << c.text;
    EXPECT_EQ(step.to.den, to.den) << c.text;
  }
}

TEST(SyncStepTest, ReadsOneOrTwoPointsInOrder) {
  const struct {
    const char* text;
    SyncError error;
    int points;
    std::int64_t a, b, c, d;
  } cases[] = {
      {"1:00=1:00.5", SyncError::None, 1, 60000, 60500, 0, 0},
      {"90.25=90", SyncError::None, 1, 90250, 90000, 0, 0},
      {"1:00=1:00.5,1:00:00=1:00:02.5", SyncError::None, 2, 60000, 60500, 3600000, 3602500},
      {"0=0.001,2=3", SyncError::None, 2, 0, 1, 2000, 3000},
      {"1:00", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"1:00=", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"=1:00", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"1.2345=1", SyncError::NotPoints, 0, 0, 0, 0, 0},  // finer than a millisecond
      {"-1=1", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"1:2:3:4=1", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"1=2,3=4,5=6", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"1=2,", SyncError::NotPoints, 0, 0, 0, 0, 0},
      {"999:00:00=1", SyncError::NotPoints, 0, 0, 0, 0, 0},   // past the int range of ms
      {"10=20,10=30", SyncError::OutOfOrder, 0, 0, 0, 0, 0},  // equal
      {"10=20,30=20", SyncError::OutOfOrder, 0, 0, 0, 0, 0},
      {"1:00=2:00,0:30=0:40", SyncError::OutOfOrder, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SyncStep step;
    EXPECT_EQ(parse_sync_step(c.text, step), c.error) << c.text;
    EXPECT_EQ(step.points, c.points) << c.text;
    if (c.points == 0) continue;
    EXPECT_EQ(step.first.from.count, c.a) << c.text;
    EXPECT_EQ(step.first.to.count, c.b) << c.text;
    if (c.points < 2) continue;
    EXPECT_EQ(step.second.from.count, c.c) << c.text;
    EXPECT_EQ(step.second.to.count, c.d) << c.text;
  }
}

// Through a map that keeps everything, the sync points land exactly where
// they were asked to, whatever the clock and the change of speed before
// them; and a change of speed alone multiplies exactly.
TEST(AfterCutTest, SyncPointsLandExactlyAndSpeedMultipliesExactly) {
  std::mt19937 random(22);
  CutMap identity;
  make_identity_map(identity);
  // Rates whose frames within the int range (the identity map's) last the
  // two hours of the times below.
  const FrameRate rates[] = {{30000, 1001}, {25, 1}, {24000, 1001}, {1000, 1}, {1, 7}};
  int checked = 0;
  for (const FrameRate rate : rates) {
    for (int round = 0; round < 200; ++round) {
      Timing timing;
      timing.clock = constant_clock(rate);
      timing.delay_ms = static_cast<int>(random() % 5000);
      const std::int64_t a = random() % 3600000;
      const std::int64_t c = a + 1 + random() % 3600000;
      const std::int64_t b = random() % 3600000;
      const std::int64_t d = b + 1 + random() % 3600000;
      timing.sync.points = 2;
      timing.sync.first = SyncPoint{Milliseconds{a}, Milliseconds{b}};
      timing.sync.second = SyncPoint{Milliseconds{c}, Milliseconds{d}};
      if (round % 2 == 1) timing.speed = SpeedStep{{25, 1}, {24000, 1001}};
      const TimePipeline pipeline = make_time_pipeline(identity, timing);
      // The input time that the delay and the speed take to A: whole
      // milliseconds only without the speed change.
      if (round % 2 == 0) {
        for (const auto& [in, out] : {std::pair{a, b}, std::pair{c, d}}) {
          const std::int64_t input = in - timing.delay_ms;
          if (input < 0) continue;
          const CutTime time = map_time(pipeline, Milliseconds{input}, true);
          ASSERT_TRUE(time.placed) << in;
          ASSERT_EQ(written_time(pipeline, time, TimePrecision::Milliseconds), out)
              << in << " at " << rate.num << "/" << rate.den;
          ++checked;
        }
        continue;
      }
      // (t + delay) * 25 / (24000/1001) for t such that it is whole.
      const std::int64_t t = 24000 * (1 + random() % 100) - timing.delay_ms;
      if (t < 0) continue;
      Timing speed_only = timing;
      speed_only.sync = SyncStep{};
      const TimePipeline speed = make_time_pipeline(identity, speed_only);
      const std::int64_t expected = (t + timing.delay_ms) / 24000 * 25025;
      ASSERT_EQ(
          written_time(speed, map_time(speed, Milliseconds{t}, true), TimePrecision::Milliseconds),
          expected)
          << t;
      ++checked;
    }
  }
  EXPECT_GT(checked, 800);
}

}  // namespace
}  // namespace mendra

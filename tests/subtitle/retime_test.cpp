#include "subtitle/retime.h"
#include "cutlist/cut_timecodes.h"
#include "subtitle/time_text.h"
#include "support/run_binary.h"
#include "time/frame_clock.h"
#include "time/rounding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

namespace mendra {
namespace {

const CutMap kExampleMap = {-1, 99, 200, 299, 400, -1, -1};  // keeps 100..199, 300..399
// A cut list that deletes nothing: frames 0..99999 kept (about 55 minutes).
const CutMap kKeepAllMap = {-1, -1, 100000, -1, -1};
constexpr int kIntMax = 2147483647;

CutMap identity_map() {
  CutMap map;
  make_identity_map(map);
  return map;
}

Timing timing_of(const FrameClock& clock, int delay_ms = 0, int ts_delay_ms = 0) {
  Timing timing;
  timing.clock = clock;
  timing.delay_ms = delay_ms;
  timing.ts_delay_ms = ts_delay_ms;
  return timing;
}

// A subtitle through the pipeline of the map and the timing, written to the
// millisecond; -1 for the times of a start beyond the last kept frame.
struct Mapped {
  bool kept = false;
  int start_ms = -1;
  int end_ms = -1;
  bool start_at_cut = false;
  bool end_at_cut = false;
};

Mapped retime(const CutMap& map, const Timing& timing, int start_ms, int end_ms) {
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  RetimedSpan span;
  Mapped mapped;
  mapped.kept = retime_span(pipeline, start_ms, end_ms, span);
  if (!span.start.placed) return mapped;
  mapped.start_ms = span.start_ms;
  mapped.end_ms = span.end_ms;
  mapped.start_at_cut = span.start.at_cut;
  mapped.end_at_cut = span.end.at_cut;
  return mapped;
}

struct ClockCase {
  int ms;
  int hours, minutes, seconds, fraction;
};

void PrintTo(const ClockCase& c, std::ostream* os) {
  *os << c.ms << " ms";
}

class AssClockTest : public ::testing::TestWithParam<ClockCase> {};
class SrtClockTest : public ::testing::TestWithParam<ClockCase> {};

void expect_fields(const TimeFields& got, const ClockCase& c) {
  EXPECT_EQ(got.hours, c.hours) << c.ms;
  EXPECT_EQ(got.minutes, c.minutes) << c.ms;
  EXPECT_EQ(got.seconds, c.seconds) << c.ms;
  EXPECT_EQ(got.fraction, c.fraction) << c.ms;
}

// Hours are written in full: a file of more than 60 hours keeps its order.
// A time of whole milliseconds whose frame starts lie far away rounds to
// the nearest centisecond.
TEST_P(AssClockTest, RoundsToCentisecondsAndKeepsEveryHour) {
  constexpr std::int64_t kFar = std::int64_t{1} << 40;
  const OutputTime<std::int64_t> time{GetParam().ms, -kFar, kFar, true, 1};
  expect_fields(centisecond_fields(round_output_time(time, TimePrecision::Centiseconds, false)),
                GetParam());
}
TEST_P(SrtClockTest, KeepsMillisecondsAndEveryHour) {
  expect_fields(millisecond_fields(GetParam().ms), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssClockTest,
    ::testing::Values(ClockCase{0, 0, 0, 0, 0}, ClockCase{4, 0, 0, 0, 0}, ClockCase{5, 0, 0, 0, 1},
                      ClockCase{658, 0, 0, 0, 66}, ClockCase{663, 0, 0, 0, 66},
                      ClockCase{1995, 0, 0, 2, 0}, ClockCase{59995, 0, 1, 0, 0},
                      ClockCase{3599995, 1, 0, 0, 0}, ClockCase{216000000, 60, 0, 0, 0},
                      ClockCase{219661504, 61, 1, 1, 50}, ClockCase{kIntMax, 596, 31, 23, 65},
                      ClockCase{-20, 0, 0, 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    Cases, SrtClockTest,
    ::testing::Values(ClockCase{0, 0, 0, 0, 0}, ClockCase{1663, 0, 0, 1, 663},
                      ClockCase{1995, 0, 0, 1, 995}, ClockCase{59999, 0, 0, 59, 999},
                      ClockCase{3600000, 1, 0, 0, 0}, ClockCase{216000000, 60, 0, 0, 0},
                      ClockCase{219661001, 61, 1, 1, 1}, ClockCase{kIntMax, 596, 31, 23, 647}));

TEST(ClockTimeTest, ConvertsFieldsToMilliseconds) {
  EXPECT_EQ(ass_time_ms(1, 2, 3, 4), 3723040);
  EXPECT_EQ(ass_time_ms(0, 0, 5, 0), 5000);
  EXPECT_EQ(srt_time_ms(1, 2, 3, 4), 3723004);
  EXPECT_EQ(srt_time_ms(0, 0, 1, 5), 1005);
  // Absurd hour counts wrap at 32 bits (and do not trap under the sanitizers).
  const std::int64_t hours = 999999999;
  EXPECT_EQ(ass_time_ms(999999999, 0, 0, 0),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(hours * 3600 * 1000)));
  EXPECT_EQ(srt_time_ms(999999999, 59, 59, 999),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(hours * 3600000 + 3599999)));
}

enum class SpanMap { Example, Identity, KeepAll };

const CutMap& span_map(SpanMap which) {
  static const CutMap identity = identity_map();
  switch (which) {
    case SpanMap::Identity:
      return identity;
    case SpanMap::KeepAll:
      return kKeepAllMap;
    case SpanMap::Example:
      break;
  }
  return kExampleMap;
}

struct SpanCase {
  const char* name;
  SpanMap map;
  int fps, ts_delay_ms, delay_ms;
  int start_in, end_in;
  int start_out, end_out;
  bool kept;
};

void PrintTo(const SpanCase& c, std::ostream* os) {
  *os << c.name;
}

class RetimeSpanTest : public ::testing::TestWithParam<SpanCase> {};

TEST_P(RetimeSpanTest, MapsThroughCutsAndDelays) {
  const SpanCase& c = GetParam();
  const Mapped mapped = retime(
      span_map(c.map), timing_of(constant_clock(fps_frame_rate(c.fps)), c.delay_ms, c.ts_delay_ms),
      c.start_in, c.end_in);
  EXPECT_EQ(mapped.kept, c.kept);
  EXPECT_EQ(mapped.start_ms, c.start_out);
  EXPECT_EQ(mapped.end_ms, c.end_out);
}

constexpr SpanMap Ex = SpanMap::Example;
constexpr SpanMap Id = SpanMap::Identity;
constexpr SpanMap All = SpanMap::KeepAll;

INSTANTIATE_TEST_SUITE_P(
    Cases, RetimeSpanTest,
    ::testing::Values(
        SpanCase{"EndInDeletedMaterial", Ex, 30, 0, 0, 5000, 8000, 1663, 3336, true},
        SpanCase{"StartInLeadingCut", Ex, 30, 0, 0, 3000, 6000, 0, 2663, true},
        SpanCase{"EndBeyondLastKept", Ex, 30, 0, 0, 12000, 14000, 5326, 6673, true},
        SpanCase{"WhollyDeleted", Ex, 30, 0, 0, 7000, 9000, 3336, 3336, false},
        SpanCase{"StartBeyondLastKept", Ex, 30, 0, 0, 14000, 15000, -1, -1, false},
        // A start beyond the last kept frame stays outside the cut video
        // whatever the measured delay.
        SpanCase{"TsDelayDoesNotReviveBeyondLastKept", Ex, 30, 33, 0, 14000, 15000, -1, -1, false},
        SpanCase{"LargeTsDelayDoesNotReviveBeyondLastKept", Ex, 30, 500, 0, 14000, 15000, -1, -1,
                 false},
        // A negative measured delay clamps like the same user delay.
        SpanCase{"NegativeTsDelayClamps", Ex, 30, -2000, 0, 5000, 8000, 0, 1336, true},
        SpanCase{"NegativeDelayClamps", Ex, 30, 0, -2000, 5000, 8000, 0, 1336, true},
        SpanCase{"NegativeTsDelayKeepsEarlyCue", Id, 30, -733, 0, 500, 3000, 0, 2267, true},
        SpanCase{"NegativeDelayKeepsEarlyCue", Id, 30, 0, -733, 500, 3000, 0, 2267, true},
        SpanCase{"NegativeTsDelayDropsWhatEndsBeforeZero", Id, 30, -733, 0, 100, 700, 0, 0, false},
        // A start in the last fraction of the frame before the first kept
        // frame lies in that deleted frame: it moves to the cut point, the
        // start of the cut video, and the delays then move it as any time.
        SpanCase{"StartJustBeforeFirstKept", Ex, 30, 0, 0, 3320, 6000, 0, 2663, true},
        SpanCase{"StartJustBeforeFirstKeptDelay", Ex, 30, 0, 100, 3320, 6000, 100, 2763, true},
        SpanCase{"StartJustBeforeFirstKeptTsDelay", Ex, 30, 100, 0, 3310, 6000, 100, 2763, true},
        SpanCase{"StartJustBeforeFirstKeptSmallTsDelay", Ex, 30, 10, 0, 3310, 6000, 10, 2673, true},
        SpanCase{"StartJustBeforeFirstKeptNegativeTsDelay", Ex, 30, -100, 0, 3330, 6000, 0, 2563,
                 true},
        // Times come back exactly through a map that keeps them.
        SpanCase{"IdentityKeeps17", Id, 30, 0, 0, 17, 1074, 17, 1074, true},
        SpanCase{"IdentityKeeps1000", Id, 30, 0, 0, 1000, 2000, 1000, 2000, true},
        SpanCase{"IdentityDelayKeepsMs", Id, 30, 0, 1000, 274175, 1109751, 275175, 1110751, true},
        SpanCase{"KeepAllKeepsMs", All, 30, 0, 0, 274175, 1109751, 274175, 1109751, true},
        SpanCase{"KeepAllDelayKeepsMs", All, 30, 0, 1000, 274175, 1109751, 275175, 1110751, true},
        SpanCase{"DelayClampsStart", Id, 30, 0, -500, 200, 900, 0, 400, true},
        SpanCase{"DelayClampsBoth", Id, 30, 0, -500, 100, 400, 0, 0, false},
        // A huge end plus a delay stays at the int limit instead of wrapping
        // to a negative time that would drop the subtitle.
        SpanCase{"DelaySaturates", Id, 30, 0, 1000, 1000, 2147483000, 2000, kIntMax, true},
        SpanCase{"TsDelaySaturates", Id, 30, kIntMax, 0, 1000, 2000, kIntMax, kIntMax, false},
        // fps below 1 never reaches a division; it counts as the default 30.
        SpanCase{"ZeroFpsAsDefault", Ex, 0, 0, 0, 5000, 8000, 1663, 3336, true},
        SpanCase{"Fps24", Ex, 24, 0, 0, 5000, 8000, 829, 3829, true}),
    [](const ::testing::TestParamInfo<SpanCase>& test_info) { return test_info.param.name; });

// Every millisecond of a few stretches, at several rates, comes back as
// itself through a map that keeps it; the ms -> frames -> ms trip in binary
// fractions came back 1 ms short for about one time in a hundred.
TEST(RetimeSpanTest, KeptTimesComeBackExactly) {
  int checked = 0;
  for (int fps : {1, 24, 25, 30, 50, 60, 120, 1001, 100000}) {
    const Timing settings = timing_of(constant_clock(fps_frame_rate(fps)));
    const TimePipeline identity = make_time_pipeline(identity_map(), settings);
    const TimePipeline keep_all = make_time_pipeline(kKeepAllMap, settings);
    for (int first : {0, 274000, 3000000}) {
      for (int ms = first; ms < first + 3000; ++ms) {
        RetimedSpan span;
        ASSERT_TRUE(retime_span(identity, ms, ms + 1, span)) << fps << " fps " << ms;
        ASSERT_EQ(span.start_ms, ms) << fps << " fps";
        ASSERT_EQ(span.end_ms, ms + 1) << fps << " fps";
        // The keep-all map ends at frame 99999: a later time is beyond it.
        const bool inside = static_cast<std::int64_t>(ms + 1) * fps < 99999LL * 1001;
        if (!inside) continue;
        ASSERT_TRUE(retime_span(keep_all, ms, ms + 1, span)) << fps << " fps " << ms;
        ASSERT_EQ(span.start_ms, ms) << fps << " fps";
        ASSERT_EQ(span.end_ms, ms + 1) << fps << " fps";
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 30000);
}

// One time mapped as a start: forward out of deleted material, then the
// delays and the clamp to 0; beyond the last kept frame it has no place.
TEST(RetimeStartTest, MapsOneTimeAsAStart) {
  struct Case {
    int ms;
    int delay_ms;
    bool placed;
    int expected_ms;  // when placed
  };
  for (const Case& c :
       {Case{5500, 0, true, 2163}, Case{7500, 0, true, 3336}, Case{3000, 0, true, 0},
        Case{5500, -1500, true, 663}, Case{5500, -3000, true, 0}, Case{15000, 0, false, 0}}) {
    const Timing settings = timing_of(FrameClock{}, c.delay_ms);
    const TimePipeline pipeline = make_time_pipeline(kExampleMap, settings);
    int retimed_ms = -1;
    EXPECT_EQ(retime_start(pipeline, c.ms, retimed_ms), c.placed) << c.ms;
    if (c.placed) {
      EXPECT_EQ(retimed_ms, c.expected_ms) << c.ms << " delay " << c.delay_ms;
    }
  }
}

// The frame-exact rule: a time belongs to the frame shown at it, and a time
// in a deleted frame, start or end, moves to the cut point, marked so that
// a coarser writer rounds it down. At 30000/1001 fps the edit-decision line
// "5.00 10.00 0" deletes frames 150 to 299 (kept 0..149 and 300 on); the
// cut point is frame 150 of the cut video, 150 x 1001 / 30 = 5005 ms.
const CutMap kFiveToTenCut = {-1, -1, 150, 299, 2147483647, -1, -1};

TEST(RetimeSpanTest, TimesInDeletedFramesMoveToTheCutPoint) {
  struct Case {
    const char* name;
    const CutMap* map;
    int start_in, end_in;
    int start_out, end_out;
    bool start_at_cut, end_at_cut, kept;
  };
  const Case cases[] = {
      // 5004 ms is frame 149.97, the last kept frame: it stays as it is.
      {"end in the last kept frame", &kFiveToTenCut, 1000, 5004, 1000, 5004, false, false, true},
      // 5005 ms is frame 150 exactly, the first deleted one.
      {"end on the first deleted frame", &kFiveToTenCut, 1000, 5005, 1000, 5005, false, true, true},
      {"end inside the cut", &kFiveToTenCut, 1000, 7000, 1000, 5005, false, true, true},
      // 9976 ms is frame 298.98, 9977 ms frame 299.01: both deleted.
      {"start late in the cut", &kFiveToTenCut, 9976, 12000, 5005, 6995, true, false, true},
      {"start in the last deleted frame", &kFiveToTenCut, 9977, 12000, 5005, 6995, true, false,
       true},
      // 10010 ms is frame 300 exactly, the first kept frame after the cut.
      {"start on the first kept frame", &kFiveToTenCut, 10010, 12000, 5005, 6995, false, false,
       true},
      {"wholly inside the cut", &kFiveToTenCut, 6000, 9000, 5005, 5005, true, true, false},
      // The worked example: "Hello" 5.000-8.000 ends in the cut after frame
      // 199, at the cut point 100 x 1001 / 30 = 3336.67 ms.
      {"example end in the cut", &kExampleMap, 5000, 8000, 1663, 3336, false, true, true},
      {"example start in the leading cut", &kExampleMap, 3000, 6000, 0, 2663, true, false, true},
      // An end after the last kept frame ends with the cut video.
      {"example end after the last kept", &kExampleMap, 12000, 14000, 5326, 6673, false, true,
       true},
  };
  const Timing timing = timing_of(constant_clock(FrameRate{30000, 1001}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Mapped mapped = retime(*c.map, timing, c.start_in, c.end_in);
    EXPECT_EQ(mapped.kept, c.kept);
    EXPECT_EQ(mapped.start_ms, c.start_out);
    EXPECT_EQ(mapped.end_ms, c.end_out);
    if (c.kept) {
      EXPECT_EQ(mapped.start_at_cut, c.start_at_cut);
      EXPECT_EQ(mapped.end_at_cut, c.end_at_cut);
    }
  }
}

// A clock read from a timecode file: the file's text written to a fresh
// temporary folder.
FrameClock timecode_clock(const test::TempDir& dir, const std::string& text) {
  const std::string path = (dir.path / "times.txt").string();
  std::ofstream(path, std::ios::binary) << text;
  FrameClock clock;
  const Log quiet{nullptr, nullptr, LogLevel::Error};
  EXPECT_TRUE(read_timecode_file(path, quiet, clock));
  return clock;
}

// A v2 file written from the constant rate 30000/1001 (times to the
// nanosecond, so each within half a nanosecond of the exact one) re-times
// every millisecond exactly as the rate itself does, through cuts, the
// frame-exact cut points and the delays.
TEST(RetimeSpanTest, TimecodesOfAConstantRateRetimeAsTheRate) {
  constexpr int kFrames = 2000;  // 66.7 s
  const FrameClock rate = constant_clock(FrameRate{30000, 1001});
  std::string text = "# timestamp format v2\n";
  for (int frame = 0; frame < kFrames; ++frame) {
    text += timecode_ms_text(clock_time_ns(rate, frame_start(rate, frame)).count) + "\n";
  }
  const test::TempDir dir;
  const FrameClock file = timecode_clock(dir, text);
  ASSERT_EQ(file.timecodes, TimecodeFormat::V2);
  const CutMap* maps[] = {&kExampleMap, &kFiveToTenCut, &kKeepAllMap};
  struct Delays {
    int delay_ms, ts_delay_ms;
  };
  int compared = 0;
  for (const CutMap* map : maps) {
    for (const Delays delays : {Delays{0, 0}, Delays{-500, 0}, Delays{0, 1234}}) {
      const Timing by_rate = timing_of(rate, delays.delay_ms, delays.ts_delay_ms);
      const Timing by_file = timing_of(file, delays.delay_ms, delays.ts_delay_ms);
      const TimePipeline rate_pipeline = make_time_pipeline(*map, by_rate);
      const TimePipeline file_pipeline = make_time_pipeline(*map, by_file);
      for (int ms = 0; ms < 60000; ms += 7) {
        for (const int length : {1, 33, 700, 4000}) {
          RetimedSpan expected;
          RetimedSpan actual;
          const bool kept = retime_span(rate_pipeline, ms, ms + length, expected);
          ASSERT_EQ(retime_span(file_pipeline, ms, ms + length, actual), kept) << ms;
          if (!kept) continue;
          ASSERT_EQ(actual.start_ms, expected.start_ms) << ms << "+" << length;
          ASSERT_EQ(actual.end_ms, expected.end_ms) << ms << "+" << length;
          for (const TimePrecision precision :
               {TimePrecision::Milliseconds, TimePrecision::Centiseconds}) {
            ASSERT_EQ(written_time(file_pipeline, actual.start, precision),
                      written_time(rate_pipeline, expected.start, precision))
                << ms << "+" << length;
            ASSERT_EQ(written_time(file_pipeline, actual.end, precision),
                      written_time(rate_pipeline, expected.end, precision))
                << ms << "+" << length;
          }
          ASSERT_EQ(actual.start.at_cut, expected.start.at_cut) << ms << "+" << length;
          ASSERT_EQ(actual.end.at_cut, expected.end.at_cut) << ms << "+" << length;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 50000);
  EXPECT_FALSE(file.ran_past_end);
}

// A v1 file that mixes 23.976 fps (frames 0..239) and 29.97 fps (240 on),
// with kept ranges 0..99, 200..299 (across the change of rate) and
// 400..499. Frame n starts at n x 1000 / 23.976 ms up to frame 240
// (10010.01001 ms), then 33.3667 ms apart. The cut video runs 0..99 from
// 0 ms, 200..299 from 100 x 41.708375 = 4170.837504 ms, 400..499 from
// 4170.837504 + (T(300) = 12012.012012) - (T(200) = 8341.675008)
// = 7841.174508 ms, and ends at 7841.174508 + T(500) - T(400)
// = 7841.174508 + 18685.352019 - 15348.682015 = 11177.844511 ms.
TEST(RetimeSpanTest, TimecodesMixingRatesRetimeThroughCuts) {
  const test::TempDir dir;
  const FrameClock clock =
      timecode_clock(dir, "# timecode format v1\nassume 29.97\n0,239,23.976\n");
  const CutMap map = {-1, -1, 100, 199, 300, 399, 500, -1, -1};
  const Timing timing = timing_of(clock);
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  struct Case {
    int ms;
    bool start;  // mapped as a start, else as an end
    int out_ms;
    bool at_cut;
  };
  const Case cases[] = {
      {1000, true, 1000, false},    // frame 23, before any cut
      {4160, false, 4160, false},   // frame 99, the last kept before the cut
      {5000, false, 4170, true},    // frame 119, deleted: the cut point
      {9000, true, 4829, false},    // frame 215: 4170.837504 + 9000 - 8341.675008
      {11000, true, 6829, false},   // frame 269, after the change of rate, same run
      {12500, true, 7841, true},    // frame 314, deleted
      {13000, false, 7841, true},   // frame 329, deleted
      {16000, true, 8492, false},   // frame 419: 7841.174508 + 16000 - 15348.682015
      {19000, false, 11177, true},  // frame 509, after the last kept: the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ms);
    RetimedSpan span;
    if (c.start) {
      ASSERT_TRUE(retime_span(pipeline, c.ms, 30000, span));
      EXPECT_EQ(span.start_ms, c.out_ms);
      EXPECT_EQ(span.start.at_cut, c.at_cut);
    } else {
      ASSERT_TRUE(retime_span(pipeline, 0, c.ms, span));
      EXPECT_EQ(span.end_ms, c.out_ms);
      EXPECT_EQ(span.end.at_cut, c.at_cut);
    }
  }
  // A start after the last kept frame has no place in the cut video.
  int beyond = 0;
  EXPECT_FALSE(retime_start(pipeline, 19000, beyond));
}

TEST(RetimeSpanTest, MapWithoutKeptRangesDropsEverything) {
  const CutMap empty = {-1, -1, -1};
  const Timing settings;
  const TimePipeline pipeline = make_time_pipeline(empty, settings);
  RetimedSpan span;
  EXPECT_FALSE(retime_span(pipeline, 0, 1000, span));
  EXPECT_FALSE(retime_span(pipeline, 5000, 900000, span));
}

}  // namespace
}  // namespace mendra

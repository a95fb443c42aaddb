// The promise of the pipeline, checked on random cut lists, clocks, steps
// and cues: a cue covers in the output exactly the kept frames it covered in
// the source (a subtitle from s to e is on the frames whose start lies in
// [s, e)), at the precision of every format.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "subtitle/retime.h"
#include "time/pipeline.h"

namespace mendra {
namespace {

__extension__ using Wide = __int128;

constexpr int kFrames = 600;

struct Range {
  std::int64_t first, last;  // kept, inclusive
};

// Kept ranges in order, apart or touching, within the frames of the clock.
std::vector<Range> random_ranges(std::mt19937& random) {
  std::vector<Range> ranges;
  std::int64_t next = random() % 40;
  while (next < kFrames - 1) {
    const std::int64_t last = std::min<std::int64_t>(next + random() % 120, kFrames - 1);
    ranges.push_back({next, last});
    next = last + 1 + random() % 80;
  }
  return ranges;
}

CutMap map_of(const std::vector<Range>& ranges) {
  CutMap map = {-1};
  for (const Range& r : ranges) {
    map.push_back(static_cast<std::int32_t>(r.first - 1));
    map.push_back(static_cast<std::int32_t>(r.last + 1));
  }
  map.push_back(-1);
  map.push_back(-1);
  return map;
}

// A timecode file's clock: frames of 12 to 60 ms, in steps of 10 us, from a
// first time that need not be 0.
FrameClock random_timecodes(std::mt19937& random) {
  FrameClock clock;
  clock.timecodes = TimecodeFormat::V2;
  clock.timecode_path = "random.txt";
  std::int64_t ns = (random() % 3) * 500 * kNsPerMs;
  for (int frame = 0; frame < kFrames; ++frame) {
    clock.frame_ns.push_back(ns);
    ns += (1200 + random() % 4800) * 10000;
  }
  clock.frame_count = kFrames;
  return clock;
}

// The output time of a frame start of the cut video, `cut` ticks of the
// clock, as an exact fraction: the delays, then times FROM/TO, then the
// sync.
struct Exact {
  Wide num, den;
};
Exact output_time(const Timing& timing, std::int64_t cut) {
  const Wide per_ms = ticks_per_ms(timing.clock);
  const SpeedStep& speed = timing.speed;
  const Wide rn = Wide{speed.from.num} * speed.to.den;
  const Wide rd = Wide{speed.from.den} * speed.to.num;
  const Wide ticks = cut + Wide{timing.delay_ms + timing.ts_delay_ms} * per_ms;
  if (timing.sync.points == 0) return {ticks * rn, per_ms * rd};
  const SyncStep& sync = timing.sync;
  const Wide a = sync.first.from.count;
  const Wide b = sync.first.to.count;
  Wide sn = 1;
  Wide sd = 1;
  if (sync.points == 2) {
    sn = sync.second.to.count - b;
    sd = sync.second.from.count - a;
  }
  return {b * per_ms * rd * sd + (ticks * rn - a * per_ms * rd) * sn, per_ms * rd * sd};
}

// Whether the frame starting at `start` lies in [from, to), both in units
// of `unit` ms.
bool covers(const Exact& start, std::int64_t from, std::int64_t to, std::int64_t unit) {
  return Wide{from} * unit * start.den <= start.num && start.num < Wide{to} * unit * start.den;
}

TEST(FramesKeptTest, EveryCueKeepsExactlyItsKeptFrames) {
  std::mt19937 random(2024);
  const FrameRate rates[] = {{30000, 1001}, {24000, 1001}, {25, 1}, {60000, 1001}, {50, 1}};
  const SpeedStep speeds[] = {SpeedStep{}, SpeedStep{{24000, 1001}, {25, 1}},
                              SpeedStep{{25, 1}, {24000, 1001}}, SpeedStep{{30, 1}, {25, 1}}};
  int cues = 0;
  int frames_seen = 0;
  for (int round = 0; round < 80; ++round) {
    Timing timing;
    const bool timecodes = round % 3 == 2;
    timing.clock = timecodes ? random_timecodes(random) : constant_clock(rates[random() % 5]);
    timing.delay_ms = static_cast<int>(random() % 2000);
    timing.ts_delay_ms = static_cast<int>(random() % 700);
    // A timecode file's times count a microsecond short of a whole
    // millisecond as that millisecond; a change of speed or a stretch would
    // move its frame starts onto such times, so it gets shifts only.
    if (!timecodes) timing.speed = speeds[random() % 4];
    const int sync = static_cast<int>(random() % 3);
    if (sync >= 1) {
      timing.sync.points = timecodes ? 1 : sync;
      const std::int64_t a = random() % 1000;
      const std::int64_t b = 1100 + random() % 3000;
      timing.sync.first = SyncPoint{Milliseconds{a}, Milliseconds{b}};
      const std::int64_t length = 10000 + random() % 20000;
      // A stretch of at most 5 % either way keeps frames longer than 10 ms.
      const std::int64_t stretched = length + static_cast<std::int64_t>(random() % 1000) - 500;
      timing.sync.second = SyncPoint{Milliseconds{a + length}, Milliseconds{b + stretched}};
    }
    const std::vector<Range> ranges = random_ranges(random);
    const TimePipeline pipeline = make_time_pipeline(map_of(ranges), timing);
    // The output video: the cut video at the changed speed, nothing else.
    Timing video;
    video.clock = timing.clock;
    video.speed = timing.speed;
    // The cut video's frame starts: the first frame's time, then each kept
    // frame after the one before it.
    std::vector<std::int64_t> kept_frames;
    std::vector<Exact> cut_starts;
    std::vector<std::int64_t> cut_ticks;
    std::int64_t cut = frame_start(timing.clock, 0).ticks;
    for (const Range& r : ranges) {
      for (std::int64_t f = r.first; f <= r.last; ++f) {
        kept_frames.push_back(f);
        cut_ticks.push_back(cut);
        cut_starts.push_back(output_time(timing, cut));
        cut += frame_start(timing.clock, f + 1).ticks - frame_start(timing.clock, f).ticks;
      }
    }
    const std::int64_t length_ms =
        frame_start(timing.clock, kFrames).ticks / ticks_per_ms(timing.clock);
    // The kept frames whose start lies in [s, e), both clock times.
    const auto kept_between = [&](ClockTime s, ClockTime e) {
      std::vector<std::int64_t> frames;
      for (const std::int64_t f : kept_frames) {
        const std::int64_t start = frame_start(timing.clock, f).ticks;
        if (s.ticks <= start && start < e.ticks) frames.push_back(f);
      }
      return frames;
    };
    // What a writer of every precision writes for the mapped start and end
    // covers the frames `before` covered: in ms and cs, those whose output
    // start lies between the written times; in frames (MicroDVD), the
    // output video's frames between the two written.
    const auto check = [&](const std::vector<std::int64_t>& before, const CutTime& start,
                           const CutTime& end, const std::string& what) {
      for (const TimePrecision precision :
           {TimePrecision::Milliseconds, TimePrecision::Centiseconds}) {
        const std::int64_t unit = ms_per_unit(precision);
        const int from = written_time(pipeline, start, precision);
        const int to = written_time(pipeline, end, precision);
        std::vector<std::int64_t> after;
        for (std::size_t i = 0; i < kept_frames.size(); ++i) {
          if (covers(cut_starts[i], from, to, unit)) after.push_back(kept_frames[i]);
        }
        ASSERT_EQ(after, before) << "round " << round << " " << what << (unit == 1 ? " ms" : " cs");
        frames_seen += static_cast<int>(after.size());
      }
      // The output video shows its frames where the cut video does, at
      // its speed; the delays and the sync move the subtitle over them.
      // Without those the frames are the very frames of `before`.
      const Exact from_time = output_time(timing, start.time.ticks);
      const Exact to_time = output_time(timing, end.time.ticks);
      std::vector<std::int64_t> shown;
      for (std::size_t i = 0; i < kept_frames.size(); ++i) {
        const Exact at = output_time(video, cut_ticks[i]);
        if (from_time.num * at.den <= at.num * from_time.den &&
            at.num * to_time.den < to_time.num * at.den) {
          shown.push_back(kept_frames[i]);
        }
      }
      if (timing.delay_ms + timing.ts_delay_ms == 0 && timing.sync.points == 0) {
        ASSERT_EQ(shown, before) << "round " << round << " " << what;
      }
      const std::int64_t from = written_frame(pipeline, start);
      const std::int64_t to = written_frame(pipeline, end);
      std::vector<std::int64_t> after;
      for (std::int64_t i = std::max<std::int64_t>(from, 0);
           i < to && i < static_cast<std::int64_t>(kept_frames.size()); ++i) {
        after.push_back(kept_frames[static_cast<std::size_t>(i)]);
      }
      ASSERT_EQ(after, shown) << "round " << round << " " << what << " frames";
    };
    for (int cue = 0; cue < 150; ++cue) {
      const int s = static_cast<int>(random() % length_ms);
      const int e = s + 1 + static_cast<int>(random() % 4000);
      const std::string what = "cue " + std::to_string(s) + "-" + std::to_string(e);
      const std::vector<std::int64_t> before = kept_between(
          clock_time(timing.clock, Milliseconds{s}), clock_time(timing.clock, Milliseconds{e}));
      RetimedSpan span;
      const bool kept = retime_span(pipeline, s, e, span);
      if (!span.start.placed) {
        EXPECT_TRUE(before.empty()) << "round " << round << " " << what;
        continue;
      }
      check(before, span.start, span.end, what);
      EXPECT_EQ(kept, written_time(pipeline, span.start, TimePrecision::Milliseconds) <
                          written_time(pipeline, span.end, TimePrecision::Milliseconds));
      // The same for a cue timed in frames of the source.
      const std::int64_t sf = random() % kFrames;
      const std::int64_t ef = sf + 1 + random() % 100;
      const std::string frames_what = "frames " + std::to_string(sf) + "-" + std::to_string(ef);
      const std::vector<std::int64_t> frames_before =
          kept_between(frame_start(timing.clock, sf), frame_start(timing.clock, ef));
      const CutTime start = map_frame(pipeline, sf, true);
      if (!start.placed) {
        EXPECT_TRUE(frames_before.empty()) << "round " << round << " " << frames_what;
        continue;
      }
      check(frames_before, start, map_frame(pipeline, ef, false), frames_what);
      ++cues;
    }
  }
  EXPECT_GT(cues, 10000);
  EXPECT_GT(frames_seen, 100000);
}

}  // namespace
}  // namespace mendra

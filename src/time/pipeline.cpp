#include "time/pipeline.h"

#include <algorithm>

namespace mendra {
namespace {

using Wide = AfterCut::Wide;

// Cut-video times beyond this many ticks (at least 99 days at any clock's
// scale, far past the int range of milliseconds) are held there before a
// change of speed or a sync: with the terms those steps bring (rates of at
// most 10^6 / 1, sync times within the int range) every product of the map
// then stays inside 126 bits.
constexpr std::int64_t kFarTicks = std::int64_t{1} << 53;

Wide through(const AfterCut& map, std::int64_t ticks) {
  return map.scale * std::clamp(ticks, -kFarTicks, kFarTicks) + map.offset;
}

}  // namespace

TimePipeline make_time_pipeline(const CutMap& map, const Timing& timing) {
  TimePipeline pipeline;
  pipeline.clock = &timing.clock;
  pipeline.cut = make_remap_table(map, timing.clock);
  pipeline.ticks_per_ms = ticks_per_ms(timing.clock);
  const DelayStep delays{std::int64_t{timing.delay_ms} + timing.ts_delay_ms};
  pipeline.after = after_cut(pipeline.ticks_per_ms);
  add_step(pipeline.after, delays);
  add_step(pipeline.after, timing.speed);
  add_step(pipeline.after, timing.sync);
  pipeline.simple = !changes_speed(timing.speed) && timing.sync.points == 0;
  pipeline.added_ticks = whole_ms_tolerance(timing.clock).ticks + delays.ms * pipeline.ticks_per_ms;
  return pipeline;
}

CutTime map_time(const TimePipeline& pipeline, Milliseconds time, bool is_start) {
  return cut_time(pipeline.cut, *pipeline.clock, clock_time(*pipeline.clock, time), is_start);
}

int written_time(const TimePipeline& pipeline, const CutTime& time, TimePrecision precision) {
  if (pipeline.simple) {
    // Cut-video times saturate within 2^61 ticks and the delays add at
    // most 2^53: twice the sum still fits 64 bits.
    const std::int64_t added = pipeline.added_ticks;
    const OutputTime<std::int64_t> out{time.time.ticks + added, time.frame_below.ticks + added,
                                       time.frame_above.ticks + added, time.has_frame_below,
                                       pipeline.ticks_per_ms};
    return round_output_time(out, precision, time.at_cut);
  }
  const std::int64_t tolerance = whole_ms_tolerance(*pipeline.clock).ticks;
  const AfterCut& map = pipeline.after;
  const OutputTime<Wide> out{
      through(map, time.time.ticks + tolerance), through(map, time.frame_below.ticks + tolerance),
      through(map, time.frame_above.ticks + tolerance), time.has_frame_below, map.den};
  return round_output_time(out, precision, time.at_cut);
}

}  // namespace mendra

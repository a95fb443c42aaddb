#include "time/pipeline.h"

#include <algorithm>
#include <limits>

#include "time/rate_parse.h"

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
  return map.scale * ticks + map.offset;
}

}  // namespace

namespace pipeline_detail {

// Terms below these bounds round in 64 bits: 2 * time + 10 * den, and den
// times the int range of milliseconds, stay inside it.
constexpr std::int64_t kNarrowTime = std::int64_t{1} << 60;
constexpr std::int64_t kNarrowDen = std::int64_t{1} << 31;

}  // namespace pipeline_detail

TimePipeline make_time_pipeline(const CutMap& map, const Timing& timing) {
  TimePipeline pipeline;
  pipeline.clock = &timing.clock;
  pipeline.cut = make_remap_table(map, timing.clock);
  pipeline.ticks_per_ms = ticks_per_ms(timing.clock);
  pipeline.tolerance_ticks = whole_ms_tolerance(timing.clock).ticks;
  const DelayStep delays{std::int64_t{timing.delay_ms} + timing.ts_delay_ms};
  pipeline.after = after_cut(pipeline.ticks_per_ms);
  add_step(pipeline.after, delays);
  // The exact map of a change of speed or a sync stays inside 128 bits for
  // clocks of at most 2^20 ticks a millisecond (every rate -rate takes and
  // every timecode file); the driver refuses the steps on a finer clock.
  const bool steps_fit = pipeline.ticks_per_ms <= kMaxStepTicksPerMs;
  if (steps_fit) {
    add_step(pipeline.after, timing.speed);
    add_step(pipeline.after, timing.sync);
  }
  pipeline.simple = !steps_fit || (!changes_speed(timing.speed) && timing.sync.points == 0);
  pipeline.frame_axis = pipeline.after;
  if (steps_fit) pipeline.speed = timing.speed;
  if (steps_fit) add_step(pipeline.frame_axis, SpeedStep{timing.speed.to, timing.speed.from});
  add_ticks_step(pipeline.frame_axis, pipeline.ticks_per_ms);
  const AfterCut& after = pipeline.after;
  constexpr Wide kNarrowTerm = Wide{1} << 60;
  pipeline.narrow = after.den < pipeline_detail::kNarrowDen && after.scale < kNarrowTerm &&
                    after.scale > -kNarrowTerm && after.offset < kNarrowTerm &&
                    after.offset > -kNarrowTerm;
  if (pipeline.narrow) {
    pipeline.narrow_scale = static_cast<std::int64_t>(after.scale);
    pipeline.narrow_offset = static_cast<std::int64_t>(after.offset);
  }
  // Held within 2^61 ticks, as the clock's own times are.
  constexpr Wide kFar = Wide{1} << 61;
  const Wide added = Wide{pipeline.tolerance_ticks} + Wide{delays.ms} * pipeline.ticks_per_ms;
  pipeline.added_ticks = static_cast<std::int64_t>(std::clamp(added, -kFar, kFar));
  return pipeline;
}

std::int64_t written_frame(const TimePipeline& pipeline, const CutTime& time) {
  const AfterCut& map = pipeline.frame_axis;
  // Nothing moves the subtitles over the output video's frames: each time
  // is on the frame the cut put it on.
  if (map.scale == 1 && map.offset == 0 && map.den == 1) {
    return cut_frame_in_pair(pipeline.cut, *pipeline.clock, time);
  }
  // (scale * ticks + offset) / den, rounded up: the first tick at or after
  // the exact time, so that a frame starting there counts. A product beyond
  // 128 bits lies past any video and saturates.
  const Wide clamped = std::clamp(time.time.ticks, -kFarTicks, kFarTicks);
  constexpr Wide kFar = Wide{1} << 61;
  Wide product = 0;
  Wide sum = 0;
  std::int64_t ticks = 0;
  if (__builtin_mul_overflow(map.scale, clamped, &product) ||
      __builtin_add_overflow(product, map.offset, &sum)) {
    ticks = (map.scale < 0) == (clamped < 0) ? kFarTicks : -kFarTicks;
  } else {
    Wide quotient = sum / map.den;
    if (sum % map.den != 0 && sum > 0) ++quotient;
    ticks = static_cast<std::int64_t>(std::clamp(quotient, -kFar, kFar));
  }
  return cut_frame_at_or_after(pipeline.cut, *pipeline.clock, ClockTime{ticks});
}

bool changed_frame_rate(FrameRate rate, const SpeedStep& speed, FrameRate& changed) {
  if (!changes_speed(speed)) {
    changed = rate;
    return true;
  }
  // rate * to / from: the rate's terms at most those of a -fps rate, the
  // step's at most kMaxRateTerm, so the products of three stay inside 128
  // bits.
  return lowest_terms_rate(Wide{rate.num} * speed.to.num * speed.from.den,
                           Wide{rate.den} * speed.to.den * speed.from.num, changed);
}

bool output_frame_rate(const TimePipeline& pipeline, FrameRate& rate) {
  const FrameClock& clock = *pipeline.clock;
  if (clock.timecodes != TimecodeFormat::None) return false;
  return changed_frame_rate(clock.rate, pipeline.speed, rate);
}

namespace pipeline_detail {

namespace {

// scale * ticks + offset in 64 bits, when it fits well inside them.
bool narrow_through(const TimePipeline& pipeline, std::int64_t ticks, std::int64_t& out) {
  std::int64_t product = 0;
  return !__builtin_mul_overflow(pipeline.narrow_scale, ticks, &product) &&
         !__builtin_add_overflow(product, pipeline.narrow_offset, &out) && out < kNarrowTime &&
         out > -kNarrowTime;
}

}  // namespace

int written_after_steps(const TimePipeline& pipeline, const CutTime& time,
                        TimePrecision precision) {
  const std::int64_t tolerance = pipeline.tolerance_ticks;
  const AfterCut& map = pipeline.after;
  const std::int64_t ticks[] = {
      std::clamp(time.time.ticks + tolerance, -kFarTicks, kFarTicks),
      std::clamp(time.frame_below.ticks + tolerance, -kFarTicks, kFarTicks),
      std::clamp(time.frame_above.ticks + tolerance, -kFarTicks, kFarTicks)};
  // Mostly every term fits 64 bits, whose products and divisions cost a
  // fraction of those of 128 bits; the rounding is the same either way.
  std::int64_t narrow[3] = {};
  if (pipeline.narrow && narrow_through(pipeline, ticks[0], narrow[0]) &&
      narrow_through(pipeline, ticks[1], narrow[1]) &&
      narrow_through(pipeline, ticks[2], narrow[2])) {
    const OutputTime<std::int64_t> out{narrow[0], narrow[1], narrow[2], time.has_frame_below,
                                       static_cast<std::int64_t>(map.den)};
    return round_output_time(out, precision, time.at_cut);
  }
  const OutputTime<Wide> out{through(map, ticks[0]), through(map, ticks[1]), through(map, ticks[2]),
                             time.has_frame_below, map.den};
  return round_output_time(out, precision, time.at_cut);
}

}  // namespace pipeline_detail

namespace {

// floor(a / b) for b > 0.
Wide floor_div(Wide a, Wide b) {
  Wide q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

bool usable(TimeUnit unit) {
  return unit.num > 0 && unit.den > 0 && unit.num <= kMaxUnitTerm && unit.den <= kMaxUnitTerm;
}

// ((scale * (ticks * rest_den + rest)) + offset * rest_den) * unit.den: a
// time of the cut video through the steps after the cut, in units of
// 1 / (den * rest_den * unit.num); false when a product leaves 128 bits.
bool units_numerator(const AfterCut& map, std::int64_t ticks, std::int64_t rest,
                     std::int64_t rest_den, TimeUnit unit, Wide& out) {
  Wide exact = 0;
  Wide scaled = 0;
  Wide offset = 0;
  return !__builtin_mul_overflow(Wide{ticks}, Wide{rest_den}, &exact) &&
         !__builtin_add_overflow(exact, Wide{rest}, &exact) &&
         !__builtin_mul_overflow(map.scale, exact, &scaled) &&
         !__builtin_mul_overflow(map.offset, Wide{rest_den}, &offset) &&
         !__builtin_add_overflow(scaled, offset, &scaled) &&
         !__builtin_mul_overflow(scaled, Wide{unit.den}, &out);
}

// The written value with the time's rest over rest_den; false when the
// terms leave 128 bits.
bool try_written_units(const AfterCut& map, const CutTime& cut, std::int64_t tolerance,
                       std::int64_t rest, std::int64_t rest_den, TimeUnit unit,
                       std::int64_t max_units, std::int64_t& written) {
  const auto held = [&](ClockTime t) {
    return std::clamp(t.ticks + tolerance, -frame_clock_detail::kFarTicks,
                      frame_clock_detail::kFarTicks);
  };
  OutputTime<Wide> out;
  out.has_below = cut.has_frame_below;
  if (!units_numerator(map, held(cut.time), rest, rest_den, unit, out.time) ||
      !units_numerator(map, held(cut.frame_below), 0, rest_den, unit, out.below) ||
      !units_numerator(map, held(cut.frame_above), 0, rest_den, unit, out.above) ||
      __builtin_mul_overflow(map.den, Wide{rest_den}, &out.den) ||
      __builtin_mul_overflow(out.den, Wide{unit.num}, &out.den)) {
    return false;
  }
  written = round_output_units(out, max_units);
  return true;
}

int held_in_int(Wide value) {
  constexpr Wide kMaxInt = std::numeric_limits<std::int32_t>::max();
  return static_cast<int>(std::clamp(value, Wide{0}, kMaxInt));
}

}  // namespace

FineCutTime map_time_in_units(const TimePipeline& pipeline, std::int64_t count, TimeUnit unit,
                              bool is_start) {
  if (!usable(unit)) unit = TimeUnit{};
  // count * unit.num / unit.den ms, on the clock's ticks: whole ticks and a
  // rest, since a frame starts on a whole tick.
  const Wide den = unit.den;
  constexpr std::int64_t kFar = frame_clock_detail::kFarTicks;
  std::int64_t whole = count < 0 ? -kFar : kFar;
  Wide rest = 0;
  Wide ticks = 0;
  if (!__builtin_mul_overflow(Wide{count}, Wide{unit.num}, &ticks) &&
      !__builtin_mul_overflow(ticks, Wide{pipeline.ticks_per_ms}, &ticks)) {
    const Wide quotient = floor_div(ticks, den);
    if (quotient <= kFar && quotient >= -kFar) {
      whole = static_cast<std::int64_t>(quotient);
      rest = ticks - quotient * den;
    }
  }
  FineCutTime out;
  out.cut = cut_time(pipeline.cut, *pipeline.clock, ClockTime{whole}, is_start, rest != 0);
  if (rest != 0 && !out.cut.at_cut) {
    const Wide common = wide_gcd(rest, den);
    out.rest = static_cast<std::int64_t>(rest / common);
    out.rest_den = static_cast<std::int64_t>(den / common);
  }
  return out;
}

std::int64_t written_units(const AfterCut& after, const FrameClock& clock, const FineCutTime& time,
                           TimeUnit unit) {
  if (!usable(unit)) unit = TimeUnit{};
  const std::int64_t max_units = static_cast<std::int64_t>(
      Wide{std::numeric_limits<std::int32_t>::max()} * unit.den / unit.num);
  // A unit of a millisecond or more holds the tolerance of a timecode file
  // as the subtitles' milliseconds do; a finer one is nearer to the
  // nanoseconds the file holds, and the tolerance would move it.
  const std::int64_t tolerance = unit.num >= unit.den ? whole_ms_tolerance(clock).ticks : 0;
  std::int64_t written = 0;
  if (try_written_units(after, time.cut, tolerance, time.rest, time.rest_den, unit, max_units,
                        written)) {
    return written;
  }
  // Only steps whose terms no recording gives (a -sync stretching by a
  // ratio of two large primes, on a fine unit) leave 128 bits: the time is
  // then written to its whole tick, and past that saturated.
  if (try_written_units(after, time.cut, tolerance, 0, 1, unit, max_units, written)) {
    return written;
  }
  return time.cut.time.ticks < 0 ? 0 : max_units;
}

StartShift moved_start_shift(const TimePipeline& pipeline, const CutTime& start,
                             std::int64_t written_ms) {
  StartShift shift;
  if (!start.placed || !start.at_cut || start.skipped.ticks <= 0) return shift;
  // The original start on the output's time line is exactly num / den ms.
  const std::int64_t original = start.time.ticks - start.skipped.ticks;
  Wide num = 0;
  Wide den = 1;
  if (pipeline.simple) {
    num = Wide{original} + pipeline.added_ticks;
    den = pipeline.ticks_per_ms;
  } else {
    const std::int64_t tolerance = pipeline.tolerance_ticks;
    num = through(pipeline.after, std::clamp(original + tolerance, -kFarTicks, kFarTicks));
    den = pipeline.after.den;
  }
  // written - original, rounded: floor((2 * diff + unit * den) / (2 * unit * den)).
  // Terms too wide for these products (far past any video) shift nothing.
  Wide diff = 0;
  Wide twice = 0;
  Wide half_cs = 0;
  Wide cs_den = 0;
  if (__builtin_mul_overflow(Wide{written_ms}, den, &diff) ||
      __builtin_sub_overflow(diff, num, &diff) || __builtin_mul_overflow(diff, 2, &twice) ||
      __builtin_mul_overflow(den, 10, &half_cs) || __builtin_mul_overflow(den, 20, &cs_den) ||
      __builtin_add_overflow(twice, half_cs, &half_cs) ||
      __builtin_add_overflow(twice, den, &twice)) {
    return shift;
  }
  shift.ms = held_in_int(floor_div(twice, 2 * den));
  shift.cs = held_in_int(floor_div(half_cs, cs_den));
  return shift;
}

}  // namespace mendra

#include "subtitle/retime.h"

#include <cstdint>

#include "util/frame_rate.h"
#include "util/int_math.h"

namespace mendra {
namespace {

constexpr int kStartSide = 1;
constexpr int kEndSide = -1;

constexpr int kMsPerCentisecond = 10;
constexpr int kRoundUpFromMs = 5;
constexpr int kCentisecondsPerSecond = 100;
constexpr int kMsPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
// Hours are printed modulo 60, like minutes and seconds.
constexpr int kHourWrap = 60;

int clock_ms(int hours, int minutes, int seconds, int fraction, int fractions_per_second) {
  int t = wrap_add(wrap_mul(hours, kSecondsPerMinute), minutes);
  t = wrap_add(wrap_mul(t, kSecondsPerMinute), seconds);
  return wrap_add(wrap_mul(t, fractions_per_second), fraction);
}

ClockFields clock_fields(int total_seconds, int fraction) {
  ClockFields fields;
  fields.hours = total_seconds / kSecondsPerHour % kHourWrap;
  fields.minutes = total_seconds / kSecondsPerMinute % kSecondsPerMinute;
  fields.seconds = total_seconds % kSecondsPerMinute;
  fields.fraction = fraction;
  return fields;
}

// One time through the cut map: milliseconds to a source frame position, the
// position on the cut video, and back to milliseconds plus the measured delay.
int remap_ms(const RemapTable& map, FrameScale scale, int ts_delay_ms, int ms, int side) {
  const FramePosition position = remap_frame(map, ms_to_frames(ms, scale), side);
  return frames_to_ms(position, scale, ts_delay_ms);
}

// Adds the user delay; a time beyond the int range stays at its limit rather
// than wrapping round to a small or negative one.
int add_delay(int ms, int delay_ms) {
  const int shifted = clamp_to_int(static_cast<std::int64_t>(ms) + delay_ms);
  return shifted < 0 ? 0 : shifted;
}

}  // namespace

int ass_time_ms(int hours, int minutes, int seconds, int centiseconds) {
  return wrap_mul(clock_ms(hours, minutes, seconds, centiseconds, kCentisecondsPerSecond),
                  kMsPerCentisecond);
}

int srt_time_ms(int hours, int minutes, int seconds, int milliseconds) {
  return clock_ms(hours, minutes, seconds, milliseconds, kMsPerSecond);
}

bool retime_span(const RemapTable& table, const Timing& timing, int start_ms, int end_ms,
                 RetimedSpan& span) {
  const FrameScale scale = table.scale;
  const FramePosition start_position =
      remap_frame(table, ms_to_frames(start_ms, scale), kStartSide);
  int start = frames_to_ms(start_position, scale, timing.ts_delay_ms);
  // Only a start beyond the last kept frame lies outside the cut video: the
  // subtitle is dropped without mapping its end. Any other time maps, and
  // the delays may move it before the start of the cut video, where it
  // becomes 0.
  int end = is_beyond_last_kept(start_position)
                ? start
                : remap_ms(table, scale, timing.ts_delay_ms, end_ms, kEndSide);
  start = add_delay(start, timing.delay_ms);
  end = add_delay(end, timing.delay_ms);
  span.start_ms = start;
  span.end_ms = end;
  return start < end && !is_beyond_last_kept(start_position);
}

bool retime_start(const RemapTable& table, const Timing& timing, int ms, int& retimed_ms) {
  const FrameScale scale = table.scale;
  const FramePosition position = remap_frame(table, ms_to_frames(ms, scale), kStartSide);
  retimed_ms = add_delay(frames_to_ms(position, scale, timing.ts_delay_ms), timing.delay_ms);
  return !is_beyond_last_kept(position);
}

ClockFields ass_clock(int ms) {
  if (ms < 0) ms = 0;
  int centiseconds = ms / kMsPerCentisecond;
  if (ms % kMsPerCentisecond >= kRoundUpFromMs) ++centiseconds;
  return clock_fields(centiseconds / kCentisecondsPerSecond, centiseconds % kCentisecondsPerSecond);
}

ClockFields srt_clock(int ms) {
  if (ms < 0) ms = 0;
  return clock_fields(ms / kMsPerSecond, ms % kMsPerSecond);
}

}  // namespace mendra

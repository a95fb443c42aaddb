#include "subtitle/retime.h"

#include <cstdint>

#include "time/frame_rate.h"
#include "util/int_math.h"

namespace mendra {
namespace {

constexpr int kMsPerCentisecond = 10;
constexpr int kCentisecondsPerSecond = 100;
constexpr int kMsPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;

int clock_ms(int hours, int minutes, int seconds, int fraction, int fractions_per_second) {
  int t = wrap_add(wrap_mul(hours, kSecondsPerMinute), minutes);
  t = wrap_add(wrap_mul(t, kSecondsPerMinute), seconds);
  return wrap_add(wrap_mul(t, fractions_per_second), fraction);
}

// Which side of a subtitle a time is.
enum class Side { Start, End };

// One time through the cut map: milliseconds to the source frame it lies in,
// its place in the cut video, and back to milliseconds plus the measured
// delay. False for a start beyond the last kept frame.
bool remap_exact(const RemapTable& table, int ts_delay_ms, int ms, Side side, RetimedTime& out) {
  const FrameScale scale = table.scale;
  const FramePosition position = ms_to_frames(ms, scale);
  const FrameRemap remap = remap_source_frame(table, frame_of(position));
  FramePosition cut_position;
  switch (remap.kind) {
    case FrameRemap::Kind::Kept:
      cut_position = minus_frames(position, remap.shift);
      break;
    case FrameRemap::Kind::AtCut:
      cut_position = whole_frames(remap.cut_frame, position);
      break;
    case FrameRemap::Kind::BeyondLastKept:
      if (side == Side::Start) return false;
      cut_position = whole_frames(remap.cut_frame, position);
      break;
  }
  out.ms = frames_to_ms(cut_position, scale, ts_delay_ms);
  out.at_cut = remap.kind != FrameRemap::Kind::Kept;
  return true;
}

// The same through the nanoseconds of a timecode clock: a time in a kept
// frame keeps its offset from the start of its kept stretch.
bool remap_ns(const RemapTable& table, const FrameClock& clock, int ts_delay_ms, int ms, Side side,
              RetimedTime& out) {
  const std::int64_t t_ns = std::int64_t{ms} * kNsPerMs;
  const FrameRemap remap = remap_source_frame(table, frame_shown_at_ns(clock, t_ns));
  std::int64_t cut_ns = table.end_ns;
  switch (remap.kind) {
    case FrameRemap::Kind::Kept:
      cut_ns = table.pair_base_ns[remap.pair] + (t_ns - table.pair_first_ns[remap.pair]);
      break;
    case FrameRemap::Kind::AtCut:
      cut_ns = table.pair_base_ns[remap.pair];
      break;
    case FrameRemap::Kind::BeyondLastKept:
      if (side == Side::Start) return false;
      break;
  }
  out.ms = ns_to_ms(cut_ns + std::int64_t{ts_delay_ms} * kNsPerMs);
  out.at_cut = remap.kind != FrameRemap::Kind::Kept;
  return true;
}

// A time through the table, on the clock it was made on.
bool remap_ms(const RemapTable& table, const Timing& timing, int ms, Side side, RetimedTime& out) {
  if (table.timecodes) return remap_ns(table, timing.clock, timing.ts_delay_ms, ms, side, out);
  return remap_exact(table, timing.ts_delay_ms, ms, side, out);
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
  RetimedTime start;
  RetimedTime end;
  // Only a start beyond the last kept frame lies outside the cut video: the
  // subtitle is dropped without mapping its end. Any other time maps, and
  // the delays may move it before the start of the cut video, where it
  // becomes 0.
  if (!remap_ms(table, timing, start_ms, Side::Start, start)) {
    // What a start one frame before the cut video would give, so that the
    // span still says where the subtitle went.
    start.ms = frames_to_ms(FramePosition{kBeyondLastKept, 1}, table.scale, timing.ts_delay_ms);
    span.start_ms = add_delay(start.ms, timing.delay_ms);
    span.end_ms = span.start_ms;
    span.start_at_cut = false;
    span.end_at_cut = false;
    return false;
  }
  remap_ms(table, timing, end_ms, Side::End, end);
  span.start_ms = add_delay(start.ms, timing.delay_ms);
  span.end_ms = add_delay(end.ms, timing.delay_ms);
  span.start_at_cut = start.at_cut;
  span.end_at_cut = end.at_cut;
  return span.start_ms < span.end_ms;
}

bool retime_start(const RemapTable& table, const Timing& timing, int ms, RetimedTime& retimed) {
  if (!remap_ms(table, timing, ms, Side::Start, retimed)) return false;
  retimed.ms = add_delay(retimed.ms, timing.delay_ms);
  return true;
}

}  // namespace mendra

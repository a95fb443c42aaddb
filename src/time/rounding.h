// The last step of the pipeline: a time of the output, known exactly, written
// to the precision of the output format without changing the frames a
// subtitle is shown on. A subtitle shown from s to e is on the frames whose
// start lies in [s, e); so a written time must lie on the same side of every
// frame start as the exact time, in the interval (start of frame k, start of
// frame k + 1] that holds it. The format's usual value (milliseconds
// truncated, centiseconds rounded to the nearest) is written when it lies in
// that interval; otherwise the value of the format's precision inside the
// interval that is closest to the exact time; and where the interval holds
// no such value (centiseconds of frames shorter than 10 ms), the usual value,
// rounded down at a cut point as it always was.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace mendra {

enum class TimePrecision : std::uint8_t {
  Milliseconds,  // SRT, WebVTT: truncated
  Centiseconds,  // ASS, SSA: to the nearest, halves up
};

constexpr std::int64_t ms_per_unit(TimePrecision precision) {
  return precision == TimePrecision::Centiseconds ? 10 : 1;
}

// A time of the output as an exact fraction time / den milliseconds
// (den > 0), with the starts of the output video's frames around it:
// below < time <= above. Without a frame before it (the start of the
// video), `below` says nothing.
template <typename Int>
struct OutputTime {
  Int time = 0;
  Int below = 0;
  Int above = 0;
  bool has_below = false;
  Int den = 1;
};

namespace rounding_detail {

// floor(a / b) for b > 0.
template <typename Int>
constexpr Int floor_div(Int a, Int b) {
  Int q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

}  // namespace rounding_detail

namespace rounding_detail {

// Where the usual value would change the frames: the value of the
// precision inside (below, above] closest to the time, or the usual value
// when the interval holds none.
template <typename Int>
int round_into_frame(const OutputTime<Int>& t, Int step, Int down, Int usual, bool at_cut) {
  const Int highest = floor_div(t.above, step);
  if (!t.has_below) return static_cast<int>(std::min(usual, highest));
  const Int lowest = floor_div(t.below, step) + 1;
  if (lowest > highest) return static_cast<int>(at_cut ? down : usual);
  return static_cast<int>(std::clamp(usual, lowest, highest));
}

}  // namespace rounding_detail

// The time in units of `precision`: never below 0 (a time before the start
// of the video is written as 0), at most the int range of milliseconds.
// `at_cut` marks a time moved to a cut point. Int is wide enough for
// 2 * time plus 10 * den. Inline: every time of every subtitle comes here.
template <typename Int>
[[gnu::always_inline]] inline int round_output_time(const OutputTime<Int>& t,
                                                    TimePrecision precision, bool at_cut) {
  constexpr std::int64_t kMaxMs = std::numeric_limits<std::int32_t>::max();
  if (t.time <= 0) return 0;
  const Int unit = static_cast<Int>(ms_per_unit(precision));
  const Int step = t.den * unit;
  // A time beyond the int range of milliseconds is written as that limit;
  // its frames are past any video.
  if (t.time >= t.den * kMaxMs) {
    return static_cast<int>(precision == TimePrecision::Centiseconds ? (kMaxMs + 5) / unit
                                                                     : kMaxMs);
  }
  // The time is positive here: its quotients are its floors.
  const Int down = t.time / step;
  const Int usual =
      precision == TimePrecision::Centiseconds ? (2 * t.time + step) / (2 * step) : down;
  // Nearly always the usual value keeps the frames; it is tested by two
  // products rather than two more divisions.
  const Int written = usual * step;
  if ((!t.has_below || written > t.below) && written <= t.above) return static_cast<int>(usual);
  return rounding_detail::round_into_frame(t, step, down, usual, at_cut);
}

// The time in whole units, where the caller has counted it in units already
// (time / den units): truncated, as chapter files write their times, and on
// the same side of every frame start as the exact time whenever a whole unit
// lies inside its frame; never below 0, at most `max_units`.
template <typename Int>
std::int64_t round_output_units(const OutputTime<Int>& t, std::int64_t max_units) {
  if (t.time <= 0) return 0;
  const Int down = t.time / t.den;
  if (down >= max_units) return max_units;
  // down * den <= time <= above: only the frame's start can lie above it.
  if (!t.has_below || down * t.den > t.below) return static_cast<std::int64_t>(down);
  const Int lowest = rounding_detail::floor_div(t.below, t.den) + 1;
  const Int highest = rounding_detail::floor_div(t.above, t.den);
  // Frames shorter than a unit: the truncated value, as at a cut point.
  if (lowest > highest) return static_cast<std::int64_t>(down);
  return static_cast<std::int64_t>(std::min<Int>(lowest, max_units));
}

}  // namespace mendra

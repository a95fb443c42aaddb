#include "time/frame_clock.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "util/int_math.h"

namespace mendra {
namespace {

__extension__ using Wide = __int128;

constexpr std::int64_t kNsPerSecond = 1000000000;
using frame_clock_detail::kFarTicks;
constexpr std::int64_t kFarNs = kFarTicks;

bool is_constant(const FrameClock& clock) {
  return clock.timecodes == TimecodeFormat::None;
}

std::int64_t saturate(Wide ns) {
  if (ns > kFarNs) return kFarNs;
  if (ns < -kFarNs) return -kFarNs;
  return static_cast<std::int64_t>(ns);
}

// floor(a / b) for b > 0.
Wide floor_div(Wide a, Wide b) {
  Wide q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

// a / b rounded to the nearest, halves up, for b > 0.
Wide round_div(Wide a, Wide b) {
  return floor_div(2 * a + b, 2 * b);
}

// `frames` frames at num / den frames per second, in nanoseconds.
std::int64_t frames_ns(std::int64_t frames, std::int64_t num, std::int64_t den) {
  return saturate(round_div(static_cast<Wide>(frames) * den * kNsPerSecond, num));
}

// The frame of a run at num / den frames per second that starts at start_ns
// with frame `first`, shown at t: the last one whose rounded start is not
// after t. The estimate from the exact rate is off by at most one either way.
std::int64_t frame_in_run(std::int64_t first, std::int64_t start_ns, std::int64_t num,
                          std::int64_t den, std::int64_t t_ns) {
  const Wide estimate =
      floor_div(static_cast<Wide>(t_ns - start_ns) * num, static_cast<Wide>(den) * kNsPerSecond);
  std::int64_t n = saturate(estimate);
  while (start_ns + frames_ns(n + 1, num, den) <= t_ns && n < kFarNs) ++n;
  while (n > -kFarNs && start_ns + frames_ns(n, num, den) > t_ns) --n;
  return first + n;
}

std::int64_t v2_duration_before(const FrameClock& clock, std::int64_t frame) {
  return clock.frame_ns[frame] - clock.frame_ns[frame - 1];
}

const TimecodeSection& section_of(const FrameClock& clock, std::int64_t frame) {
  const auto after = std::upper_bound(
      clock.sections.begin(), clock.sections.end(), frame,
      [](std::int64_t f, const TimecodeSection& section) { return f < section.first_frame; });
  return after == clock.sections.begin() ? clock.sections.front() : *(after - 1);
}

std::int64_t section_frame_ns(const TimecodeSection& section, std::int64_t frame) {
  return saturate(static_cast<Wide>(section.start_ns) +
                  frames_ns(frame - section.first_frame, section.rate_num, section.rate_den));
}

// The last frame of a v2 file whose time is not after t, for
// frame_ns[0] <= t < frame_ns[last]. Subtitles come in time order, so the
// frame asked for next mostly lies a little after the one found before: the
// search starts there and doubles its step (1, 2, 4, ...) until it has passed
// t, then halves back. That stays in the few cache lines around the answer,
// and a time far away costs at most twice the steps of a plain binary search.
std::int64_t last_frame_not_after(const FrameClock& clock, std::int64_t t_ns) {
  const std::int64_t last = clock.frame_count - 1;
  const std::int64_t hint = std::clamp<std::int64_t>(clock.search_hint, 0, last - 1);
  std::int64_t low = 0;   // frame_ns[low] <= t
  std::int64_t high = 0;  // frame_ns[high] > t
  std::int64_t step = 1;
  if (clock.frame_ns[hint] <= t_ns) {
    low = hint;
    high = hint + 1;
    while (clock.frame_ns[high] <= t_ns) {  // ends at the latest at last
      low = high;
      step *= 2;
      high = std::min(low + step, last);
    }
  } else {
    high = hint;
    low = hint - 1;                       // hint >= 1 here: frame_ns[0] <= t
    while (clock.frame_ns[low] > t_ns) {  // ends at the latest at 0
      high = low;
      step *= 2;
      low = std::max<std::int64_t>(high - step, 0);
    }
  }
  while (high - low > 1) {
    const std::int64_t middle = low + (high - low) / 2;
    if (clock.frame_ns[middle] <= t_ns) {
      low = middle;
    } else {
      high = middle;
    }
  }
  clock.search_hint = low;
  return low;
}

}  // namespace

void FrameTimes::push_back(std::int64_t ns) {
  if (blocks.empty() || blocks.back().size() == kBlockFrames) {
    blocks.emplace_back();
    blocks.back().reserve(kBlockFrames);
  }
  blocks.back().push_back(ns);
  ++count;
}

namespace frame_clock_detail {

ClockTime file_clock_time(const FrameClock& /*clock*/, Milliseconds ms) {
  return ClockTime{saturate(static_cast<Wide>(ms.count) * kNsPerMs)};
}

ClockTime file_frame_start(const FrameClock& clock, std::int64_t frame) {
  if (clock.timecodes == TimecodeFormat::V1) {
    return ClockTime{section_frame_ns(section_of(clock, frame), frame)};
  }
  const std::int64_t last = clock.frame_count - 1;  // at least 1: a file holds two times
  if (frame < 0) {
    return ClockTime{
        saturate(clock.frame_ns[0] + static_cast<Wide>(frame) * v2_duration_before(clock, 1))};
  }
  if (frame <= last) return ClockTime{clock.frame_ns[frame]};
  return ClockTime{saturate(clock.frame_ns[last] +
                            static_cast<Wide>(frame - last) * v2_duration_before(clock, last))};
}

std::int64_t file_frame_shown_at(const FrameClock& clock, ClockTime t) {
  const std::int64_t t_ns = t.ticks;
  if (clock.timecodes == TimecodeFormat::V1) {
    if (t_ns < 0) return -1;
    const auto after = std::upper_bound(
        clock.sections.begin(), clock.sections.end(), t_ns,
        [](std::int64_t time, const TimecodeSection& section) { return time < section.start_ns; });
    const TimecodeSection& section = *(after - 1);  // the first starts at 0
    std::int64_t frame = frame_in_run(section.first_frame, section.start_ns, section.rate_num,
                                      section.rate_den, t_ns);
    // t lies before the next section's start, so before its first frame.
    if (after != clock.sections.end()) frame = std::min(frame, after->first_frame - 1);
    return frame;
  }
  if (t_ns < clock.frame_ns[0]) return -1;
  const std::int64_t last = clock.frame_count - 1;
  if (t_ns < clock.frame_ns[last]) return last_frame_not_after(clock, t_ns);
  const std::int64_t duration = v2_duration_before(clock, last);
  const std::int64_t frame = last + (t_ns - clock.frame_ns[last]) / duration;
  note_frame_used(clock, frame);
  return frame;
}

}  // namespace frame_clock_detail

std::int64_t first_frame_at_or_after(const FrameClock& clock, ClockTime t) {
  if (t.ticks <= -kFarNs) return frame_shown_at(clock, t);
  return std::max<std::int64_t>(frame_shown_at(clock, ClockTime{t.ticks - 1}) + 1, 0);
}

bool says_where_video_ends(const FrameClock& clock) {
  return !is_constant(clock);
}

std::int64_t known_frames(const FrameClock& clock) {
  return is_constant(clock) ? 0 : clock.frame_count;
}

void note_frame_used(const FrameClock& clock, std::int64_t frame) {
  if (clock.timecodes == TimecodeFormat::V2 && frame >= clock.frame_count) {
    clock.ran_past_end = true;
  }
}

ClockTime whole_ms_tolerance(const FrameClock& clock) {
  constexpr std::int64_t kToleranceNs = 1000;
  return ClockTime{is_constant(clock) ? 0 : kToleranceNs};
}

int clock_time_ms(const FrameClock& clock, ClockTime t) {
  const std::int64_t bounded = std::clamp(t.ticks, -kFarNs, kFarNs);
  const std::int64_t magnitude = bounded < 0 ? -bounded : bounded;
  const std::int64_t ms = (magnitude + whole_ms_tolerance(clock).ticks) / ticks_per_ms(clock);
  return clamp_to_int(bounded < 0 ? -ms : ms);
}

Nanoseconds clock_time_ns(const FrameClock& clock, ClockTime t) {
  return Nanoseconds{
      saturate(round_div(static_cast<Wide>(t.ticks) * kNsPerMs, ticks_per_ms(clock)))};
}

std::string frame_rate_line(const FrameClock& clock) {
  char text[96];
  if (!is_constant(clock)) {
    std::snprintf(text, sizeof text, " (%s, %lld frames)",
                  clock.timecodes == TimecodeFormat::V1 ? "v1" : "v2",
                  static_cast<long long>(clock.frame_count));
    return "timecodes " + clock.timecode_path + text;
  }
  // The fraction every conversion uses, and its value rounded to
  // thousandths in integers (both terms are at most kMaxRateTerm).
  const FrameRate rate = clock.rate;
  const std::int64_t thousandths = (rate.num * 1000 + rate.den / 2) / rate.den;
  std::snprintf(text, sizeof text, "%lld/%lld (%lld.%03lld fps)", static_cast<long long>(rate.num),
                static_cast<long long>(rate.den), static_cast<long long>(thousandths / 1000),
                static_cast<long long>(thousandths % 1000));
  return text;
}

void report_frames_past_end(const FrameClock& clock, const Log& log) {
  if (!clock.ran_past_end || clock.past_end_reported) return;
  clock.past_end_reported = true;
  log(LogLevel::Warning,
      "times past the last frame of %s (%lld frames) continue at its last frame's "
      "duration\n",
      clock.timecode_path.c_str(), static_cast<long long>(clock.frame_count));
}

}  // namespace mendra

// The frame rate of the recordings and the conversions between milliseconds
// and frames. Every such conversion goes through here, in exact integer
// arithmetic: a trip from milliseconds to frames and back must give the very
// time it started from, which binary fractions of 1/1001 cannot promise.
#pragma once

#include <cstdint>
#include <limits>
#include <numeric>

#include "util/int_math.h"

namespace mendra {

// What a fps below 1 counts as: the -fps option falls back to it, and a
// settings record filled elsewhere must not divide by zero either.
constexpr int kFallbackFps = 30;

inline int usable_fps(int fps) {
  return fps >= 1 ? fps : kFallbackFps;
}

// Frames per second as an exact fraction num / den, both positive.
// Rates from fps have num = fps * 1000 and den = 1001; rates given exactly
// (-rate) keep both terms at most kMaxRateTerm. Either way the conversions
// below stay exact in 64 bits.
struct FrameRate {
  std::int64_t num = 0;
  std::int64_t den = 1;
};

// The rate of the recordings: fps / 1.001 frames per second.
inline FrameRate fps_frame_rate(int fps) {
  constexpr std::int64_t kMsPerSecond = 1000;
  constexpr std::int64_t kNtscDen = 1001;
  return FrameRate{std::int64_t{usable_fps(fps)} * kMsPerSecond, kNtscDen};
}

// The largest numerator or denominator of an exact rate: with both terms at
// most this, frame_scale gives `frames` at most 10^6 and `ms` at most 10^9.
constexpr std::int64_t kMaxRateTerm = 1000000;

// A rate as "`frames` frames last exactly `ms` milliseconds". For every
// rate from an int fps, and every exact rate within kMaxRateTerm, both stay
// below 2^31, so a time in int milliseconds times `frames` fits 64 bits.
// Not always in lowest terms: the conversions are exact either way.
struct FrameScale {
  std::int64_t frames = 1;
  std::int64_t ms = 1;
};

inline FrameScale frame_scale(FrameRate rate) {
  constexpr std::int64_t kMsPerSecond = 1000;
  // The rates of the recordings count frames per 1000 seconds' worth of
  // milliseconds; cancelling that factor needs no search for a common
  // divisor, which every subtitle time would otherwise pay for.
  if (rate.num % kMsPerSecond == 0) return FrameScale{rate.num / kMsPerSecond, rate.den};
  const std::int64_t ms = rate.den * kMsPerSecond;
  const std::int64_t common = std::gcd(rate.num, ms);
  return FrameScale{rate.num / common, ms / common};
}

// A position on a frame axis as an exact fraction: num / den frames, den > 0.
// Positions made from times have den = FrameScale::ms (at most 1001000 for
// a rate from fps, 10^9 for an exact one), so frame numbers of twice the int
// range times den stay inside 64 bits.
struct FramePosition {
  std::int64_t num = 0;
  std::int64_t den = 1;
};

// A time in milliseconds as an exact frame position.
inline FramePosition ms_to_frames(int ms, FrameScale scale) {
  return FramePosition{ms * scale.frames, scale.ms};
}

namespace frame_rate_detail {

__extension__ using Wide = __int128;

// trunc(whole + fraction + offset) where whole and offset are integers and
// the fraction is rest / divisor with the sign of rest and magnitude below 1:
// the fraction moves the truncated sum toward zero only when it points the
// other way than the sum does.
template <typename Int>
int truncate_sum(Int whole, Int rest, int offset_ms) {
  Int time = whole + offset_ms;
  if (rest > 0 && time < 0) ++time;
  if (rest < 0 && time > 0) --time;
  if (time > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (time < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<int>(time);
}

}  // namespace frame_rate_detail

// The time of a frame position in milliseconds plus offset_ms, truncated
// toward zero and saturated to the int range.
inline int frames_to_ms(FramePosition position, FrameScale scale, int offset_ms) {
  // num / den frames last num * scale.ms / (den * scale.frames) ms. For a
  // position made from a time the denominators cancel and 64 bits do.
  if (position.den == scale.ms) {
    return frame_rate_detail::truncate_sum(position.num / scale.frames, position.num % scale.frames,
                                           offset_ms);
  }
  using frame_rate_detail::Wide;
  const Wide num = static_cast<Wide>(position.num) * scale.ms;
  const Wide den = static_cast<Wide>(position.den) * scale.frames;
  return frame_rate_detail::truncate_sum(num / den, num % den, offset_ms);
}

// A count of whole frames as milliseconds, truncated toward zero and
// saturated to the int range.
inline int frame_count_ms(std::int64_t frames, FrameScale scale) {
  return clamp_to_int(frames * scale.ms / scale.frames);
}

}  // namespace mendra

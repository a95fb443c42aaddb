// The frame rate of the recordings as an exact fraction, and its scale in
// milliseconds. The conversions between times and frames are the frame
// clock's (frame_clock.h), in exact integer arithmetic: a trip from
// milliseconds to frames and back must give the very time it started from,
// which binary fractions of 1/1001 cannot promise.
#pragma once

#include <cstdint>
#include <numeric>

namespace mendra {

// What a fps below 1 counts as: the -fps option falls back to it, and a
// settings record filled elsewhere must not divide by zero either.
constexpr int kFallbackFps = 30;

constexpr int usable_fps(int fps) {
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
constexpr FrameRate fps_frame_rate(int fps) {
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

constexpr FrameScale frame_scale(FrameRate rate) {
  constexpr std::int64_t kMsPerSecond = 1000;
  // The rates of the recordings count frames per 1000 seconds' worth of
  // milliseconds; cancelling that factor needs no search for a common
  // divisor, which every subtitle time would otherwise pay for.
  if (rate.num % kMsPerSecond == 0) return FrameScale{rate.num / kMsPerSecond, rate.den};
  const std::int64_t ms = rate.den * kMsPerSecond;
  const std::int64_t common = std::gcd(rate.num, ms);
  return FrameScale{rate.num / common, ms / common};
}

}  // namespace mendra

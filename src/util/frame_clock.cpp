#include "util/frame_clock.h"

#include <cstdio>

namespace mendra {

int frames_duration_ms(const FrameClock& clock, std::int64_t frames) {
  return frame_count_ms(frames, clock_scale(clock));
}

std::string frame_rate_line(const FrameClock& clock) {
  // The fraction every conversion uses, and its value rounded to
  // thousandths in integers (both terms are at most kMaxRateTerm).
  const FrameRate rate = clock.rate;
  const std::int64_t thousandths = (rate.num * 1000 + rate.den / 2) / rate.den;
  char text[96];
  std::snprintf(text, sizeof text, "%lld/%lld (%lld.%03lld fps)", static_cast<long long>(rate.num),
                static_cast<long long>(rate.den), static_cast<long long>(thousandths / 1000),
                static_cast<long long>(thousandths % 1000));
  return text;
}

}  // namespace mendra

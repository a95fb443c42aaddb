// Times as the rewriters write them: hours in full, never wrapped (a file
// of more than 60 hours keeps its order), minutes and seconds of two digits,
// the fraction at the format's precision.
#pragma once

#include "util/format_int.h"

namespace mendra {

struct TimeFields {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  int fraction = 0;  // centiseconds or milliseconds
};

namespace time_text_detail {

constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

inline TimeFields split_seconds(int total_seconds, int fraction) {
  return TimeFields{total_seconds / kSecondsPerHour,
                    total_seconds / kSecondsPerMinute % kSecondsPerMinute,
                    total_seconds % kSecondsPerMinute, fraction};
}

}  // namespace time_text_detail

// Milliseconds as they are. Negative times are written as 0.
inline TimeFields millisecond_fields(int ms) {
  constexpr int kMsPerSecond = 1000;
  if (ms < 0) ms = 0;
  return time_text_detail::split_seconds(ms / kMsPerSecond, ms % kMsPerSecond);
}

// Centiseconds as they are (the time pipeline has rounded them). Negative
// times are written as 0.
inline TimeFields centisecond_fields(int centiseconds) {
  constexpr int kCentisecondsPerSecond = 100;
  if (centiseconds < 0) centiseconds = 0;
  return time_text_detail::split_seconds(centiseconds / kCentisecondsPerSecond,
                                         centiseconds % kCentisecondsPerSecond);
}

// Writes "%0<hours_width>d:%02d:%02d", `separator`, "%0<fraction_width>d".
// Returns the end. Inline, so that the constant widths of each caller fold
// away.
[[gnu::always_inline]] inline char* append_time(char* out, const TimeFields& time, int hours_width,
                                                char separator, int fraction_width) {
  constexpr int kTwoDigits = 2;
  out = append_int(out, time.hours, hours_width);
  *out++ = ':';
  out = append_int(out, time.minutes, kTwoDigits);
  *out++ = ':';
  out = append_int(out, time.seconds, kTwoDigits);
  *out++ = separator;
  return append_int(out, time.fraction, fraction_width);
}

}  // namespace mendra

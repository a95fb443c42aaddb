#include "subtitle/retime.h"

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

}  // namespace

int ass_time_ms(int hours, int minutes, int seconds, int centiseconds) {
  return wrap_mul(clock_ms(hours, minutes, seconds, centiseconds, kCentisecondsPerSecond),
                  kMsPerCentisecond);
}

int srt_time_ms(int hours, int minutes, int seconds, int milliseconds) {
  return clock_ms(hours, minutes, seconds, milliseconds, kMsPerSecond);
}

bool retime_start(const TimePipeline& pipeline, int ms, int& retimed_ms) {
  const CutTime time = map_time(pipeline, Milliseconds{ms}, true);
  if (!time.placed) return false;
  retimed_ms = written_time(pipeline, time, TimePrecision::Milliseconds);
  return true;
}

}  // namespace mendra

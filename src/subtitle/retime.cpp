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

bool retime_span(const TimePipeline& pipeline, int start_ms, int end_ms, RetimedSpan& span) {
  // Only a start beyond the last kept frame lies outside the cut video: the
  // subtitle is dropped without mapping its end. Any other time maps, and
  // the later steps may move it before the start of the video, where it is
  // written as 0.
  span.start = map_time(pipeline, Milliseconds{start_ms}, true);
  if (!span.start.placed) return false;
  span.end = map_time(pipeline, Milliseconds{end_ms}, false);
  span.start_ms = written_time(pipeline, span.start, TimePrecision::Milliseconds);
  span.end_ms = written_time(pipeline, span.end, TimePrecision::Milliseconds);
  return span.start_ms < span.end_ms;
}

bool retime_start(const TimePipeline& pipeline, int ms, int& retimed_ms) {
  const CutTime time = map_time(pipeline, Milliseconds{ms}, true);
  if (!time.placed) return false;
  retimed_ms = written_time(pipeline, time, TimePrecision::Milliseconds);
  return true;
}

}  // namespace mendra

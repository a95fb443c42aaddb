// The time arithmetic shared by the rewriters: clock fields to milliseconds,
// and a subtitle's two times through the time pipeline.
#pragma once

#include "time/pipeline.h"

namespace mendra {

// ((hours * 60 + minutes) * 60 + seconds) * 100 + centiseconds, times 10.
// Hand-edited files may hold absurd hour counts, so the arithmetic wraps at
// 32 bits instead of overflowing.
int ass_time_ms(int hours, int minutes, int seconds, int centiseconds);
// ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds, wrapping.
int srt_time_ms(int hours, int minutes, int seconds, int milliseconds);

// A subtitle's start and end through the pipeline, and both written to the
// millisecond (a writer of another precision takes its own from `start` and
// `end`).
struct RetimedSpan {
  CutTime start;
  CutTime end;
  int start_ms = 0;
  int end_ms = 0;
};

// Maps start_ms and end_ms through the pipeline. Returns false when nothing
// of the subtitle survives: its start lies beyond the last kept frame, or
// its start, written to the millisecond, is not before its end. Inline:
// every subtitle comes here, and seen whole the caller's span is filled
// once, without a copy of each time through the stack.
[[gnu::always_inline]] inline bool retime_span(const TimePipeline& pipeline, int start_ms,
                                               int end_ms, RetimedSpan& span) {
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

// Maps one time inside a subtitle as its start is mapped (a time in deleted
// material moves to the cut point) and writes it to the millisecond.
// Returns false when it lies beyond the last kept frame.
bool retime_start(const TimePipeline& pipeline, int ms, int& retimed_ms);

}  // namespace mendra

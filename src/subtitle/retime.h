// The time arithmetic shared by the .ass and .srt rewriters: clock fields to
// milliseconds, milliseconds through the cut map and the delays, and
// milliseconds back to the clock fields that are printed.
#pragma once

#include "time/cut_map.h"
#include "time/remap_table.h"
#include "time/timing.h"

namespace mendra {

// ((hours * 60 + minutes) * 60 + seconds) * 100 + centiseconds, times 10.
// Hand-edited files may hold absurd hour counts, so the arithmetic wraps at
// 32 bits instead of overflowing.
int ass_time_ms(int hours, int minutes, int seconds, int centiseconds);
// ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds, wrapping.
int srt_time_ms(int hours, int minutes, int seconds, int milliseconds);

// A subtitle's start and end in milliseconds of the cut video. A time moved
// to a cut point is marked: written to a coarser precision it must be
// rounded down, so that it shows neither the frame before the cut nor the
// one after it.
struct RetimedSpan {
  int start_ms = 0;
  int end_ms = 0;
  bool start_at_cut = false;
  bool end_at_cut = false;
};

// One time of the cut video, as a start is mapped.
struct RetimedTime {
  int ms = 0;
  bool at_cut = false;
};

// Maps start_ms and end_ms through the cut map, adds ts_delay_ms, then
// delay_ms, and clamps negative times to 0. Returns false when nothing of the
// subtitle survives: its start lies beyond the last kept frame, or its start
// is not before its end. `span` is filled either way. The table must have
// been made on the timing's clock.
bool retime_span(const RemapTable& table, const Timing& timing, int start_ms, int end_ms,
                 RetimedSpan& span);

// Maps one time inside a subtitle as its start is mapped (a time in deleted
// material moves to the cut point), with both delays and the clamp to 0.
// Returns false when it lies beyond the last kept frame, where `retimed`
// means nothing.
bool retime_start(const RemapTable& table, const Timing& timing, int ms, RetimedTime& retimed);

}  // namespace mendra

// The steps a time takes after the cut, each a small value with one job, in
// the order they apply: the delays, the change of frame rate, the sync by
// two points. Every one is an exact linear change of the time, so that
// together they are one (AfterCut), which the frame starts of the cut video
// go through too: the rounding at the end keeps a subtitle's frames whatever
// the steps did.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "time/frame_clock.h"
#include "time/frame_rate.h"
#include "time/time_types.h"

namespace mendra {

// -delay and the delay measured from the stream: added in milliseconds.
struct DelayStep {
  std::int64_t ms = 0;
};

// -fps-change FROM:TO: the video made at FROM frames per second plays at
// TO, so every time is multiplied by FROM / TO (PAL speed-up: 23.976:25).
// Equal rates change nothing.
struct SpeedStep {
  FrameRate from{1, 1};
  FrameRate to{1, 1};
};

// -sync A=B[,C=D]: A becomes B; with a second point C becomes D, and the
// times between and beyond move linearly (fixing a drift). Applied last.
struct SyncPoint {
  Milliseconds from;
  Milliseconds to;
};
struct SyncStep {
  int points = 0;  // 0: no sync
  SyncPoint first;
  SyncPoint second;
};

// Reads "FROM:TO", each a rate as -rate takes it ("23.976:25",
// "25:24000/1001"). False, and `step` untouched, for anything else.
bool parse_speed_step(std::string_view text, SpeedStep& step);

// Why a -sync value cannot be used; None when it can.
enum class SyncError : std::uint8_t { None, NotPoints, OutOfOrder };

// Reads "A=B" or "A=B,C=D", times as "h:mm:ss.fff", "m:ss.fff" or seconds
// ("90.5"), to the millisecond. Two points must be in order, A before C and
// B before D. `step` is set only when the value can be used.
SyncError parse_sync_step(std::string_view text, SyncStep& step);

// Speed and sync as the parameter lines show them: "24000/1001 -> 25/1",
// "1:00.000=1:01.200, 1:00:00.000=1:00:02.500".
std::string speed_step_text(const SpeedStep& step);
std::string sync_step_text(const SyncStep& step);

bool changes_speed(const SpeedStep& step);

// The steps after the cut as one exact linear map from a time on the cut
// video's clock, in ticks, to milliseconds of the output:
// ms = (scale * ticks + offset) / den.
struct AfterCut {
  __extension__ using Wide = __int128;
  Wide scale = 1;
  Wide offset = 0;
  Wide den = 1;
};

// The greatest common divisor of two wide terms, of either sign (0 for two
// zeros): the steps and the pipeline keep their fractions small with it.
AfterCut::Wide wide_gcd(AfterCut::Wide a, AfterCut::Wide b);

// The map of a clock of `ticks_per_ms` ticks a millisecond (nothing added
// yet), and each step added to it.
AfterCut after_cut(std::int64_t ticks_per_ms);
void add_step(AfterCut& map, const DelayStep& step);
void add_step(AfterCut& map, const SpeedStep& step);
void add_step(AfterCut& map, const SyncStep& step);

// The map turned to give ticks of a clock of `ticks_per_ms` ticks a
// millisecond instead of milliseconds.
void add_ticks_step(AfterCut& map, std::int64_t ticks_per_ms);

// A time on the cut video's clock through the map, in nanoseconds rounded
// to the nearest: what a timecode file of the output holds.
Nanoseconds output_ns(const AfterCut& map, ClockTime t);

}  // namespace mendra

// The time pipeline: every time a reader reads goes through the same chain
// of steps, composed per input from the options, and every writer takes its
// times from the end of it:
//
//   input time -> clock -> cut map -> delays -> frame-rate change -> sync
//     -> rounding to the output format's precision.
//
// The clock turns milliseconds into its own exact ticks and frames; the cut
// step (the remap table) moves a time to the cut video; the steps after the
// cut are one exact linear map (AfterCut); the rounding writes the result
// at the format's precision on the same side of every frame start as the
// exact time. Adding a step is its value type, its add_step and one line in
// make_time_pipeline.
#pragma once

#include <algorithm>
#include <cstdint>

#include "time/cut_map.h"
#include "time/remap_table.h"
#include "time/rounding.h"
#include "time/time_steps.h"
#include "time/timing.h"

namespace mendra {

struct TimePipeline {
  const FrameClock* clock = nullptr;  // the Timing's: it must outlive the pipeline
  RemapTable cut;
  // The steps after the cut. Without a change of speed or a sync they only
  // add the delays, in whole ticks: `simple`, computed in 64 bits.
  AfterCut after;
  bool simple = true;
  // The map's terms, when they are small enough for its products to be
  // tried in 64 bits first.
  bool narrow = false;
  std::int64_t narrow_scale = 1;
  std::int64_t narrow_offset = 0;
  std::int64_t added_ticks = 0;  // the delays and the clock's tolerance, when simple
  // The clock's whole-millisecond tolerance (whole_ms_tolerance), asked once
  // rather than for every time.
  std::int64_t tolerance_ticks = 0;
  std::int64_t ticks_per_ms = 1;
  // For a writer in frames (written_frame): the steps after the cut with
  // the change of speed undone, from the cut video's ticks to the ticks of
  // the cut video's frames that the output video shows at that time.
  AfterCut frame_axis;
  // The change of speed, which a writer that names the output's frame rate
  // applies to the clock's rate.
  SpeedStep speed;
};

// The finest clock a change of speed or a sync works on, in ticks a
// millisecond: a constant rate of 10^6 frames per second, or a timecode
// file's nanoseconds.
inline constexpr std::int64_t kMaxStepTicksPerMs = std::int64_t{1} << 20;

// The pipeline of one input. The steps after the delays are left out on a
// clock finer than kMaxStepTicksPerMs, which the driver refuses for them.
TimePipeline make_time_pipeline(const CutMap& map, const Timing& timing);

// One time of the input through the clock and the cut: a start beyond the
// last kept frame is not placed. What comes out is exact; the writer rounds
// it to its precision with written_time.
inline CutTime map_time(const TimePipeline& pipeline, Milliseconds time, bool is_start) {
  return cut_time(pipeline.cut, *pipeline.clock, clock_time(*pipeline.clock, time), is_start);
}

// The frame a writer in frames (MicroDVD) writes for a time: the first
// frame of the output video that starts at or after the exact output time.
// The output video is the cut video at the speed -fps-change gives it: its
// frames move with that step, while the delays and the sync move the
// subtitles over them. So without a delay or a sync a frame start maps to
// a frame, with no rounding at all.
std::int64_t written_frame(const TimePipeline& pipeline, const CutTime& time);

// A frame of the uncut video through the clock and the cut, as map_time
// takes a time: its start, moved to the cut point when it is deleted.
inline CutTime map_frame(const TimePipeline& pipeline, std::int64_t frame, bool is_start) {
  return cut_time(pipeline.cut, *pipeline.clock, frame_start(*pipeline.clock, frame), is_start);
}

// The output video's frame rate: the clock's constant rate through the
// change of speed, in lowest terms. False on a timecode file's clock, which
// has no one rate, and for a changed rate whose terms would pass
// kMaxRateTerm.
bool output_frame_rate(const TimePipeline& pipeline, FrameRate& rate);

// A frame rate through the change of speed, in lowest terms: what the
// frames of a video at `rate` run at after it. False for a changed rate
// whose terms would pass kMaxRateTerm.
bool changed_frame_rate(FrameRate rate, const SpeedStep& speed, FrameRate& changed);

namespace pipeline_detail {
int written_after_steps(const TimePipeline& pipeline, const CutTime& time, TimePrecision precision);
}  // namespace pipeline_detail

// The time as a writer of `precision` writes it, in its units (ms or cs):
// the steps after the cut, then the frame-keeping rounding; never below 0,
// at most the int range of milliseconds. Inline, as every time of every
// subtitle comes here: without a change of speed or a sync the steps only
// add the delays, in 64 bits.
inline int written_time(const TimePipeline& pipeline, const CutTime& time,
                        TimePrecision precision) {
  if (!pipeline.simple) return pipeline_detail::written_after_steps(pipeline, time, precision);
  // Cut-video times and the delays each lie within 2^61 ticks; their sums
  // are held there too, so that twice a sum still fits 64 bits.
  constexpr std::int64_t kFar = std::int64_t{1} << 61;
  const std::int64_t added = pipeline.added_ticks;
  const OutputTime<std::int64_t> out{std::clamp(time.time.ticks + added, -kFar, kFar),
                                     std::clamp(time.frame_below.ticks + added, -kFar, kFar),
                                     std::clamp(time.frame_above.ticks + added, -kFar, kFar),
                                     time.has_frame_below, pipeline.ticks_per_ms};
  return round_output_time(out, precision, time.at_cut);
}

// A unit of time finer or coarser than the millisecond, as chapter files
// count them: `num` / `den` milliseconds, both positive (a nanosecond is
// 1 / 1000000, an FFmpeg time base of 1/90000 s is 1 / 90). Both terms at
// most kMaxUnitTerm.
struct TimeUnit {
  std::int64_t num = 1;
  std::int64_t den = 1;
};

inline constexpr std::int64_t kMaxUnitTerm = std::int64_t{1} << 42;

// A time through the clock and the cut that may be finer than the clock's
// ticks: the exact time on the cut video's clock is cut.time plus
// rest / rest_den ticks, 0 <= rest < rest_den; a time moved to a cut point
// has no rest.
struct FineCutTime {
  CutTime cut;
  std::int64_t rest = 0;
  std::int64_t rest_den = 1;
};

// `count` units of the input through the clock and the cut, exactly, as
// map_time takes milliseconds. A time far outside any video saturates.
FineCutTime map_time_in_units(const TimePipeline& pipeline, std::int64_t count, TimeUnit unit,
                              bool is_start);

// The time as a writer counting in `unit` writes it: through the steps
// after the cut in `after` (made for `clock`), then truncated to whole units
// on the same side of every frame start as the exact time (see
// round_output_units); never below 0, at most the int range of milliseconds
// in units.
std::int64_t written_units(const AfterCut& after, const FrameClock& clock, const FineCutTime& time,
                           TimeUnit unit);

inline std::int64_t written_units(const TimePipeline& pipeline, const FineCutTime& time,
                                  TimeUnit unit) {
  return written_units(pipeline.after, *pipeline.clock, time, unit);
}

// How much later a start moved to a cut point is written than the start
// it replaces would have been shown: the written start, `written_ms`, less
// where the original start lies on the output's time line, which is the cut
// point less the deleted material between the original start and it,
// through the steps after the cut. So it holds both the material cut and
// the rounding of the written start. Each unit is rounded to the nearest,
// halves up, from the exact difference; never below 0. Both are 0 for a
// start that did not move.
struct StartShift {
  int ms = 0;
  int cs = 0;
};
StartShift moved_start_shift(const TimePipeline& pipeline, const CutTime& start,
                             std::int64_t written_ms);

}  // namespace mendra

// Builds a cut map from kept ranges or deleted ranges and counts the frames
// of the cut summary on the way. Every reader goes through it, so the map
// values and the counts follow one arithmetic whatever the list looked like.
#pragma once

#include <cstdint>

#include "time/cut_map.h"
#include "time/frame_clock.h"

namespace mendra {

// Last frame of a kept range open toward the end of the video: one below
// the int limit, so that the map value after it does not overflow.
constexpr std::int32_t kOpenEndFrame = INT32_MAX - 1;

// The two counters printed by the cut summary. Both wrap around in 32 bits,
// since hand-typed lists can hold frame numbers near the int limits.
struct CutCounters {
  std::int32_t kept_frames = 0;  // frames inside the kept ranges
  std::int32_t cut_frames = 0;   // frames deleted before the end of the last kept range
  // The same frames' durations on the clock, summed frame range by frame
  // range: frames of a timecode file differ in length.
  ClockTime kept_time;
  ClockTime cut_time;
};

// The map starts with its leading -1; finish() adds the closing -1, -1.
// Ranges are taken in the order they come, and all arithmetic wraps around
// in 32 bits; a kept range that starts at or before the end of an earlier
// one is noted, so that the caller can warn about it.
struct CutMapBuilder {
  // Without a clock the durations stay 0.
  CutMapBuilder();
  // Durations are summed on this clock; it must outlive the builder.
  explicit CutMapBuilder(const FrameClock& clock);

  // An inclusive kept range: appends first - 1 and last + 1, counts its
  // frames as kept and the frames since the end of the previous kept range
  // (since frame 0 for the first) as cut.
  void add_kept(std::int32_t first, std::int32_t last);

  // A kept range from `first` to the end of the video, whose length the list
  // does not know: the map runs it to kOpenEndFrame. Its frames are not
  // counted as kept (a count up to the end of the frame axis would only show
  // a meaningless number); the frames before it count as cut as usual, and
  // it ends, for the counts of a later range, before `first`.
  void add_kept_to_end(std::int32_t first);

  // A list of deleted ranges inside the frames first to last: open_kept
  // starts the kept stretch at `first`, each add_deleted ends the stretch
  // before `from` and starts the next one after `to` (both inclusive), and
  // close_kept ends the last stretch at `last`. The stretches go through
  // add_kept, so a deleted range appends exactly `from` and `to`.
  void open_kept(std::int32_t first);
  void add_deleted(std::int32_t from, std::int32_t to);
  void close_kept(std::int32_t last);

  const CutCounters& counters() const { return counters_; }

  // True once any range went into the map, even one that keeps nothing.
  bool has_ranges() const { return map_.size() > 1; }

  // True once a non-empty kept range started at or before the last frame
  // of an earlier non-empty one.
  bool kept_out_of_order() const { return out_of_order_; }

  // Appends the closing -1, -1 and hands the map over; the builder is then
  // spent.
  void finish(CutMap& map);

 private:
  void note_order(std::int32_t first, std::int32_t last);
  // Adds the duration of frames first to before `end` on the clock.
  void add_duration(ClockTime& sum, std::int64_t first, std::int64_t end);

  const FrameClock* clock_ = nullptr;

  CutMap map_;
  CutCounters counters_;
  // Last frame of the previous kept range; -1 before the first, so that the
  // frames from 0 up to the first kept range count as cut.
  std::int32_t previous_last_ = -1;
  std::int32_t open_first_ = 0;  // first frame of the stretch open_kept started
  // Last frame of the non-empty kept ranges so far, for the order check;
  // below every frame number before the first.
  std::int64_t order_last_ = INT64_MIN;
  bool out_of_order_ = false;
};

}  // namespace mendra

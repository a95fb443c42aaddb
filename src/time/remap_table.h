// The cut step: a cut map prepared for the many lookups of one subtitle
// file, and the times of the cut video on the clock. The map is defined by
// a scan from the front for every frame; a long recording with many cuts
// and many subtitles would make that scan the bulk of the work. The table
// gives the same result for every frame: by binary search when the map's
// ranges are in order (as the cut-list readers build them from any ordered
// list), by the same front-to-back scan otherwise.
#pragma once

#include <cstdint>
#include <vector>

#include "time/cut_map.h"
#include "time/frame_clock.h"

namespace mendra {

struct RemapTable {
  // One pair of the map whose frames can match it: those of its deleted
  // interval [d, e] and of its kept stretch [e + 1, next - 1], which
  // together form one run of frames [low, high]. Pairs that no frame matches
  // are left out.
  struct Entry {
    std::int64_t low = 0;
    std::int64_t high = 0;
    std::int32_t d = 0;
    std::int32_t e = 0;
    std::int32_t next = 0;  // the d of the following pair
    bool has_next = false;
    std::int32_t count = 0;  // running count of deleted frames after this pair
    std::size_t pair = 0;    // its index among the map's pairs
    // Its pair's times (PairTimes below), where every time looks them up.
    std::int64_t cut_first = 0;
    std::int64_t shift = 0;  // cut_first - source_first
    std::int64_t previous_duration = 0;
    bool has_previous = false;
  };
  std::vector<Entry> entries;
  std::int32_t final_count = -1;  // running count after the last pair
  // True when the entries' lower and upper bounds never decrease: then the
  // first entry that does not lie wholly before a frame is the only one that
  // can match it.
  bool ordered = true;
  // The entry the last lookup of an ordered table found: subtitles come in
  // time order, so the next lookup mostly finds it or the one after it.
  mutable std::size_t hint = 0;
  // The cut video's times on the clock the table was made on, one record per
  // pair of the map. The cut video's frames follow one another without gaps
  // from the first frame's time on: the kept stretch after a pair shows its
  // first frame at `cut_first`, where the uncut video shows it at
  // `source_first`.
  struct PairTimes {
    std::int64_t first_frame = 0;  // the stretch's first frame (e + 1)
    ClockTime source_first;
    ClockTime cut_first;
    // How long the cut video's frame before `cut_first` lasts: the last
    // frame of the stretches before; none when the stretch begins the cut
    // video.
    ClockTime previous_duration;
    bool has_previous = false;
    // Where the stretch stands among the cut video's frames: the index of
    // its first frame there, and how many frames it keeps.
    std::int64_t cut_index = 0;
    std::int64_t frames = 0;
  };
  std::vector<PairTimes> pair_times;
  // True when no stretch starts before the one in front of it in the cut
  // video (the ranges are in order): the stretches can be searched by time.
  bool cut_times_ordered = true;
  // Where the cut video ends, and how long its last frame lasts.
  ClockTime end;
  ClockTime last_duration;
  bool has_last = false;
};

// The table of `map` on `clock`; the re-timing that uses it must be given
// the same clock.
RemapTable make_remap_table(const CutMap& map, const FrameClock& clock);

// Where a frame of the source video lands in the cut video (see
// FrameRemap), as the map read from the front defines it for any map, in
// order or not: the first pair whose deleted interval holds the frame, or
// whose kept stretch after it does, decides.
FrameRemap remap_source_frame(const RemapTable& table, std::int64_t frame);

// A time of the uncut video on the cut video's axis, with the two frame
// starts of the cut video around it: frame_below < time <= frame_above. A
// time in a kept frame keeps its offset within the frame; a time in a
// deleted frame moves to the cut point, the start of the first frame after
// the cut (for an end, the end of the last frame before it).
struct CutTime {
  bool placed = false;  // false: a start beyond the last kept frame
  bool at_cut = false;  // moved to a cut point
  ClockTime time;
  ClockTime frame_below;
  ClockTime frame_above;
  bool has_frame_below = false;  // false: no frame of the cut video starts before it
  // For a time in a deleted frame: the deleted material between it and the
  // cut point, so that time - skipped is where it would lie in the cut
  // video had the cut kept it (what an effect timed from a moved start is
  // shifted by). 0 for any other time.
  ClockTime skipped;
  // The pair of the map whose kept stretch holds the time, or whose cut
  // point it was moved to; -1 past the last kept frame.
  std::int64_t pair = -1;
};

// `t` through the table made on `clock`, as a subtitle's start (a start
// beyond the last kept frame has no place) or its end. `past_tick` says the
// exact time lies a fraction of a tick after `t` (a time finer than the
// clock's ticks, as chapter files hold them): it is then inside its frame
// even where `t` is the frame's start.
CutTime cut_time(const RemapTable& table, const FrameClock& clock, ClockTime t, bool is_start,
                 bool past_tick = false);

// The first frame of the cut video that starts at or after `t`, a time on
// the cut video's axis, counted from 0 in the cut video: 0 before its first
// frame; past its end, the frames that would follow its last kept stretch
// at the clock's pace. What a writer in frames
// (MicroDVD) writes for a time: a subtitle shown from s to e is on the
// frames from the one at or after s up to the one before the frame at or
// after e.
std::int64_t cut_frame_at_or_after(const RemapTable& table, const FrameClock& clock, ClockTime t);

// The same for a time as cut_time gave it, found through the stretch that
// placed it rather than by time: the very frame of the cut video that the
// uncut video's frame became, for a map in any order.
std::int64_t cut_frame_in_pair(const RemapTable& table, const FrameClock& clock,
                               const CutTime& time);

}  // namespace mendra

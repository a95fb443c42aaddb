// A cut map prepared for the many lookups of one subtitle file. remap_frame
// scans the map from the front for every time, which is what defines the
// result; a long recording with many cuts and many subtitles makes that scan
// the bulk of the work. The table gives the same result for every position:
// by binary search when the map's ranges are in order (as the cut-list
// readers build them from any ordered list), by the same front-to-back scan
// otherwise.
#pragma once

#include <cstdint>
#include <vector>

#include "cutlist/cut_map.h"
#include "util/frame_clock.h"

namespace mendra {

struct RemapTable {
  // One pair of the map whose positions can match it: those of its deleted
  // interval [d, e] and of its kept stretch (e, next), which together form
  // one interval. Pairs that no position matches are left out.
  struct Entry {
    std::int32_t low = 0;
    bool low_closed = false;
    std::int32_t high = 0;
    bool high_closed = false;
    std::int32_t d = 0;
    std::int32_t e = 0;
    std::int32_t next = 0;  // the d of the following pair
    bool has_next = false;
    std::int32_t count = 0;     // running count after this pair
    std::int32_t previous = 0;  // running count before it
    // A position lies past the interval when its half-frame key (see
    // remap_frame) is at least this: 2 * high, plus 1 when high is closed.
    std::int64_t past_key = 0;
  };
  std::vector<Entry> entries;
  std::int32_t final_count = -1;  // running count after the last pair
  // True when the entries' lower and upper bounds never decrease: then the
  // first entry whose interval does not lie below a position is the only
  // one that can match it.
  bool ordered = true;
  // The clock's exact frames-to-milliseconds scale, worked out once: every
  // time of every subtitle converts through it.
  FrameScale scale;
};

// The table of `map` on `clock`; the re-timing that uses it must be given
// the same clock.
RemapTable make_remap_table(const CutMap& map, const FrameClock& clock);

// The result of remap_frame(map, position, side) for the map of the table.
FramePosition remap_frame(const RemapTable& table, FramePosition position, int side);

}  // namespace mendra

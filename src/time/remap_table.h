// A cut map prepared for the many lookups of one subtitle file.
// remap_source_frame scans the map from the front for every time, which is
// what defines the result; a long recording with many cuts and many
// subtitles makes that scan the bulk of the work. The table gives the same
// result for every frame: by binary search when the map's ranges are in
// order (as the cut-list readers build them from any ordered list), by the
// same front-to-back scan otherwise.
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
  };
  std::vector<Entry> entries;
  std::int32_t final_count = -1;  // running count after the last pair
  // True when the entries' lower and upper bounds never decrease: then the
  // first entry that does not lie wholly before a frame is the only one that
  // can match it.
  bool ordered = true;
  // The clock's exact frames-to-milliseconds scale, worked out once: every
  // time of every subtitle converts through it.
  FrameScale scale;
  // On a timecode clock, times go through nanoseconds instead. The cut
  // video's frames follow one another without gaps from the first frame's
  // time on, so the kept stretch after pair i starts at pair_base_ns[i]
  // (the time of its cut point), where the uncut video shows it at
  // pair_first_ns[i]; the cut video ends at end_ns.
  bool timecodes = false;
  std::vector<std::int64_t> pair_base_ns;
  std::vector<std::int64_t> pair_first_ns;
  std::int64_t end_ns = 0;
};

// The table of `map` on `clock`; the re-timing that uses it must be given
// the same clock.
RemapTable make_remap_table(const CutMap& map, const FrameClock& clock);

// The result of remap_source_frame(map, frame) for the map of the table.
FrameRemap remap_source_frame(const RemapTable& table, std::int64_t frame);

}  // namespace mendra

// The cut map: which frames of the source video survive the cut.
#pragma once

#include <cstdint>
#include <vector>

namespace mendra {

// -1, then for each kept range its first frame - 1 and its last frame + 1,
// then -1, -1. Read in pairs from the front these are the deleted intervals
// (inclusive at both ends); the stretches between them are kept.
using CutMap = std::vector<std::int32_t>;

// The identity map: one kept range from frame 0 to frame 2147483646.
void make_identity_map(CutMap& map);

// Maps a fractional source frame position to the cut video. side +1 is a
// subtitle's start (moves forward out of deleted material), -1 its end
// (moves back). Returns -1 for a start beyond the last kept range.
double remap_frame(const CutMap& map, double position, int side);

}  // namespace mendra

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

// Where a frame of the source video lands in the cut video. A time belongs
// to the frame shown at it; a frame that is kept keeps every time inside it
// at the same offset, while every time in a deleted frame, start or end,
// moves to the cut point: the time at which the first frame after the cut is
// shown in the cut video, which is also where the last kept frame before the
// cut ends. So a subtitle that ends in a cut keeps the last frame before it,
// one that starts in a cut begins with the first frame after it, and one
// wholly inside a cut shrinks to nothing.
struct FrameRemap {
  enum class Kind : std::uint8_t {
    Kept,            // frame - shift is its frame in the cut video
    AtCut,           // deleted: cut_frame is the cut video's frame at the cut point
    BeyondLastKept,  // after the last kept range: a start has no place, an end
                     // goes to cut_frame, the end of the cut video
  };
  Kind kind = Kind::BeyondLastKept;
  std::int64_t shift = 0;
  std::int64_t cut_frame = 0;
  // Which pair of the map (counted from 0) decided it; none for BeyondLastKept.
  std::size_t pair = 0;
};

}  // namespace mendra

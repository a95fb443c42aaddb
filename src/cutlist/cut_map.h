// The cut map: which frames of the source video survive the cut.
#pragma once

#include <cstdint>
#include <vector>

#include "util/frame_rate.h"

namespace mendra {

// -1, then for each kept range its first frame - 1 and its last frame + 1,
// then -1, -1. Read in pairs from the front these are the deleted intervals
// (inclusive at both ends); the stretches between them are kept.
using CutMap = std::vector<std::int32_t>;

// The identity map: one kept range from frame 0 to frame 2147483646.
void make_identity_map(CutMap& map);

// Maps a fractional source frame position to the cut video. side +1 is a
// subtitle's start (moves forward out of deleted material), -1 its end
// (moves back). Returns -1 (kBeyondLastKept) for a start beyond the last
// kept range. The result is exact and has the denominator of `position`.
FramePosition remap_frame(const CutMap& map, FramePosition position, int side);

// What remap_frame gives a start beyond the last kept range, in frames.
constexpr std::int64_t kBeyondLastKept = -1;

inline bool is_beyond_last_kept(FramePosition position) {
  return position.num == kBeyondLastKept * position.den;
}

// The tests of remap_frame: frame <= position, frame < position.
// A frame number times a denominator of 64 bits needs more than 64 bits.
__extension__ using WideFrames = __int128;

inline bool frame_at_or_before(std::int32_t frame, FramePosition position) {
  return static_cast<WideFrames>(frame) * position.den <= position.num;
}
inline bool frame_before(std::int32_t frame, FramePosition position) {
  return static_cast<WideFrames>(frame) * position.den < position.num;
}
inline bool frame_at_or_after(std::int32_t frame, FramePosition position) {
  return !frame_before(frame, position);
}
inline bool frame_after(std::int32_t frame, FramePosition position) {
  return !frame_at_or_before(frame, position);
}

// A whole frame number on the axis of `like`.
inline FramePosition whole_frames(std::int64_t frames, FramePosition like) {
  return FramePosition{frames * like.den, like.den};
}
// position - frames, exactly.
inline FramePosition minus_frames(FramePosition position, std::int64_t frames) {
  return FramePosition{position.num - frames * position.den, position.den};
}

}  // namespace mendra

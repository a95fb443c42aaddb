// The tests' oracle for the cut step: the cut map read front to back, as it
// defines the result for any map, in order or not (the first pair whose
// deleted interval holds the frame, or whose kept stretch after it does,
// decides), and the same on a fractional frame axis. The product's remap
// table must agree with it everywhere.
#pragma once

#include <cstdint>

#include "time/cut_map.h"
#include "time/frame_rate.h"

namespace mendra::test {

FrameRemap remap_source_frame(const CutMap& map, std::int64_t frame);

// A position on a frame axis as an exact fraction: num / den frames, den > 0.
struct FramePosition {
  std::int64_t num = 0;
  std::int64_t den = 1;
};

// A time in milliseconds as an exact frame position.
inline FramePosition ms_to_frames(int ms, FrameScale scale) {
  return FramePosition{ms * scale.frames, scale.ms};
}

// A fractional source frame position to the cut video, side +1 for a
// subtitle's start, -1 for its end. Returns -1 (kBeyondLastKept) for a start
// beyond the last kept range. The result is exact and has the denominator
// of `position`.
FramePosition remap_frame(const CutMap& map, FramePosition position, int side);

// What remap_frame gives a start beyond the last kept range, in frames.
constexpr std::int64_t kBeyondLastKept = -1;

inline bool is_beyond_last_kept(FramePosition position) {
  return position.num == kBeyondLastKept * position.den;
}

}  // namespace mendra::test

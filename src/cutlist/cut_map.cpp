#include "cutlist/cut_map.h"

#include "util/int_math.h"

namespace mendra {

void make_identity_map(CutMap& map) {
  map.clear();
  map.insert(map.end(), {-1, -1, 2147483647, -1, -1});
}

FramePosition remap_frame(const CutMap& map, FramePosition position, int side) {
  const std::size_t n = map.size();
  // The running count of frames deleted so far; it starts at -1 to cancel the
  // notional frame -1 of the leading interval. Hand-typed lists may hold
  // frame numbers near the int limits, so it wraps instead of overflowing.
  std::int32_t count = -1;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    const std::int32_t d = map[i];
    const std::int32_t e = map[i + 1];
    const std::int32_t previous = count;
    count = wrap_add(wrap_add(count, wrap_sub(e, d)), 1);
    if (frame_at_or_before(d, position) && frame_at_or_after(e, position)) {
      // Inside a deleted interval: a start goes to the first kept frame after
      // it, an end to the last kept frame before it.
      if (side > 0) return whole_frames(std::int64_t{e} + 1 - count, position);
      return whole_frames(std::int64_t{d} - 1 - previous, position);
    }
    // A map always ends in -1, -1, so i + 2 < n here for every well-formed
    // map; a map cut short simply has no kept stretch after its last pair.
    if (i + 2 < n && frame_before(e, position) && frame_after(map[i + 2], position)) {
      return minus_frames(position, count);
    }
  }
  if (side < 0) return whole_frames(-std::int64_t{count}, position);
  return whole_frames(kBeyondLastKept, position);
}

}  // namespace mendra

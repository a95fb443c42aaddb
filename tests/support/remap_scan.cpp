#include "support/remap_scan.h"

#include "util/int_math.h"

namespace mendra::test {

namespace {

// The frame a position lies in: floor(num / den).
std::int64_t frame_of(FramePosition position) {
  std::int64_t whole = position.num / position.den;  // den > 0
  if (position.num % position.den < 0) --whole;
  return whole;
}

// A whole frame number on the axis of `like`.
FramePosition whole_frames(std::int64_t frames, FramePosition like) {
  return FramePosition{frames * like.den, like.den};
}

// position - frames, exactly.
FramePosition minus_frames(FramePosition position, std::int64_t frames) {
  return FramePosition{position.num - frames * position.den, position.den};
}

}  // namespace

FrameRemap remap_source_frame(const CutMap& map, std::int64_t frame) {
  const std::size_t n = map.size();
  FrameRemap remap;
  // The running count of frames deleted so far; it starts at -1 to cancel the
  // notional frame -1 of the leading interval. Hand-typed lists may hold
  // frame numbers near the int limits, so it wraps instead of overflowing.
  std::int32_t count = -1;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    const std::int32_t d = map[i];
    const std::int32_t e = map[i + 1];
    count = wrap_add(wrap_add(count, wrap_sub(e, d)), 1);
    if (d <= frame && frame <= e) {
      // Inside the deleted interval [d, e]: the cut point is where the kept
      // stretch after it begins.
      remap.kind = FrameRemap::Kind::AtCut;
      remap.cut_frame = std::int64_t{e} + 1 - count;
      remap.pair = i / 2;
      return remap;
    }
    // A map always ends in -1, -1, so i + 2 < n here for every well-formed
    // map; a map cut short simply has no kept stretch after its last pair.
    if (i + 2 < n && e < frame && frame < map[i + 2]) {
      remap.kind = FrameRemap::Kind::Kept;
      remap.shift = count;
      remap.pair = i / 2;
      return remap;
    }
  }
  remap.kind = FrameRemap::Kind::BeyondLastKept;
  remap.cut_frame = -std::int64_t{count};
  return remap;
}

FramePosition remap_frame(const CutMap& map, FramePosition position, int side) {
  const FrameRemap remap = remap_source_frame(map, frame_of(position));
  switch (remap.kind) {
    case FrameRemap::Kind::Kept:
      return minus_frames(position, remap.shift);
    case FrameRemap::Kind::AtCut:
      return whole_frames(remap.cut_frame, position);
    case FrameRemap::Kind::BeyondLastKept:
      break;
  }
  return whole_frames(side < 0 ? remap.cut_frame : kBeyondLastKept, position);
}

}  // namespace mendra::test

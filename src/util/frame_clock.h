// The frame clock: when each frame of the uncut video is shown. Every
// conversion between a time and a frame goes through it, so that the cut-list
// readers, the cut summary and the re-timing work the same whatever the clock
// is made of. It answers which frame is shown at a time (the last frame that
// starts at or before it), when a frame starts, and which is the first frame
// that starts at or after a time (where a cut list's time begins a range);
// the cut video's frames, which depend on the cut map too, are worked out
// from these by the re-timing table.
#pragma once

#include <cstdint>
#include <string>

#include "util/frame_rate.h"

namespace mendra {

struct FrameClock {
  // A constant rate: frame n starts at n / rate seconds.
  FrameRate rate = fps_frame_rate(kFallbackFps);
};

// A rate that is not positive (a record filled elsewhere) falls back to the
// default rather than dividing by zero.
inline FrameClock constant_clock(FrameRate rate) {
  if (rate.num <= 0 || rate.den <= 0) return FrameClock{};
  return FrameClock{rate};
}

// The exact frames-to-milliseconds scale of a constant clock.
inline FrameScale clock_scale(const FrameClock& clock) {
  return frame_scale(clock.rate);
}

// How long `frames` frames last, in milliseconds truncated toward zero and
// saturated to the int range; negative counts give negative durations.
int frames_duration_ms(const FrameClock& clock, std::int64_t frames);

// The text after "\tframe rate  : ": "30000/1001 (29.970 fps)".
std::string frame_rate_line(const FrameClock& clock);

}  // namespace mendra

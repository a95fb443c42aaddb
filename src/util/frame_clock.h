// The frame clock: when each frame of the uncut video is shown. Every
// conversion between a time and a frame goes through it, so that the cut-list
// readers, the cut summary and the re-timing work the same whatever the clock
// is made of.
#pragma once

#include "util/frame_rate.h"

namespace mendra {

struct FrameClock {
  // A constant rate: frame n starts at n / rate seconds.
  FrameRate rate = fps_frame_rate(kFallbackFps);
};

inline FrameClock constant_clock(FrameRate rate) {
  return FrameClock{rate};
}

}  // namespace mendra

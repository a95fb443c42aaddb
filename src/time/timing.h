// What re-timing one input needs: the frame clock of the uncut video and the
// two delays added after the cut, in milliseconds.
#pragma once

#include "time/frame_clock.h"

namespace mendra {

struct Timing {
  FrameClock clock;
  int delay_ms = 0;     // given with -delay
  int ts_delay_ms = 0;  // measured from the transport stream
};

}  // namespace mendra

// What re-timing one input needs, as the options chose it: the frame clock
// of the uncut video and the steps after the cut (the two delays, the change
// of frame rate, the sync).
#pragma once

#include "time/frame_clock.h"
#include "time/time_steps.h"

namespace mendra {

struct Timing {
  FrameClock clock;
  int delay_ms = 0;     // given with -delay
  int ts_delay_ms = 0;  // measured from the transport stream
  SpeedStep speed;      // -fps-change
  SyncStep sync;        // -sync
  // -rate, -fps or -timecodes chose the clock: a subtitle's own rate line
  // does not change it.
  bool clock_named = false;
};

}  // namespace mendra

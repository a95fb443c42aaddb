// The cut video's timecode file: one time per kept frame, so that the cut
// video can be muxed with the frame times it really has.
#pragma once

#include <string>

#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "time/time_steps.h"
#include "util/log.h"

namespace mendra {

// Writes "# timestamp format v2" and the start of every frame of the cut
// video in milliseconds, with decimals only where a time is not a whole
// millisecond; through a file beside `path` renamed into place. The frames
// follow the map's kept stretches in order; a stretch open toward the end of
// the video ends with the clock's file, and has no end on a constant clock,
// which is refused. The times are those of the cut video played at the new
// speed of `speed`. Says itself why it failed.
bool write_cut_timecodes(const std::string& path, const CutMap& map, const FrameClock& clock,
                         const SpeedStep& speed, const Log& log);

// One time as the file writes it: "33.366667", "1001".
std::string timecode_ms_text(std::int64_t ns);

}  // namespace mendra

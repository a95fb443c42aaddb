// The cut video's timecode file: one time per kept frame, so that the cut
// video can be muxed with the frame times it really has.
#pragma once

#include <string>

#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "time/time_steps.h"
#include "util/log.h"
#include "util/output_file.h"

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

// write_cut_timecodes without its last step: the file is written whole into
// `file` (a new file beside `path`) and nothing replaces `path` yet, so it
// can be committed together with the subtitles of its input; `frames` is
// the number of frames it lists. Says itself why it failed; a failed commit
// is said by report_cut_timecodes_failure.
bool prepare_cut_timecodes(const std::string& path, const CutMap& map, const FrameClock& clock,
                           const SpeedStep& speed, const Log& log, OutputFile& file,
                           std::int64_t& frames);

// A timecode file whose commit failed: "output timecodes write error:
// <path>: <reason>".
void report_cut_timecodes_failure(const std::string& path, const OutputFile& file, const Log& log);

// One time as the file writes it: "33.366667", "1001".
std::string timecode_ms_text(std::int64_t ns);

}  // namespace mendra

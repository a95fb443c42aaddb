// Video start: the PTS of the first I picture and of the picture at which
// the video is taken to start, from the MPEG-2 sequence, GOP and picture
// headers in the packets of the video PID.
#pragma once

#include <cstdint>

#include "util/settings.h"
#include "ts/pes.h"
#include "ts/ts_packet.h"
#include "ts/ts_stream.h"

namespace mendra {

// Scans one packet of the video PID, called right after its header was
// read. 1 when a picture header was found in it, 0 when none was (or a read
// failed), -1 for a continuation packet while no search is pending (nothing
// read).
int scan_video_payload(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left,
                       std::int64_t& start_video_pts, std::int64_t& start_iframe_pts,
                       EsScanState& state, const RunSettings& settings);

// Searches the first `length` bytes of state.payload_buffer from `start`
// for a picture start code, counting GOP start codes on the way. Positions
// from length - 5 on are left to the next search, which gets them as the
// carried bytes. The position of the picture start code; length - 5 when
// there is none; -1 when start lies beyond length - 5.
int find_picture_header(int length, int start, std::int64_t pts, std::int64_t& start_video_pts,
                        std::int64_t& start_iframe_pts, EsScanState& state,
                        const RunSettings& settings);

}  // namespace mendra

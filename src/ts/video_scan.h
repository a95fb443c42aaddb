// Video start: the PTS of the first I picture and of the picture at which
// the video is taken to start, from the MPEG-2 sequence, GOP and picture
// headers in the packets of the video PID.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "ts/es_scan.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

// A picture start code is decoded with the two header bytes behind it; the
// bytes at which one could not yet be decoded are carried into the search
// of the next continuation packet.
inline constexpr std::size_t kVideoCarryBytes = 5;

// State of one pass of the MPEG-2 video scanner.
struct VideoScanState {
  // The last bytes searched, for the next continuation packet's search.
  std::array<std::uint8_t, kVideoCarryBytes> carry{};
  bool scan_pending = false;            // a PES's header search goes on in continuations
  bool iframe_seen = false;             // the I-picture rule has fired
  std::optional<Ticks90k> pending_pts;  // PTS of the PES whose search goes on
  int gop_count = -1;                   // GOP start codes met in this pass, minus one
};

// Scans one packet of the video PID, called right after its header was
// read. Found when a picture header was decoded in it; Searched when none
// was (or a read failed); Passed for a continuation packet while no search
// is pending (nothing read). Sets result.key_pts at the first I picture and
// result.start_pts at the start picture.
PacketScan scan_video_payload(PacketCursor& cursor, const TsPacketHeader& header,
                              VideoScanState& state, EsPassResult& result,
                              const ScanContext& context);

// Searches `bytes` from `start` for a picture start code, counting GOP
// start codes on the way. The last five positions are left to the next
// search, which gets them as the carried bytes. The position of the picture
// start code; bytes.size() - 5 when there is none; -1 when start lies
// beyond that.
int find_picture_header(std::span<const std::uint8_t> bytes, int start, std::optional<Ticks90k> pts,
                        VideoScanState& state, EsPassResult& result, std::int64_t sync_offset,
                        const ScanContext& context);

}  // namespace mendra

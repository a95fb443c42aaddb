// Audio start: the PTS of the first PES of the audio PID that holds an
// ADTS-AAC frame header.
#pragma once

#include <cstdint>

#include "util/settings.h"
#include "ts/pes.h"
#include "ts/ts_packet.h"
#include "ts/ts_stream.h"

namespace mendra {

// The first three bytes of an ADTS fixed header with syncword, ID 1
// (MPEG-2 AAC) and profile 1 (low complexity).
bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c);

// Scans one packet of the audio PID, called right after its header was
// read. -1 for a continuation packet while no search is pending (nothing
// read), 0 otherwise. Sets start_audio_pts when a header is found.
int scan_audio_payload(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left,
                       std::int64_t& start_audio_pts, EsScanState& state,
                       const RunSettings& settings);

}  // namespace mendra

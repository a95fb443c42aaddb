// Audio start: the PTS of the first PES of the audio PID that holds an
// ADTS-AAC frame header.
#pragma once

#include <array>
#include <cstdint>

#include "ts/es_scan.h"
#include "ts/ts_packet.h"
#include "util/settings.h"

namespace mendra {

// The header test takes three bytes: two are carried across a boundary.
inline constexpr std::size_t kAudioCarryBytes = 2;

// State of one pass of the ADTS-AAC audio scanner.
struct AudioScanState {
  // The last two payload bytes searched, for the next continuation packet.
  std::array<std::uint8_t, kAudioCarryBytes> carry{};
  bool scan_pending = false;     // a PES's header search goes on in continuations
  std::int64_t pending_pts = 0;  // PTS of the PES whose search goes on
};

// The first three bytes of an ADTS fixed header with syncword, ID 1
// (MPEG-2 AAC) and profile 1 (low complexity).
bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c);

// Scans one packet of the audio PID, called right after its header was
// read. Passed for a continuation packet while no search is pending
// (nothing read); Found when a header was found, which sets
// result.start_pts; Searched otherwise.
PacketScan scan_audio_payload(PacketCursor& cursor, const TsPacketHeader& header,
                              AudioScanState& state, EsPassResult& result,
                              const RunSettings& settings);

}  // namespace mendra

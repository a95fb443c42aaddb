// What the video and the audio scan share: the scan state of one pass and
// the PES header reader.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "util/settings.h"
#include "ts/ts_stream.h"

namespace mendra {

// Carried bytes and one packet's payload (at most 184 bytes).
inline constexpr std::size_t kPayloadBufferBytes = 192;

using StartCode = std::array<std::uint8_t, 4>;
inline constexpr StartCode kVideoPesStartCode = {0x00, 0x00, 0x01, 0xE0};
inline constexpr StartCode kAudioPesStartCode = {0x00, 0x00, 0x01, 0xC0};

// State of one scan pass; one record per measurement, passed by reference.
struct EsScanState {
  // Video: carried bytes at 0 to 4, then the payload. Audio: carried bytes
  // at 0 and 1.
  std::array<std::uint8_t, kPayloadBufferBytes> payload_buffer{};
  std::uint8_t pes_seen = 0;      // a start packet of the scanned PID was met
  std::uint8_t scan_pending = 0;  // a PES's header search goes on in continuations
  std::uint8_t iframe_seen = 0;   // the I-picture rule has fired
  std::int64_t pending_pts = 0;   // PTS of the PES whose search goes on
  // File offset of the current packet's sync byte; recordings exceed 2 GiB.
  std::int64_t ts_bytes_read = 0;
  int gop_count = -1;  // GOP start codes met in this pass, minus one
};

// Prepares the state for a pass; payload_buffer and ts_bytes_read stay.
void reset_es_scan(EsScanState& state);

// Decodes a five-byte PTS or DTS field into a 33-bit count.
std::int64_t decode_time_stamp(std::span<const std::uint8_t, 5> field);

// Finds start_code within the current packet and reads the PES header
// behind it. 0 with the stream at the first payload byte; -1 when no header
// was found in the packet, a read failed or PES_header_data_length is 0.
// pts is written only with a PTS, dts only with PTS and DTS.
int read_pes_header(TsStream& stream, const StartCode& start_code, int& packet_bytes_left,
                    std::int64_t& pts, std::int64_t& dts, const RunSettings& settings);

}  // namespace mendra

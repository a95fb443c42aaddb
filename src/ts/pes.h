// The PES header reader that the elementary-stream scanners share.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "time/time_types.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

using StartCode = std::array<std::uint8_t, 4>;
inline constexpr StartCode kVideoPesStartCode = {0x00, 0x00, 0x01, 0xE0};
inline constexpr StartCode kAudioPesStartCode = {0x00, 0x00, 0x01, 0xC0};

// Decodes a five-byte PTS or DTS field into a 33-bit count.
std::int64_t decode_time_stamp(std::span<const std::uint8_t, 5> field);

// Finds start_code within the current packet and reads the PES header
// behind it. True with the cursor at the first payload byte; false when no
// header was found in the packet, a read failed or PES_header_data_length
// is 0. pts is set only with a PTS, dts only with PTS and DTS.
bool read_pes_header(PacketCursor& cursor, const StartCode& start_code,
                     std::optional<Ticks90k>& pts, std::optional<Ticks90k>& dts, const Log& log);

// Which stream ids a scanner takes: one PID's PES may carry any of several
// (audio as 0xC0 to 0xDF, AC-3 as private_stream_1 0xBD, ...).
using StreamIdTest = bool (*)(std::uint8_t stream_id);

// As above, for the first 00 00 01 prefix whose stream id passes the test.
bool read_pes_header(PacketCursor& cursor, StreamIdTest accepts, std::optional<Ticks90k>& pts,
                     std::optional<Ticks90k>& dts, const Log& log);

}  // namespace mendra

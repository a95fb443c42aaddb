// Measurement of the start delay from an MPEG-2 transport stream, and the
// DGIndex project reader that names the stream.
#pragma once

#include <cstdint>
#include <string>

#include "util/settings.h"
#include "ts/ts_packet.h"
#include "ts/ts_stream.h"

namespace mendra {

enum DelayMode : int {
  DelayNone = -1,
  DelayDgindex = 0,  // -md
  DelayMpg2vfp = 1,  // -mv
  DelayTmpgenc = 2,  // -mt
};

// Analyses ts_base + ".ts" and stores the delay for `mode` in
// settings.ts_delay_ms. Returns 1 on success and -1 on failure.
int measure_ts_delay(const std::string& ts_base, int mode, RunSettings& settings);

// Reads a DGIndex project: the stream's path without extension goes to
// ts_base, the project's start offset to d2v_start_bytes.
int read_d2v(const std::string& d2v_path, std::int64_t& d2v_start_bytes, std::string& ts_base,
             const RunSettings& settings);

// 2^33: one turn of the 33-bit 90 kHz clock.
inline constexpr std::int64_t kClockWrap = std::int64_t{1} << 33;
// A PTS up to this many ticks below the start PCR still counts as unwrapped.
inline constexpr std::int64_t kClockWrapThreshold = 5000;

// Positions the stream at the first byte of a PSI section: past the
// adaptation field and the pointer field.
void skip_to_section(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left);

// Skips what is left of the current packet, counts it in ts_bytes_read and
// reads the next header. The header read's result: 0, or -1 at the end.
int next_packet(TsStream& stream, TsPacketHeader& header, int& packet_bytes_left,
                std::int64_t& ts_bytes_read);

// The delay in ms from the start PCR to `pts`; a PTS more than 5000 ticks
// below the PCR is taken to have wrapped past 2^33.
int clock_delay_ms(std::int64_t pts, std::int64_t start_pcr);

}  // namespace mendra

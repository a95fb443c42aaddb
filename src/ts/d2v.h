// The DGIndex project reader: the project names the recorded stream and the
// byte at which it starts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/log.h"

namespace mendra {

// Reads a DGIndex project: the stream's path without extension goes to
// ts_base (set once the project's third line was read), the project's start
// offset to d2v_start_bytes. True when a Location line gave the offset.
bool read_d2v(const std::string& d2v_path, const Log& log, std::int64_t& d2v_start_bytes,
              std::string& ts_base);

// 2048-byte units of the project's Location fields.
inline constexpr int kD2vLocationUnitShift = 11;
// Project lines are read in pieces of at most this many bytes.
inline constexpr std::size_t kD2vPieceBytes = 259;

// Matches "Location=%x,%x,%x,%x" at the start of `line` with the rules of
// scanf's %x (white space, sign and 0x prefix allowed; a value beyond 32
// bits saturates). True when all four numbers were converted.
bool scan_d2v_location(std::string_view line, std::array<std::uint32_t, 4>& values);

// The start offset in bytes: (second - first) * 2048, in 64 bits, so
// projects that start beyond 2 GiB give the right offset.
std::int64_t d2v_location_bytes(const std::array<std::uint32_t, 4>& values);

}  // namespace mendra

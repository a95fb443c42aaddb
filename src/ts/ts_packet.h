// Transport packets: the sync search, the four header bytes and the
// adaptation-field length, the PCR base, and the one reader through which
// every byte of packet content passes.
#pragma once

#include <cstdint>
#include <span>

#include "ts/ts_stream.h"

namespace mendra {

inline constexpr int kTsPacketBytes = 188;
inline constexpr std::uint8_t kSyncByte = 0x47;
inline constexpr int kPcrFieldBytes = 7;  // flags byte + 6 bytes of PCR
inline constexpr std::uint8_t kPcrFlag = 0x10;
// Clock values are 33-bit counts of the 90 kHz clock.
inline constexpr std::int64_t kClockMask = (std::int64_t{1} << 33) - 1;
inline constexpr std::int64_t kClockTicksPerMs = 90;

// adaptation_field_control values.
inline constexpr std::uint8_t kPayloadOnly = 1;
inline constexpr std::uint8_t kAdaptationOnly = 2;
inline constexpr std::uint8_t kAdaptationAndPayload = 3;

struct TsPacketHeader {
  std::uint16_t pid = 0;
  std::uint8_t payload_unit_start = 0;  // 0x40 when set
  std::uint8_t adaptation_field_control = 0;
  std::uint8_t adaptation_length = 0;  // written only with an adaptation field
};

// Clears what read_ts_packet_header may leave unwritten, so that a field it
// does not reach reads as 0.
void clear_packet_header(TsPacketHeader& header);

// True when adaptation_field_control is 2 or 3.
bool has_adaptation_field(const TsPacketHeader& header);

// The one reader of packet content: reads up to dst.size() bytes and lowers
// packet_bytes_left by exactly what arrived. Returns that count.
std::size_t read_packet_bytes(TsStream& stream, std::span<std::uint8_t> dst,
                              int& packet_bytes_left);
// Skips `count` bytes of the stream (a relative seek) and lowers
// packet_bytes_left by them. A count below 1 skips nothing.
void skip_packet_bytes(TsStream& stream, int count, int& packet_bytes_left);
// Skips the adaptation field's own bytes when the packet has a non-empty one.
void skip_adaptation_field(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left);

// Finds the next sync byte and decodes the header behind it. 0 when the
// sync byte and the two PID bytes were read, -1 at the end of the file.
// Every byte discarded by the sync search raises ts_bytes_read by one.
int read_ts_packet_header(TsStream& stream, TsPacketHeader& header, int& packet_bytes_left,
                          std::int64_t& ts_bytes_read);

// Called just behind the adaptation-length byte: the 33-bit PCR base, or -1
// when the field is too short, its bytes are missing or its PCR_flag is clear.
std::int64_t read_pcr(TsStream& stream, std::uint8_t adaptation_length, int& packet_bytes_left);

}  // namespace mendra

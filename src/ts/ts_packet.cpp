#include "ts/ts_packet.h"

#include <array>

namespace mendra {

void clear_packet_header(TsPacketHeader& header) {
  header.payload_unit_start = 0;
  header.adaptation_field_control = 0;
  header.adaptation_length = 0;
}

bool has_adaptation_field(const TsPacketHeader& header) {
  return header.adaptation_field_control == kAdaptationOnly ||
         header.adaptation_field_control == kAdaptationAndPayload;
}

std::size_t read_packet_bytes(TsStream& stream, std::span<std::uint8_t> dst,
                              int& packet_bytes_left) {
  const std::size_t got = stream.read(dst);
  // At most a few hundred bytes per call: no overflow of the int count.
  packet_bytes_left -= static_cast<int>(got);
  return got;
}

void skip_packet_bytes(TsStream& stream, int count, int& packet_bytes_left) {
  if (count <= 0) return;
  stream.skip(count);
  packet_bytes_left -= count;
}

void skip_adaptation_field(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left) {
  if (header.adaptation_field_control > kPayloadOnly && header.adaptation_length != 0) {
    skip_packet_bytes(stream, header.adaptation_length, packet_bytes_left);
  }
}

int read_ts_packet_header(TsStream& stream, TsPacketHeader& header, int& packet_bytes_left,
                          std::int64_t& ts_bytes_read) {
  for (;;) {
    const int sync = stream.read_byte();
    if (sync < 0) return -1;
    if (sync != kSyncByte) {
      ++ts_bytes_read;
      continue;
    }
    // The sync byte is the packet's first byte; the search above is the one
    // place that reads bytes before it is known whether they belong to one.
    --packet_bytes_left;
    std::array<std::uint8_t, 2> pid_bytes{};
    if (read_packet_bytes(stream, pid_bytes, packet_bytes_left) < pid_bytes.size()) continue;
    // transport_error_indicator (1), payload_unit_start_indicator (1),
    // transport_priority (1), PID (13)
    header.pid = static_cast<std::uint16_t>(((pid_bytes[0] & 0x1F) << 8) | pid_bytes[1]);
    header.payload_unit_start = pid_bytes[0] & 0x40;
    header.adaptation_field_control = 0;
    std::array<std::uint8_t, 1> byte3{};
    if (read_packet_bytes(stream, byte3, packet_bytes_left) < byte3.size()) return 0;
    // transport_scrambling_control (2), adaptation_field_control (2),
    // continuity_counter (4)
    header.adaptation_field_control = (byte3[0] >> 4) & 3;
    if (!has_adaptation_field(header)) return 0;
    std::array<std::uint8_t, 1> length{};
    // adaptation_field_length (8)
    if (read_packet_bytes(stream, length, packet_bytes_left) == length.size()) {
      header.adaptation_length = length[0];
    }
    return 0;
  }
}

std::int64_t read_pcr(TsStream& stream, std::uint8_t adaptation_length, int& packet_bytes_left) {
  if (adaptation_length < kPcrFieldBytes) return -1;
  std::array<std::uint8_t, kPcrFieldBytes> b{};
  if (read_packet_bytes(stream, b, packet_bytes_left) < b.size()) return -1;
  // Recordings cut mid-stream begin with stuffing adaptation fields (all
  // 0xFF after the flags) on the PCR PID: without PCR_flag these bytes are
  // not a clock and would give a start PCR seconds off.
  if ((b[0] & kPcrFlag) == 0) return -1;
  // program_clock_reference_base (33), reserved (6), extension (9); the
  // base's top bit lands on bit 32, so the shifts are done in 64 bits.
  const std::int64_t base = (std::int64_t{b[1]} << 25) | (std::int64_t{b[2]} << 17) |
                            (std::int64_t{b[3]} << 9) | (std::int64_t{b[4]} << 1) |
                            (std::int64_t{b[5]} >> 7);
  return base & kClockMask;
}

}  // namespace mendra

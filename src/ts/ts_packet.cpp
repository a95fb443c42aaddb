#include "ts/ts_packet.h"

#include <algorithm>
#include <array>
#include <vector>

namespace mendra {
namespace {

constexpr int kPointerFieldBytes = 1;

}  // namespace

void clear_packet_header(TsPacketHeader& header) {
  header.payload_unit_start = 0;
  header.adaptation_field_control = 0;
  header.adaptation_length = 0;
}

bool has_adaptation_field(const TsPacketHeader& header) {
  return header.adaptation_field_control == kAdaptationOnly ||
         header.adaptation_field_control == kAdaptationAndPayload;
}

std::size_t read_available_bytes(PacketCursor& cursor, std::span<std::uint8_t> dst) {
  if (cursor.overran) return 0;
  if (cursor.bytes_left < 0 || dst.size() > static_cast<std::size_t>(cursor.bytes_left)) {
    cursor.overran = true;
    return 0;
  }
  const std::size_t got = cursor.stream.read(dst);
  // At most a packet's worth: no overflow of the int count.
  cursor.bytes_left -= static_cast<int>(got);
  if (got < dst.size()) cursor.overran = true;
  return got;
}

bool read_packet_bytes(PacketCursor& cursor, std::span<std::uint8_t> dst) {
  return read_available_bytes(cursor, dst) == dst.size() && !cursor.overran;
}

void skip_packet_bytes(PacketCursor& cursor, int count) {
  if (count <= 0) return;
  if (count > cursor.bytes_left) cursor.overran = true;
  cursor.stream.skip(count);
  cursor.bytes_left -= count;
}

void skip_adaptation_field(PacketCursor& cursor, const TsPacketHeader& header) {
  if (header.adaptation_field_control > kPayloadOnly && header.adaptation_length != 0) {
    skip_packet_bytes(cursor, header.adaptation_length);
  }
}

void skip_to_section(PacketCursor& cursor, const TsPacketHeader& header) {
  skip_adaptation_field(cursor, header);
  // pointer_field (8): its value is not used, the section is taken to begin
  // right behind it.
  skip_packet_bytes(cursor, kPointerFieldBytes);
}

bool read_ts_packet_header(PacketCursor& cursor, TsPacketHeader& header) {
  clear_packet_header(header);
  for (;;) {
    const int sync = cursor.stream.read_byte();
    if (sync < 0) return false;
    if (sync != kSyncByte) {
      ++cursor.sync_offset;
      continue;
    }
    // The sync byte is the packet's first byte; the search above is the one
    // place that reads bytes before it is known whether they belong to one.
    cursor.bytes_left = kTsPacketBytes - 1;
    cursor.overran = false;
    std::array<std::uint8_t, 3> b{};
    const auto pid_bytes = std::span(b).first<2>();
    if (!read_packet_bytes(cursor, pid_bytes)) continue;
    // transport_error_indicator (1), payload_unit_start_indicator (1),
    // transport_priority (1), PID (13)
    header.pid = static_cast<std::uint16_t>(((b[0] & 0x1F) << 8) | b[1]);
    header.payload_unit_start = b[0] & 0x40;
    header.adaptation_field_control = 0;
    if (!read_packet_bytes(cursor, std::span(b).subspan<2, 1>())) return true;
    // transport_scrambling_control (2), adaptation_field_control (2),
    // continuity_counter (4)
    header.adaptation_field_control = (b[2] >> 4) & 3;
    if (!has_adaptation_field(header)) return true;
    std::array<std::uint8_t, 1> length{};
    // adaptation_field_length (8)
    if (read_packet_bytes(cursor, length)) header.adaptation_length = length[0];
    return true;
  }
}

bool next_packet(PacketCursor& cursor, TsPacketHeader& header) {
  leave_packet(cursor);
  return read_ts_packet_header(cursor, header);
}

bool begin_packet_walk(PacketCursor& cursor, TsPacketHeader& header) {
  cursor.stream.seek(cursor.layout.walk_start);
  cursor.sync_offset = cursor.layout.walk_start;
  return read_ts_packet_header(cursor, header);
}

namespace {

// True when kLayoutCheckPackets sync bytes stand `stride` bytes apart from
// `first` on, all inside `head`.
bool syncs_repeat(std::span<const std::uint8_t> head, std::size_t first, std::size_t stride) {
  const std::size_t last = first + (kLayoutCheckPackets - 1) * stride;
  if (last >= head.size()) return false;
  for (std::size_t at = first; at <= last; at += stride) {
    if (head[at] != kSyncByte) return false;
  }
  return true;
}

}  // namespace

PacketLayout detect_packet_layout(std::span<const std::uint8_t> head) {
  constexpr auto kPlainStride = static_cast<std::size_t>(kTsPacketBytes);
  constexpr auto kStampedStride =
      static_cast<std::size_t>(kTsPacketBytes) + static_cast<std::size_t>(kTimeStampPrefixBytes);
  const std::size_t end = std::min(head.size(), static_cast<std::size_t>(kLayoutSearchBytes));
  for (std::size_t first = 0; first < end; ++first) {
    if (head[first] != kSyncByte) continue;
    // A plain stream keeps the walk it always had, from offset 0.
    if (syncs_repeat(head, first, kPlainStride)) return PacketLayout{};
    if (syncs_repeat(head, first, kStampedStride)) {
      // A time stamp may end in 0x47 packet after packet (a clock that
      // rises by a multiple of 256): its bytes stand before the sync byte,
      // so the sync byte is the last offset within a prefix's reach at
      // which the run repeats.
      std::size_t sync = first;
      for (std::size_t at = first + 1; at <= first + kTimeStampPrefixBytes; ++at) {
        if (syncs_repeat(head, at, kStampedStride)) sync = at;
      }
      return PacketLayout{kTimeStampPrefixBytes, static_cast<std::int64_t>(sync)};
    }
  }
  return PacketLayout{};
}

PacketLayout detect_packet_layout(TsStream& stream) {
  std::vector<std::uint8_t> head(kLayoutHeadBytes);
  stream.seek(0);
  head.resize(stream.read(head));
  stream.seek(0);
  return detect_packet_layout(head);
}

std::int64_t read_pcr(PacketCursor& cursor, std::uint8_t adaptation_length) {
  if (adaptation_length < kPcrFieldBytes) return -1;
  std::array<std::uint8_t, kPcrFieldBytes> b{};
  if (!read_packet_bytes(cursor, b)) return -1;
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

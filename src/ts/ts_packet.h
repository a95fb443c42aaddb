// Transport packets: the cursor through which every byte of packet content
// passes, the sync search, the four header bytes and the adaptation-field
// length, the PCR base, and the walk from one packet to the next.
#pragma once

#include <cstdint>
#include <span>
#include <type_traits>

#include "ts/ts_stream.h"

namespace mendra {

inline constexpr int kTsPacketBytes = 188;
// Blu-ray and camcorder recordings (.m2ts, .mts) put a 4-byte arrival time
// stamp in front of every packet: 192 bytes from one sync byte to the next.
inline constexpr int kTimeStampPrefixBytes = 4;
inline constexpr std::uint8_t kSyncByte = 0x47;
inline constexpr int kPcrFieldBytes = 7;  // flags byte + 6 bytes of PCR
inline constexpr std::uint8_t kPcrFlag = 0x10;
// Clock values are 33-bit counts of the 90 kHz clock.
inline constexpr std::int64_t kClockMask = (std::int64_t{1} << 33) - 1;

// adaptation_field_control values.
inline constexpr std::uint8_t kPayloadOnly = 1;
inline constexpr std::uint8_t kAdaptationOnly = 2;
inline constexpr std::uint8_t kAdaptationAndPayload = 3;

// How the packets lie in the file, found once per stream by
// detect_packet_layout. A plain stream's walk starts at offset 0 and finds
// its first sync byte by the byte-wise search; a time-stamped one starts at
// the first sync byte that the detection confirmed, since its prefixes may
// hold 0x47 bytes that the search would take for a sync byte.
struct PacketLayout {
  int prefix_bytes = 0;         // 0, or kTimeStampPrefixBytes
  std::int64_t walk_start = 0;  // where every pass begins
};

// Where a walk stands in the stream. bytes_left counts the current packet's
// bytes not yet read or skipped; a skip that claims more than the packet
// holds leaves it below 0 (the stream has then moved on by the full count,
// as a relative seek does). sync_offset is the file offset of the current
// packet's sync byte (of the sync byte, not of a time-stamp prefix before
// it, so that the offset means the same whatever the packet size: the
// first byte a reader starting there takes as a packet); recordings exceed
// 2 GiB. Once a read would pass the
// end of the packet or of the file, `overran` stays set and every later
// read of the packet fails: a parser does a group of reads and checks once.
struct PacketCursor {
  TsStream& stream;
  int bytes_left = kTsPacketBytes;
  std::int64_t sync_offset = 0;
  bool overran = false;
  PacketLayout layout{};
};

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

// The one reader of packet content: fills all of dst from the packet and
// lowers bytes_left by dst.size(). A read that the packet or the file cannot
// satisfy whole sets `overran` and returns false; while `overran` is set,
// nothing is read.
bool read_packet_bytes(PacketCursor& cursor, std::span<std::uint8_t> dst);
// As read_packet_bytes, for a caller that can use a part: returns how many
// bytes arrived (fewer than dst.size() only at the end of the file, which
// also sets `overran`).
std::size_t read_available_bytes(PacketCursor& cursor, std::span<std::uint8_t> dst);
// Skips `count` bytes of the stream (a relative seek) and lowers bytes_left
// by them; a count beyond the packet sets `overran`. A count below 1 skips
// nothing.
void skip_packet_bytes(PacketCursor& cursor, int count);
// Skips the adaptation field's own bytes when the packet has a non-empty one.
void skip_adaptation_field(PacketCursor& cursor, const TsPacketHeader& header);
// Positions the cursor at the first byte of a PSI section: past the
// adaptation field and the pointer field.
void skip_to_section(PacketCursor& cursor, const TsPacketHeader& header);

// Finds the next sync byte and decodes the header behind it, starting a new
// packet in the cursor. True when the sync byte and the two PID bytes were
// read, false at the end of the file. Every byte discarded by the sync
// search raises sync_offset by one.
bool read_ts_packet_header(PacketCursor& cursor, TsPacketHeader& header);

// Skips what is left of the current packet, counts the packet in sync_offset
// and reads the next header; false at the end of the file.
bool next_packet(PacketCursor& cursor, TsPacketHeader& header);

// Leaves the current packet. One skip takes the rest of this packet and the
// next one's time-stamp prefix together (a prefix of 0 for plain streams),
// so the per-packet path is the same for both sizes.
inline void leave_packet(PacketCursor& cursor) {
  const int rest = cursor.bytes_left > 0 ? cursor.bytes_left : 0;
  cursor.stream.skip(rest + cursor.layout.prefix_bytes);
  cursor.sync_offset += kTsPacketBytes + cursor.layout.prefix_bytes;
}

// The payload of a packet without adaptation field.
inline constexpr std::size_t kPlainPayloadBytes = kTsPacketBytes - 4;

// Where next_packet_of stopped.
enum class WalkStop {
  Header,  // a header of the PID was read: the packet is the caller's
  Taken,   // the payload taker asked to stop behind the packet it took
  End,     // the end of the file
};

// Takes no payload: next_packet_of then reads every packet of the PID.
struct NoPayloadTaker {};

// The walk stands at a packet's sync byte: passes over the packets of other
// PIDs that the window holds whole enough to read their PID, as long as
// each begins with a sync byte, and hands the payload of every continuation
// packet of `pid` without adaptation field that the window holds whole to
// `take` (payload, offset of its sync byte), which returns true to stop
// behind it. Whatever is not plain (a lost sync, a header split by the
// window's end, a start packet) is left to read_ts_packet_header.
template <typename Take>
WalkStop pass_plain_packets(PacketCursor& cursor, std::uint16_t pid, Take& take) {
  constexpr bool kTakes = !std::is_same_v<Take, NoPayloadTaker>;
  const auto stride = static_cast<std::size_t>(kTsPacketBytes + cursor.layout.prefix_bytes);
  // Packets this far ahead are asked for early: a walk that reads four
  // bytes of each packet waits for memory, not for work.
  constexpr std::size_t kPrefetchPackets = 8;
  for (;;) {
    if (!cursor.stream.ensure_window()) return WalkStop::Header;
    const std::span<const std::uint8_t> window = cursor.stream.peek();
    const std::uint8_t* const bytes = window.data();
    const std::size_t n = window.size();
    std::size_t at = 0;
    bool stop = false;
    while (at + 3 <= n && bytes[at] == kSyncByte) {
      if (at + (kPrefetchPackets + 1) * stride < n) {
        // Every cache line of the packet: a taker reads its whole payload.
        const std::uint8_t* const ahead = bytes + at + kPrefetchPackets * stride;
        __builtin_prefetch(ahead);
        if constexpr (kTakes) {
          __builtin_prefetch(ahead + 64);
          __builtin_prefetch(ahead + 128);
        }
      }
      const unsigned packet_pid = ((bytes[at + 1] & 0x1Fu) << 8) | bytes[at + 2];
      if (packet_pid != pid) {
        at += stride;
        continue;
      }
      if constexpr (kTakes) {
        // payload_unit_start_indicator clear, adaptation_field_control 1
        if (at + kTsPacketBytes <= n && (bytes[at + 1] & 0x40) == 0 &&
            (bytes[at + 3] & 0x30) == 0x10) {
          const auto payload = std::span<const std::uint8_t, kPlainPayloadBytes>(
              bytes + at + (kTsPacketBytes - kPlainPayloadBytes), kPlainPayloadBytes);
          stop = take(payload, cursor.sync_offset + static_cast<std::int64_t>(at));
          at += stride;
          if (stop) break;
          continue;
        }
      }
      break;
    }
    cursor.stream.skip(static_cast<std::int64_t>(at));
    cursor.sync_offset += static_cast<std::int64_t>(at);
    if (stop) return WalkStop::Taken;
    // Stopped inside the window: a packet of `pid` to read, a lost sync or
    // a split header.
    if (at < n) return WalkStop::Header;
  }
}

// As next_packet, repeated until a packet of `pid` is read: the packets of
// other PIDs in between are passed over by their sync byte and PID alone,
// and plain continuation packets of `pid` go to `take`, as
// pass_plain_packets says.
template <typename Take = NoPayloadTaker>
WalkStop next_packet_of(PacketCursor& cursor, std::uint16_t pid, TsPacketHeader& header,
                        Take&& take = {}) {
  leave_packet(cursor);
  for (;;) {
    if (pass_plain_packets(cursor, pid, take) == WalkStop::Taken) return WalkStop::Taken;
    if (!read_ts_packet_header(cursor, header)) return WalkStop::End;
    if (header.pid == pid) return WalkStop::Header;
    leave_packet(cursor);
  }
}

// Starts a walk at the head of the stream (layout.walk_start): the first
// header is read.
bool begin_packet_walk(PacketCursor& cursor, TsPacketHeader& header);

// A packet size counts as found when this many sync bytes in a row stand
// one packet apart; a first sync byte further into the file than
// kLayoutSearchBytes is not looked for.
inline constexpr int kLayoutCheckPackets = 5;
inline constexpr int kLayoutSearchBytes = 4096;
// Bytes of the stream's head that detect_packet_layout needs to decide.
inline constexpr std::size_t kLayoutHeadBytes =
    kLayoutSearchBytes + (kLayoutCheckPackets - 1) * (kTsPacketBytes + kTimeStampPrefixBytes) + 1;

// The layout of a stream whose first bytes are `head`: the first offset at
// which kLayoutCheckPackets sync bytes stand 188 bytes apart (plain) or 192
// bytes apart (time-stamped, the walk then starts at that sync byte, or at
// a later one within a prefix's reach when the time stamps themselves end in
// 0x47); 188 wins where both would. A head without either (junk, or too short to hold
// the packets checked) is read as plain, as a plain stream always was.
PacketLayout detect_packet_layout(std::span<const std::uint8_t> head);
// Reads the stream's head, detects its layout and returns to offset 0.
PacketLayout detect_packet_layout(TsStream& stream);

// Called just behind the adaptation-length byte: the 33-bit PCR base, or -1
// when the field is too short, its bytes are missing or its PCR_flag is clear.
std::int64_t read_pcr(PacketCursor& cursor, std::uint8_t adaptation_length);

}  // namespace mendra

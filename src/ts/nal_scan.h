// Video start for the NAL-unit codecs (H.264 and HEVC): the PTS of the
// first random-access picture and of the one at which the video is taken
// to start. The byte stream of the video PID is read into NAL-unit heads
// here; h264_scan.cpp and hevc_scan.cpp decide from those heads which
// pictures begin and which of them allow random access.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "ts/es_scan.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

// Bytes kept from the front of a NAL unit, its header included, after the
// emulation prevention bytes are taken out: enough for the slice header
// fields the scanners decode (first_mb_in_slice and slice_type of H.264,
// first_slice_segment_in_pic_flag of HEVC).
inline constexpr std::size_t kNalHeadBytes = 16;

// The front of one NAL unit, with where it began.
struct NalHead {
  std::array<std::uint8_t, kNalHeadBytes> bytes{};
  std::size_t size = 0;          // bytes held: fewer when the unit is shorter
  std::optional<Ticks90k> pts;   // PTS of the PES in which its start code ended
  std::int64_t sync_offset = 0;  // file offset of the packet that holds its start code
};

// The byte-stream reader's state between packets. The ES bytes of the PID
// run on from one packet to the next, across PES boundaries; what a start
// code or a head split by a boundary needs is carried here.
struct NalReader {
  bool synced = false;              // a PES header was read; later payload bytes follow it
  std::optional<Ticks90k> pes_pts;  // PTS of the PES being read (none when it has none)
  int zeros = 0;                    // 00 bytes just read, at most 3: a start code in the making
  bool gathering = false;           // the head of a NAL unit is being filled
  NalHead head;                     // the head being filled
};

// The NAL-unit heads completed while reading one packet, in stream order.
// A head completes when it is full or when the next start code ends its
// unit; a packet holds a start code at most every three bytes.
inline constexpr std::size_t kMaxNalHeadsPerPacket = (kTsPacketBytes - 4) / 3 + 2;
struct NalHeads {
  std::array<NalHead, kMaxNalHeadsPerPacket> heads;
  std::size_t count = 0;
};

// Reads one packet of the video PID into `reader`, called right after the
// packet's header was read. Passed when nothing was read (a continuation
// packet before any PES header); Searched otherwise, with the heads
// completed in this packet in `completed`. A start packet whose PES header
// cannot be read breaks the byte stream: the unit being filled is dropped.
PacketScan read_nal_packet(PacketCursor& cursor, const TsPacketHeader& header, NalReader& reader,
                           NalHeads& completed, const ScanContext& context);

// Feeds ES bytes to the reader: start codes 00 00 01 begin units, 00 00 03
// inside a unit loses its 03. Heads that complete are appended to
// `completed` (beyond its capacity they are dropped).
void feed_nal_bytes(std::span<const std::uint8_t> bytes, std::int64_t sync_offset,
                    NalReader& reader, NalHeads& completed);

// The random-access pictures met so far, for the start-picture gates.
struct RandomAccessCount {
  int count = -1;  // random-access pictures met in this pass, minus one
};

// Applies the two recording rules to a random-access picture with time
// stamp `pts` whose first slice lies in the packet at `sync_offset`: the
// first one of the pass sets result.key_pts; the one at which the -gop
// count or the d2v start offset is reached sets result.start_pts.
void record_random_access(std::optional<Ticks90k> pts, std::int64_t sync_offset,
                          RandomAccessCount& seen, EsPassResult& result,
                          const ScanContext& context);

// A picture whose random-access status is decided only when the next one
// begins (an H.264 picture of I slices only: every slice must be seen).
struct PendingPicture {
  bool open = false;
  bool intra = false;  // every slice so far was an intra slice
  std::optional<Ticks90k> pts;
  std::int64_t sync_offset = 0;
};

// State of one pass of a NAL-unit scanner, whatever the codec.
struct NalScanState {
  NalReader reader;
  // Refilled by every packet; kept here so that its heads are not set up
  // afresh for each one.
  NalHeads completed;
  RandomAccessCount random_access;
  PendingPicture picture;
};

// What a codec makes of one completed head: true when it was the first
// slice of a picture. It applies record_random_access itself.
using NalHeadHandler = bool (*)(const NalHead& head, NalScanState& state, EsPassResult& result,
                                const ScanContext& context);

// The one per-packet loop of the NAL-unit codecs: reads the packet into
// heads and hands each to the codec. Found when a picture's first slice was
// met in the packet, Searched when none was (or a read failed), Passed for a
// continuation packet before any PES header (nothing read).
template <NalHeadHandler Handle>
PacketScan scan_nal_payload(PacketCursor& cursor, const TsPacketHeader& header, NalScanState& state,
                            EsPassResult& result, const ScanContext& context) {
  const PacketScan read = read_nal_packet(cursor, header, state.reader, state.completed, context);
  bool picture_found = false;
  for (std::size_t i = 0; i < state.completed.count; ++i) {
    picture_found = Handle(state.completed.heads[i], state, result, context) || picture_found;
  }
  return picture_found ? PacketScan::Found : read;
}

// The same for a continuation packet without adaptation field, whose
// payload the pass takes from the stream's window: what scan_nal_payload
// does with such a packet, without a cursor.
template <NalHeadHandler Handle>
PacketScan scan_nal_plain_payload(std::span<const std::uint8_t, kPlainPayloadBytes> payload,
                                  std::int64_t sync_offset, NalScanState& state,
                                  EsPassResult& result, const ScanContext& context) {
  state.completed.count = 0;
  if (!state.reader.synced) return PacketScan::Passed;
  feed_nal_bytes(payload, sync_offset, state.reader, state.completed);
  bool picture_found = false;
  for (std::size_t i = 0; i < state.completed.count; ++i) {
    picture_found = Handle(state.completed.heads[i], state, result, context) || picture_found;
  }
  return picture_found ? PacketScan::Found : PacketScan::Searched;
}

// The codecs (h264_scan.cpp, hevc_scan.cpp).
bool handle_h264_head(const NalHead& head, NalScanState& state, EsPassResult& result,
                      const ScanContext& context);
bool handle_hevc_head(const NalHead& head, NalScanState& state, EsPassResult& result,
                      const ScanContext& context);

inline constexpr auto scan_h264_payload = &scan_nal_payload<handle_h264_head>;
inline constexpr auto scan_hevc_payload = &scan_nal_payload<handle_hevc_head>;
inline constexpr auto scan_h264_plain_payload = &scan_nal_plain_payload<handle_h264_head>;
inline constexpr auto scan_hevc_plain_payload = &scan_nal_plain_payload<handle_hevc_head>;

}  // namespace mendra

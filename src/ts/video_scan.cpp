#include "ts/video_scan.h"

#include <algorithm>
#include <array>

#include "ts/pes.h"

namespace mendra {
namespace {

constexpr std::uint8_t kPictureStartCode = 0x00;
constexpr std::uint8_t kSequenceHeaderCode = 0xB3;
constexpr std::uint8_t kGopStartCode = 0xB8;
constexpr int kStartCodeBytes = 4;
// A picture start code is decoded with the two header bytes behind it.
constexpr int kPictureHeadBytes = kStartCodeBytes + 2;
// Bytes kept from the end of one search for the next continuation packet:
// the positions at which a picture start code could not yet be decoded. A
// start code split over two packets is then seen whole, and one that ends a
// packet is decoded from the bytes the next packet brings, never from stale
// buffer bytes.
constexpr int kCarriedBytes = kPictureHeadBytes - 1;
static_assert(kVideoCarryBytes == kCarriedBytes);
// horizontal_size_value (12), vertical_size_value (12),
// aspect_ratio_information (4), frame_rate_code (4)
constexpr std::size_t kSequenceFieldBytes = 4;
// The payload of one packet behind the carried bytes.
constexpr std::size_t kMaxPayloadBytes = kTsPacketBytes - 4;
// Stands in front of carried bytes when a packet held fewer than five: a
// start code begins 00 00 01, so 0xFF can be no part of one.
constexpr std::uint8_t kCarryFiller = 0xFF;
constexpr int kIPicture = 1;

// Indexed by picture_coding_type (3 bits); 5 to 7 print a zero character.
constexpr std::array<char, 8> picture_type_letters = {'-', 'I', 'P', 'B', '-', '\0', '\0', '\0'};
// Indexed by aspect_ratio_information; reserved codes print as code 0.
constexpr std::array<const char*, 5> aspect_ratio_names = {"", "1:1", "4:3", "16:9", "2.21:1"};
// Indexed by frame_rate_code; reserved codes print as code 0.
constexpr std::array<double, 9> frame_rates = {
    0.0, 24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0, 50.0, 60000.0 / 1001.0, 60.0};

bool start_code_at(std::span<const std::uint8_t> b, int i, std::uint8_t code) {
  const auto at = static_cast<std::size_t>(i);
  return b[at] == 0x00 && b[at + 1] == 0x00 && b[at + 2] == 0x01 && b[at + 3] == code;
}

// `b` begins at the sequence header's start code and holds what the start
// packet brought of it. The size, aspect and rate fields are traced only
// when the packet holds their bytes; a header cut short by the end of the
// packet is named without them rather than with bytes it did not fill.
void trace_sequence_header(std::span<const std::uint8_t> b, const ScanContext& context) {
  context.log(LogLevel::Debug, "\t\t -- Sequence Header --\n");
  if (b.size() < kStartCodeBytes + kSequenceFieldBytes) return;
  // horizontal_size_value (12), vertical_size_value (12),
  // aspect_ratio_information (4), frame_rate_code (4)
  const int horizontal = (b[4] << 4) | (b[5] >> 4);
  const int vertical = ((b[5] & 0x0F) << 8) | b[6];
  const unsigned aspect = b[7] >> 4;
  const unsigned rate = b[7] & 0x0F;
  context.log(LogLevel::Debug, "\t\t frame_size: %dx%d\n", horizontal, vertical);
  context.log(LogLevel::Debug, "\t\t aspect_ratio: %s\n",
              aspect_ratio_names[aspect < aspect_ratio_names.size() ? aspect : 0]);
  context.log(LogLevel::Debug, "\t\t frame_rate: %f\n",
              frame_rates[rate < frame_rates.size() ? rate : 0]);
}

// Decodes the two picture-header bytes q4 and q5 and applies the I-picture
// and start-picture rules with time stamp `pts`.
void handle_picture_header(std::uint8_t q4, std::uint8_t q5, std::optional<Ticks90k> pts,
                           VideoScanState& state, EsPassResult& result, std::int64_t sync_offset,
                           const ScanContext& context) {
  // temporal_reference (10), picture_coding_type (3), vbv_delay (16) ...
  const int temporal_reference = (q4 << 2) | (q5 >> 6);
  const int picture_coding_type = (q5 >> 3) & 0x07;
  context.log(LogLevel::Debug, "\t\t -- Picture Header --\n");
  context.log(LogLevel::Debug, "\t\t picture_coding_type: %d [%c], temporal_reference: %d\n",
              picture_coding_type,
              picture_type_letters[static_cast<std::size_t>(picture_coding_type)],
              temporal_reference);
  if (picture_coding_type == kIPicture && !result.key_pts) {
    result.key_pts = pts;
    state.iframe_seen = true;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS I-Frame\n");
  }
  if (!result.start_pts && temporal_reference == 0 && state.iframe_seen &&
      start_rule_met(context.rule, state.gop_count, sync_offset)) {
    result.start_pts = pts;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS\n");
  }
}

// A start packet has filled the search with the first bytes of its own PES.
// Where it leaves no carry of its own, a search still pending from an
// earlier PES must not meet them again in the next continuation packet: a
// leading picture or GOP header would be decoded or counted a second time.
void drop_carry(VideoScanState& state) {
  state.carry.fill(kCarryFiller);
}

}  // namespace

int find_picture_header(std::span<const std::uint8_t> bytes, int start, std::optional<Ticks90k> pts,
                        VideoScanState& state, EsPassResult& result, std::int64_t sync_offset,
                        const ScanContext& context) {
  // The last positions cannot decide yet: they are carried into the next
  // search, which examines them from its position 0.
  const int limit = static_cast<int>(bytes.size()) - kCarriedBytes;
  if (start > limit) return -1;
  int i = std::max(start, 0);
  while (i < limit) {
    if (start_code_at(bytes, i, kGopStartCode)) {
      context.log(LogLevel::Debug, "\t\t -- GOP start Code --\n");
      ++state.gop_count;
      i += kStartCodeBytes;
      continue;
    }
    if (start_code_at(bytes, i, kPictureStartCode)) {
      const auto at = static_cast<std::size_t>(i) + kStartCodeBytes;
      handle_picture_header(bytes[at], bytes[at + 1], pts, state, result, sync_offset, context);
      state.pending_pts.reset();
      state.scan_pending = false;
      return i;
    }
    ++i;
  }
  return limit;
}

PacketScan scan_video_payload(PacketCursor& cursor, const TsPacketHeader& header,
                              VideoScanState& state, EsPassResult& result,
                              const ScanContext& context) {
  // The carried bytes, then one packet's payload.
  std::array<std::uint8_t, kVideoCarryBytes + kMaxPayloadBytes> buffer;
  const std::span<std::uint8_t> payload_area = std::span(buffer).subspan<kVideoCarryBytes>();

  if (header.payload_unit_start == 0) {
    if (!state.scan_pending) return PacketScan::Passed;
    skip_adaptation_field(cursor, header);
    const int n = cursor.bytes_left;
    if (cursor.overran || n < 0 || static_cast<std::size_t>(n) > kMaxPayloadBytes) {
      return PacketScan::Searched;
    }
    std::copy(state.carry.begin(), state.carry.end(), buffer.begin());
    if (!read_packet_bytes(cursor, payload_area.first(static_cast<std::size_t>(n)))) {
      return PacketScan::Searched;
    }
    const auto searched =
        std::span<const std::uint8_t>(buffer).first(kVideoCarryBytes + static_cast<std::size_t>(n));
    const int r = find_picture_header(searched, 0, state.pending_pts, state, result,
                                      cursor.sync_offset, context);
    if (r >= 0 && r < n) return PacketScan::Found;
    carry_tail(state.carry, searched, kCarryFiller);
    return PacketScan::Searched;
  }

  skip_adaptation_field(cursor, header);
  std::optional<Ticks90k> pts;
  std::optional<Ticks90k> dts;
  if (!read_pes_header(cursor, kVideoPesStartCode, pts, dts, context.log)) {
    return PacketScan::Searched;
  }
  const int n = cursor.bytes_left;
  if (n < 0 || static_cast<std::size_t>(n) > kMaxPayloadBytes) return PacketScan::Searched;
  const auto b = payload_area.first(static_cast<std::size_t>(n));
  if (!read_packet_bytes(cursor, b)) return PacketScan::Searched;
  // Fewer payload bytes than a start code cannot hold a header; testing them
  // would read what this packet did not fill.
  if (n < kStartCodeBytes || b[0] != 0x00 || b[1] != 0x00 || b[2] != 0x01) {
    drop_carry(state);
    return PacketScan::Searched;
  }
  if (b[3] == kSequenceHeaderCode) {
    trace_sequence_header(b, context);
    state.pending_pts = pts;
    state.scan_pending = true;
    const int r =
        find_picture_header(b, kStartCodeBytes, pts, state, result, cursor.sync_offset, context);
    if (r >= kStartCodeBytes && r < n - kCarriedBytes) return PacketScan::Found;
    carry_tail(state.carry, b, kCarryFiller);
    return PacketScan::Searched;
  }
  if (b[3] == kPictureStartCode) {
    if (n < kPictureHeadBytes) {
      // The picture header's own bytes come with the next packet of the
      // PES: wait for them, as for a start code split between packets.
      state.pending_pts = pts;
      state.scan_pending = true;
      carry_tail(state.carry, b, kCarryFiller);
      return PacketScan::Searched;
    }
    handle_picture_header(b[4], b[5], pts, state, result, cursor.sync_offset, context);
    drop_carry(state);
    return PacketScan::Found;
  }
  drop_carry(state);
  return PacketScan::Searched;
}

}  // namespace mendra

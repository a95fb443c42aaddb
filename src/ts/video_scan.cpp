#include "ts/video_scan.h"

#include <algorithm>
#include <array>

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

bool start_code_at(const EsScanState& state, int i, std::uint8_t code) {
  const auto& b = state.payload_buffer;
  const auto at = static_cast<std::size_t>(i);
  return b[at] == 0x00 && b[at + 1] == 0x00 && b[at + 2] == 0x01 && b[at + 3] == code;
}

void trace_sequence_header(const EsScanState& state, const RunSettings& settings) {
  const auto& b = state.payload_buffer;
  // horizontal_size_value (12), vertical_size_value (12),
  // aspect_ratio_information (4), frame_rate_code (4)
  const int horizontal = (b[4] << 4) | (b[5] >> 4);
  const int vertical = ((b[5] & 0x0F) << 8) | b[6];
  const unsigned aspect = b[7] >> 4;
  const unsigned rate = b[7] & 0x0F;
  settings.log_debug(stderr, "\t\t -- Sequence Header --\n");
  settings.log_debug(stderr, "\t\t frame_size: %dx%d\n", horizontal, vertical);
  settings.log_debug(stderr, "\t\t aspect_ratio: %s\n",
                     aspect_ratio_names[aspect < aspect_ratio_names.size() ? aspect : 0]);
  settings.log_debug(stderr, "\t\t frame_rate: %f\n",
                     frame_rates[rate < frame_rates.size() ? rate : 0]);
}

bool start_threshold_met(const EsScanState& state, const RunSettings& settings) {
  if (settings.gop_offset >= 0) return state.gop_count >= settings.gop_offset;
  // Offsets of recordings beyond 2 GiB compare as 64-bit values.
  if (settings.d2v_start_bytes > 0) return state.ts_bytes_read >= settings.d2v_start_bytes;
  return state.gop_count >= settings.gop_offset;
}

// Decodes the two picture-header bytes at `at` and applies the I-picture
// and start-picture rules with time stamp `pts`.
void handle_picture_header(int at, std::int64_t pts, std::int64_t& start_video_pts,
                           std::int64_t& start_iframe_pts, EsScanState& state,
                           const RunSettings& settings) {
  const auto& b = state.payload_buffer;
  const std::uint8_t q4 = b[static_cast<std::size_t>(at)];
  const std::uint8_t q5 = b[static_cast<std::size_t>(at) + 1];
  // temporal_reference (10), picture_coding_type (3), vbv_delay (16) ...
  const int temporal_reference = (q4 << 2) | (q5 >> 6);
  const int picture_coding_type = (q5 >> 3) & 0x07;
  settings.log_debug(stderr, "\t\t -- Picture Header --\n");
  settings.log_debug(
      stderr, "\t\t picture_coding_type: %d [%c], temporal_reference: %d\n", picture_coding_type,
      picture_type_letters[static_cast<std::size_t>(picture_coding_type)], temporal_reference);
  if (picture_coding_type == kIPicture && start_iframe_pts == 0) {
    start_iframe_pts = pts;
    state.iframe_seen = 1;
    settings.log_debug(stderr, "\t\t  set Start Video PTS I-Frame\n");
  }
  if (start_video_pts == 0 && temporal_reference == 0 && state.iframe_seen != 0 &&
      start_threshold_met(state, settings)) {
    start_video_pts = pts;
    settings.log_debug(stderr, "\t\t  set Start Video PTS\n");
  }
}

// Reads `count` payload bytes into the buffer at `offset`; false when the
// count is negative (the adaptation field or PES header claimed more than
// the packet holds), would not fit the buffer, or the stream ended.
bool read_payload(TsStream& stream, int offset, int count, int& packet_bytes_left,
                  EsScanState& state) {
  if (count < 0 || offset + count > static_cast<int>(state.payload_buffer.size())) return false;
  const auto dst = std::span(state.payload_buffer)
                       .subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
  return read_packet_bytes(stream, dst, packet_bytes_left) == dst.size();
}

// Keeps the last five searched bytes for the next continuation search. A
// start packet may hold fewer: they are carried behind filler that cannot
// be part of a start code, never behind bytes this packet did not fill.
void carry_tail(EsScanState& state, int length) {
  auto& b = state.payload_buffer;
  std::array<std::uint8_t, kCarriedBytes> tail{};
  tail.fill(kCarryFiller);
  const int kept = std::clamp(length, 0, kCarriedBytes);
  std::copy_n(b.begin() + (length - kept), kept, tail.begin() + (kCarriedBytes - kept));
  std::copy(tail.begin(), tail.end(), b.begin());
}

// A start packet has filled the buffer's head with the first bytes of its
// own PES. Where it leaves no carry of its own, a search still pending from
// an earlier PES must not meet them again in the next continuation packet:
// a leading picture or GOP header would be decoded or counted a second time.
void drop_carry(EsScanState& state) {
  std::fill_n(state.payload_buffer.begin(), kCarriedBytes, kCarryFiller);
}

}  // namespace

int find_picture_header(int length, int start, std::int64_t pts, std::int64_t& start_video_pts,
                        std::int64_t& start_iframe_pts, EsScanState& state,
                        const RunSettings& settings) {
  length = std::min(length, static_cast<int>(state.payload_buffer.size()));
  // The last positions cannot decide yet: they are carried into the next
  // search, which examines them from its position 0.
  const int limit = length - kCarriedBytes;
  if (start > limit) return -1;
  int i = std::max(start, 0);
  while (i < limit) {
    if (start_code_at(state, i, kGopStartCode)) {
      settings.log_debug(stderr, "\t\t -- GOP start Code --\n");
      ++state.gop_count;
      i += kStartCodeBytes;
      continue;
    }
    if (start_code_at(state, i, kPictureStartCode)) {
      handle_picture_header(i + kStartCodeBytes, pts, start_video_pts, start_iframe_pts, state,
                            settings);
      state.pending_pts = 0;
      state.scan_pending = 0;
      return i;
    }
    ++i;
  }
  return limit;
}

int scan_video_payload(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left,
                       std::int64_t& start_video_pts, std::int64_t& start_iframe_pts,
                       EsScanState& state, const RunSettings& settings) {
  auto& b = state.payload_buffer;
  if (header.payload_unit_start == 0) {
    if (state.scan_pending == 0) return -1;
    skip_adaptation_field(stream, header, packet_bytes_left);
    const int n = packet_bytes_left;
    if (!read_payload(stream, kCarriedBytes, n, packet_bytes_left, state)) return 0;
    const int r = find_picture_header(n + kCarriedBytes, 0, state.pending_pts, start_video_pts,
                                      start_iframe_pts, state, settings);
    packet_bytes_left = 0;
    if (r >= 0 && r < n) return 1;
    carry_tail(state, n + kCarriedBytes);
    return 0;
  }

  state.pes_seen = 1;
  skip_adaptation_field(stream, header, packet_bytes_left);
  std::int64_t pts = 0;
  std::int64_t dts = 0;
  if (read_pes_header(stream, kVideoPesStartCode, packet_bytes_left, pts, dts, settings) < 0) {
    return 0;
  }
  const int n = packet_bytes_left;
  if (!read_payload(stream, 0, n, packet_bytes_left, state)) return 0;
  packet_bytes_left = 0;
  // Fewer payload bytes than a start code cannot hold a header; testing them
  // would read what this packet did not fill.
  if (n < kStartCodeBytes || b[0] != 0x00 || b[1] != 0x00 || b[2] != 0x01) {
    drop_carry(state);
    return 0;
  }
  if (b[3] == kSequenceHeaderCode) {
    trace_sequence_header(state, settings);
    state.pending_pts = pts;
    state.scan_pending = 1;
    const int r = find_picture_header(n, kStartCodeBytes, pts, start_video_pts, start_iframe_pts,
                                      state, settings);
    if (r >= kStartCodeBytes && r < n - kCarriedBytes) return 1;
    carry_tail(state, n);
    return 0;
  }
  if (b[3] == kPictureStartCode) {
    if (n < kPictureHeadBytes) {
      // The picture header's own bytes come with the next packet of the
      // PES: wait for them, as for a start code split between packets.
      state.pending_pts = pts;
      state.scan_pending = 1;
      carry_tail(state, n);
      return 0;
    }
    handle_picture_header(kStartCodeBytes, pts, start_video_pts, start_iframe_pts, state, settings);
    drop_carry(state);
    return 1;
  }
  drop_carry(state);
  return 0;
}

}  // namespace mendra

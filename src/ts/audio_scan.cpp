#include "ts/audio_scan.h"

#include <array>

namespace mendra {
namespace {

constexpr std::size_t kAudioPayloadBytes = kTsPacketBytes;
constexpr std::size_t kAdtsTestBytes = 3;

// Reads the rest of the packet into `payload`; the count of bytes, or -1
// when the count is negative (the adaptation field or PES header claimed
// more than the packet holds), too large for the buffer, or a short read.
int read_payload(TsStream& stream, std::span<std::uint8_t> payload, int& packet_bytes_left) {
  if (packet_bytes_left < 0 || static_cast<std::size_t>(packet_bytes_left) > payload.size()) {
    return -1;
  }
  const auto wanted = static_cast<std::size_t>(packet_bytes_left);
  if (read_packet_bytes(stream, payload.first(wanted), packet_bytes_left) < wanted) return -1;
  return static_cast<int>(wanted);
}

void record_audio_start(std::int64_t pts, std::int64_t& start_audio_pts,
                        const RunSettings& settings) {
  settings.log_debug(stderr, "\t\t -- ADTS-AAC Header --\n");
  start_audio_pts = pts;
  settings.log_debug(stderr, "\t\t  set Start Audio PTS\n");
}

}  // namespace

bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  // syncword (12), ID (1) = 1, layer (2), protection_absent (1);
  // profile (2) = 1, sampling_frequency_index (4), ...
  return a == 0xFF && (b & 0xF8) == 0xF8 && (c & 0xC0) == 0x40;
}

int scan_audio_payload(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left,
                       std::int64_t& start_audio_pts, EsScanState& state,
                       const RunSettings& settings) {
  std::array<std::uint8_t, kAudioPayloadBytes> payload{};
  auto& carried = state.payload_buffer;

  if (header.payload_unit_start == 0) {
    if (state.scan_pending == 0) return -1;
    skip_adaptation_field(stream, header, packet_bytes_left);
    const int n = read_payload(stream, payload, packet_bytes_left);
    if (n < 0) return 0;
    for (int i = 0; i < n; ++i) {
      const std::uint8_t c = payload[static_cast<std::size_t>(i)];
      if (is_adts_header(carried[0], carried[1], c)) {
        record_audio_start(state.pending_pts, start_audio_pts, settings);
        state.pending_pts = 0;
        state.scan_pending = 0;
        break;
      }
      carried[0] = carried[1];
      carried[1] = c;
    }
    packet_bytes_left = 0;
    return 0;
  }

  state.pes_seen = 1;
  skip_adaptation_field(stream, header, packet_bytes_left);
  std::int64_t pts = 0;
  std::int64_t dts = 0;
  if (read_pes_header(stream, kAudioPesStartCode, packet_bytes_left, pts, dts, settings) < 0) {
    return 0;
  }
  const int n = read_payload(stream, payload, packet_bytes_left);
  if (n < 0) return 0;
  state.scan_pending = 1;
  for (int i = 0; i + static_cast<int>(kAdtsTestBytes) <= n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (is_adts_header(payload[at], payload[at + 1], payload[at + 2])) {
      record_audio_start(pts, start_audio_pts, settings);
      state.scan_pending = 0;
      packet_bytes_left = 0;
      return 0;
    }
  }
  // Carry the last two payload bytes. With fewer than two, a 0 stands in
  // front: it cannot begin a header, and nothing before the payload is read.
  carried[0] = n >= 2 ? payload[static_cast<std::size_t>(n - 2)] : 0;
  carried[1] = n >= 1 ? payload[static_cast<std::size_t>(n - 1)] : 0;
  state.pending_pts = pts;
  packet_bytes_left = 0;
  return 0;
}

}  // namespace mendra

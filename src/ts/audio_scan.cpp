#include "ts/audio_scan.h"

#include <array>
#include <cstring>

#include "ts/pes.h"

namespace mendra {
namespace {

constexpr std::size_t kAudioPayloadBytes = kTsPacketBytes;
constexpr std::size_t kAdtsTestBytes = 3;
constexpr std::uint8_t kSyncwordHigh = 0xFF;
// Stands in front of the carried bytes when a start packet held fewer than
// two: it cannot begin a header, and nothing before the payload is read.
constexpr std::uint8_t kCarryFiller = 0x00;

// The first position at which a header begins in `bytes`, or -1. Only the
// bytes equal to the syncword's first byte are tested: memchr passes over
// the rest of a payload that holds no header at a fraction of the cost.
int find_adts_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kAdtsTestBytes) return -1;
  const std::uint8_t* const begin = bytes.data();
  const std::uint8_t* const last = begin + (bytes.size() - kAdtsTestBytes);
  const std::uint8_t* p = begin;
  while (p <= last) {
    const auto* hit = static_cast<const std::uint8_t*>(
        std::memchr(p, kSyncwordHigh, static_cast<std::size_t>(last - p) + 1));
    if (hit == nullptr) return -1;
    if (is_adts_header(hit[0], hit[1], hit[2])) return static_cast<int>(hit - begin);
    p = hit + 1;
  }
  return -1;
}

PacketScan record_audio_start(std::int64_t pts, EsPassResult& result, const RunSettings& settings) {
  settings.log_debug(stderr, "\t\t -- ADTS-AAC Header --\n");
  result.start_pts = pts;
  settings.log_debug(stderr, "\t\t  set Start Audio PTS\n");
  return PacketScan::Found;
}

}  // namespace

bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  // syncword (12), ID (1) = 1, layer (2), protection_absent (1);
  // profile (2) = 1, sampling_frequency_index (4), ...
  return a == kSyncwordHigh && (b & 0xF8) == 0xF8 && (c & 0xC0) == 0x40;
}

PacketScan scan_audio_payload(PacketCursor& cursor, const TsPacketHeader& header,
                              AudioScanState& state, EsPassResult& result,
                              const RunSettings& settings) {
  // The carried bytes, then the rest of the packet.
  std::array<std::uint8_t, kAudioCarryBytes + kAudioPayloadBytes> buffer;
  const auto payload_area = std::span(buffer).subspan<kAudioCarryBytes>();

  if (header.payload_unit_start == 0) {
    if (!state.scan_pending) return PacketScan::Passed;
    skip_adaptation_field(cursor, header);
    const int n = cursor.bytes_left;
    if (cursor.overran || n < 0) return PacketScan::Searched;
    std::copy(state.carry.begin(), state.carry.end(), buffer.begin());
    if (!read_packet_bytes(cursor, payload_area.first(static_cast<std::size_t>(n)))) {
      return PacketScan::Searched;
    }
    const auto searched =
        std::span<const std::uint8_t>(buffer).first(kAudioCarryBytes + static_cast<std::size_t>(n));
    if (find_adts_header(searched) >= 0) {
      const std::int64_t pts = state.pending_pts;
      state.pending_pts = 0;
      state.scan_pending = false;
      return record_audio_start(pts, result, settings);
    }
    carry_tail(state.carry, searched, kCarryFiller);
    return PacketScan::Searched;
  }

  skip_adaptation_field(cursor, header);
  std::int64_t pts = 0;
  std::int64_t dts = 0;
  if (!read_pes_header(cursor, kAudioPesStartCode, pts, dts, settings)) {
    return PacketScan::Searched;
  }
  const int n = cursor.bytes_left;
  const auto payload = payload_area.first(static_cast<std::size_t>(n));
  if (!read_packet_bytes(cursor, payload)) return PacketScan::Searched;
  state.scan_pending = true;
  if (find_adts_header(payload) >= 0) {
    state.scan_pending = false;
    return record_audio_start(pts, result, settings);
  }
  carry_tail(state.carry, payload, kCarryFiller);
  state.pending_pts = pts;
  return PacketScan::Searched;
}

}  // namespace mendra

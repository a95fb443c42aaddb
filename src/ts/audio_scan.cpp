#include "ts/audio_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ts/pes.h"

namespace mendra {
namespace {

constexpr std::size_t kAudioPayloadBytes = kTsPacketBytes;
constexpr std::size_t kAdtsShortTestBytes = 3;
constexpr std::size_t kAdtsFullTestBytes = 6;
constexpr std::uint8_t kSyncwordHigh = 0xFF;
// Stands in front of the carried bytes when a start packet held fewer than
// the carry needs: no format's sync word begins with it, and nothing before
// the payload is read.
constexpr std::uint8_t kCarryFiller = 0x00;
// The ADTS header is seven bytes without CRC: no shorter frame exists.
constexpr unsigned kAdtsMinFrameBytes = 7;
constexpr unsigned kSamplingIndexCount = 13;

PacketScan record_audio_start(const AudioSyncFormat& format, std::optional<Ticks90k> pts,
                              EsPassResult& result, const ScanContext& context) {
  context.log(LogLevel::Debug, "\t\t -- %s Header --\n", format.trace_name);
  result.start_pts = pts;
  context.log(LogLevel::Debug, "\t\t  set Start Audio PTS\n");
  return PacketScan::Found;
}

bool is_adts_span(std::span<const std::uint8_t> bytes) {
  return is_adts_header(bytes);
}

}  // namespace

bool is_audio_stream_id(std::uint8_t stream_id) {
  // private_stream_1, the MPEG audio range, extended_stream_id
  return stream_id == 0xBD || (stream_id >= 0xC0 && stream_id <= 0xDF) || stream_id == 0xFD;
}

int find_audio_header(const AudioSyncFormat& format, std::span<const std::uint8_t> bytes) {
  // Only the bytes equal to the sync word's first byte are tested: memchr
  // passes over the rest of a payload that holds no header at a fraction of
  // the cost.
  if (bytes.size() < format.min_bytes) return -1;
  const std::uint8_t* const begin = bytes.data();
  const std::uint8_t* const last = begin + (bytes.size() - format.min_bytes);
  const std::uint8_t* p = begin;
  while (p <= last) {
    const auto* hit = static_cast<const std::uint8_t*>(
        std::memchr(p, format.sync_first, static_cast<std::size_t>(last - p) + 1));
    if (hit == nullptr) return -1;
    const auto at = static_cast<std::size_t>(hit - begin);
    if (format.is_header(bytes.subspan(at))) return static_cast<int>(at);
    p = hit + 1;
  }
  return -1;
}

bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  // syncword (12), ID (1) = 1, layer (2), protection_absent (1);
  // profile (2) = 1, sampling_frequency_index (4), ...
  return a == kSyncwordHigh && (b & 0xF8) == 0xF8 && (c & 0xC0) == 0x40;
}

bool is_adts_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kAdtsShortTestBytes) return false;
  // MPEG-2 AAC keeps the test it always had, so such streams measure as
  // they did.
  if (is_adts_header(bytes[0], bytes[1], bytes[2])) return true;
  if (bytes.size() < kAdtsFullTestBytes) return false;
  // syncword (12), ID (1) = 0, layer (2) = 0, protection_absent (1)
  if (bytes[0] != kSyncwordHigh || (bytes[1] & 0xFE) != 0xF0) return false;
  // profile (2) = 1, sampling_frequency_index (4), private_bit (1),
  // channel_configuration (3, the first bit here)
  if ((bytes[2] & 0xC0) != 0x40) return false;
  if (((bytes[2] >> 2) & 0x0F) >= kSamplingIndexCount) return false;
  // channel_configuration, original_copy, home, copyright id bit and start
  // (4), frame_length (13) across bytes 3 to 5
  const unsigned frame_length =
      ((bytes[3] & 0x03u) << 11) | (unsigned{bytes[4]} << 3) | (unsigned{bytes[5]} >> 5);
  return frame_length >= kAdtsMinFrameBytes;
}

namespace {

// A continuation packet of a pending search, after the bytes carried from
// the packet before: the PES's PTS when a header lies in it, else its tail
// carried on to the next packet.
PacketScan search_continuation(const AudioSyncFormat& format,
                               std::span<const std::uint8_t> searched, AudioScanState& state,
                               EsPassResult& result, const ScanContext& context) {
  if (find_audio_header(format, searched) >= 0) {
    const std::optional<Ticks90k> pts = state.pending_pts;
    state.pending_pts.reset();
    state.scan_pending = false;
    return record_audio_start(format, pts, result, context);
  }
  carry_tail(state.carry, searched, kCarryFiller);
  return PacketScan::Searched;
}

}  // namespace

PacketScan scan_audio_sync_plain(const AudioSyncFormat& format,
                                 std::span<const std::uint8_t, kPlainPayloadBytes> payload,
                                 AudioScanState& state, EsPassResult& result,
                                 const ScanContext& context) {
  if (!state.scan_pending) return PacketScan::Passed;
  const std::size_t carried = std::min(format.max_bytes - 1, kAudioCarryBytes);
  const auto carry = std::span<const std::uint8_t>(state.carry).last(carried);
  std::array<std::uint8_t, kAudioCarryBytes + kPlainPayloadBytes> buffer;
  std::copy(carry.begin(), carry.end(), buffer.begin());
  std::copy(payload.begin(), payload.end(), buffer.begin() + static_cast<std::ptrdiff_t>(carried));
  const auto searched = std::span<const std::uint8_t>(buffer).first(carried + payload.size());
  return search_continuation(format, searched, state, result, context);
}

PacketScan scan_audio_sync(const AudioSyncFormat& format, PacketCursor& cursor,
                           const TsPacketHeader& header, AudioScanState& state,
                           EsPassResult& result, const ScanContext& context) {
  // Every format keeps the full carry; a shorter test uses its tail.
  const std::size_t carried = std::min(format.max_bytes - 1, kAudioCarryBytes);
  const auto carry = std::span<const std::uint8_t>(state.carry).last(carried);
  // The carried bytes, then the rest of the packet.
  std::array<std::uint8_t, kAudioCarryBytes + kAudioPayloadBytes> buffer;
  const auto payload_area = std::span(buffer).subspan(carried, kAudioPayloadBytes);

  if (header.payload_unit_start == 0) {
    if (!state.scan_pending) return PacketScan::Passed;
    skip_adaptation_field(cursor, header);
    const int n = cursor.bytes_left;
    if (cursor.overran || n < 0) return PacketScan::Searched;
    std::copy(carry.begin(), carry.end(), buffer.begin());
    if (!read_packet_bytes(cursor, payload_area.first(static_cast<std::size_t>(n)))) {
      return PacketScan::Searched;
    }
    const auto searched =
        std::span<const std::uint8_t>(buffer).first(carried + static_cast<std::size_t>(n));
    return search_continuation(format, searched, state, result, context);
  }

  skip_adaptation_field(cursor, header);
  std::optional<Ticks90k> pts;
  std::optional<Ticks90k> dts;
  const bool pes_read =
      format.accepts_stream_id != nullptr
          ? read_pes_header(cursor, format.accepts_stream_id, pts, dts, context.log)
          : read_pes_header(cursor, format.start_code, pts, dts, context.log);
  // A header read leaves the cursor inside the packet; n is never negative.
  const int n = cursor.bytes_left;
  if (!pes_read || n < 0) return PacketScan::Searched;
  const auto payload = payload_area.first(static_cast<std::size_t>(n));
  if (!read_packet_bytes(cursor, payload)) return PacketScan::Searched;
  state.scan_pending = true;
  if (find_audio_header(format, payload) >= 0) {
    state.scan_pending = false;
    return record_audio_start(format, pts, result, context);
  }
  carry_tail(state.carry, payload, kCarryFiller);
  state.pending_pts = pts;
  return PacketScan::Searched;
}

constexpr AudioSyncFormat kAdtsSync{
    "ADTS-AAC",         kSyncwordHigh, kAdtsShortTestBytes, kAdtsFullTestBytes, &is_adts_span,
    kAudioPesStartCode, nullptr};
constexpr AudioSyncFormat kPrivateAdtsSync{"ADTS-AAC",         kSyncwordHigh, kAdtsShortTestBytes,
                                           kAdtsFullTestBytes, &is_adts_span, StartCode{},
                                           &is_audio_stream_id};

}  // namespace mendra

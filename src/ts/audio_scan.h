// Audio start: the PTS of the first PES of the audio PID that holds a frame
// header of the stream's format. One search serves every format: a format
// names the first byte of its sync word, how many bytes its header test
// reads and the test itself; the codec files (ADTS here, MPEG audio, AC-3,
// LATM) each define their format and a scan function for the stream-type
// table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "ts/es_scan.h"
#include "ts/pes.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

// The longest header test reads six bytes: five are carried across a
// boundary.
inline constexpr std::size_t kAudioCarryBytes = 5;

// State of one pass of an audio scanner.
struct AudioScanState {
  // The last payload bytes searched, for the next continuation packet; a
  // format uses the tail that its header test needs.
  std::array<std::uint8_t, kAudioCarryBytes> carry{};
  bool scan_pending = false;            // a PES's header search goes on in continuations
  std::optional<Ticks90k> pending_pts;  // PTS of the PES whose search goes on
};

// What the search needs to know of one audio format.
struct AudioSyncFormat {
  const char* trace_name;   // "\t\t -- <name> Header --\n" when found
  std::uint8_t sync_first;  // the first byte of every header
  std::size_t min_bytes;    // a position is tested only with this many bytes
  std::size_t max_bytes;    // the most bytes the test reads (<= carry + 1)
  // True when `bytes` begins with a header; false also when the test needs
  // more bytes than given (the carry brings them with the next packet).
  bool (*is_header)(std::span<const std::uint8_t> bytes);
  // The PES start code: an exact one, or else any stream id the test takes.
  StartCode start_code;
  StreamIdTest accepts_stream_id;
};

// The first position at which a header of `format` begins in `bytes`, or -1.
int find_audio_header(const AudioSyncFormat& format, std::span<const std::uint8_t> bytes);

// Scans one packet of the audio PID for a header of `format`, called right
// after the packet header was read. Passed for a continuation packet while
// no search is pending (nothing read); Found when a header was found, which
// sets result.start_pts to the PTS of the PES it lies in; Searched otherwise.
PacketScan scan_audio_sync(const AudioSyncFormat& format, PacketCursor& cursor,
                           const TsPacketHeader& header, AudioScanState& state,
                           EsPassResult& result, const ScanContext& context);

// The one adapter of the stream-type table: a scan function for each
// format below.
template <const AudioSyncFormat& Format>
PacketScan scan_audio_format(PacketCursor& cursor, const TsPacketHeader& header,
                             AudioScanState& state, EsPassResult& result,
                             const ScanContext& context) {
  return scan_audio_sync(Format, cursor, header, state, result, context);
}

// What scan_audio_sync does with a continuation packet without adaptation
// field, for its payload as the pass takes it from the stream's window.
PacketScan scan_audio_sync_plain(const AudioSyncFormat& format,
                                 std::span<const std::uint8_t, kPlainPayloadBytes> payload,
                                 AudioScanState& state, EsPassResult& result,
                                 const ScanContext& context);
template <const AudioSyncFormat& Format>
PacketScan scan_audio_format_plain(std::span<const std::uint8_t, kPlainPayloadBytes> payload,
                                   std::int64_t /*sync_offset*/, AudioScanState& state,
                                   EsPassResult& result, const ScanContext& context) {
  return scan_audio_sync_plain(Format, payload, state, result, context);
}

// PES stream ids an audio stream is carried under: the MPEG audio ids 0xC0
// to 0xDF, private_stream_1 (0xBD) and extended_stream_id (0xFD).
bool is_audio_stream_id(std::uint8_t stream_id);

// ADTS-AAC (audio_scan.cpp). A header begins with the syncword and profile
// 1 (low complexity). ID 1 (MPEG-2 AAC) is taken on these three bytes
// alone; ID 0 (MPEG-4 AAC) also needs layer 0, a sampling_frequency_index
// below 13 and a frame_length of at least 7, which the sixth byte completes.
bool is_adts_header(std::span<const std::uint8_t> bytes);
// The three-byte test of an ID 1 header, as the PES scan applies it.
bool is_adts_header(std::uint8_t a, std::uint8_t b, std::uint8_t c);
// Stream type 0x0F: PES stream id 0xC0.
extern const AudioSyncFormat kAdtsSync;
// Stream type 0x06 with an AAC descriptor: any audio stream id.
extern const AudioSyncFormat kPrivateAdtsSync;

// MPEG-1/2 audio layers I to III (mpeg_audio_scan.cpp): an 11-bit sync, a
// version that is not reserved, a layer other than 0, a bitrate_index other
// than 15 and a sampling_frequency other than 3.
bool is_mpeg_audio_header(std::span<const std::uint8_t> bytes);
extern const AudioSyncFormat kMpegAudioSync;

// AC-3 and E-AC-3 (ac3_scan.cpp): sync word 0x0B77; bsid 8 or below for
// AC-3 with fscod and frmsizecod valid, bsid 11 to 16 for E-AC-3 with
// strmtyp and the sample rate codes valid.
bool is_ac3_header(std::span<const std::uint8_t> bytes);
bool is_eac3_header(std::span<const std::uint8_t> bytes);
extern const AudioSyncFormat kAc3Sync;
extern const AudioSyncFormat kEac3Sync;

// LATM/LOAS AAC (latm_scan.cpp): the AudioSyncStream's 11-bit syncword
// 0x2B7 and an audioMuxLengthBytes above 0.
bool is_latm_header(std::span<const std::uint8_t> bytes);
extern const AudioSyncFormat kLatmSync;

}  // namespace mendra

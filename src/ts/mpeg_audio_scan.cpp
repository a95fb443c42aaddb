// MPEG-1/2 audio (stream types 0x03 and 0x04): layers I to III.
#include "ts/audio_scan.h"

namespace mendra {
namespace {

constexpr std::size_t kMpegAudioTestBytes = 3;
constexpr std::uint8_t kSyncHigh = 0xFF;
constexpr unsigned kReservedVersion = 1;
constexpr unsigned kReservedLayer = 0;
constexpr unsigned kFreeBadBitrate = 15;
constexpr unsigned kReservedSampling = 3;

}  // namespace

bool is_mpeg_audio_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMpegAudioTestBytes) return false;
  // syncword (11), version (2: 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1),
  // layer (2: 0 reserved, 1 layer III, 2 layer II, 3 layer I),
  // protection_bit (1)
  if (bytes[0] != kSyncHigh || (bytes[1] & 0xE0) != 0xE0) return false;
  if (((bytes[1] >> 3) & 0x03u) == kReservedVersion) return false;
  if (((bytes[1] >> 1) & 0x03u) == kReservedLayer) return false;
  // bitrate_index (4), sampling_frequency (2), padding_bit, private_bit
  if ((bytes[2] >> 4) == kFreeBadBitrate) return false;
  return ((bytes[2] >> 2) & 0x03u) != kReservedSampling;
}

constexpr AudioSyncFormat kMpegAudioSync{
    "MPEG-Audio",          kSyncHigh,   kMpegAudioTestBytes, kMpegAudioTestBytes,
    &is_mpeg_audio_header, StartCode{}, &is_audio_stream_id};

}  // namespace mendra

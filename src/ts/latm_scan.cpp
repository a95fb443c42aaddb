// LATM/LOAS AAC (stream type 0x11): AudioMuxElements in an AudioSyncStream.
#include "ts/audio_scan.h"

namespace mendra {
namespace {

constexpr std::size_t kLatmTestBytes = 3;
constexpr std::uint8_t kSyncHigh = 0x56;

}  // namespace

bool is_latm_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kLatmTestBytes) return false;
  // syncword (11) = 0x2B7, audioMuxLengthBytes (13)
  if (bytes[0] != kSyncHigh || (bytes[1] & 0xE0) != 0xE0) return false;
  const unsigned length = ((bytes[1] & 0x1Fu) << 8) | bytes[2];
  return length > 0;
}

constexpr AudioSyncFormat kLatmSync{"LATM-AAC",         kSyncHigh,       kLatmTestBytes,
                                    kLatmTestBytes,     &is_latm_header, StartCode{},
                                    &is_audio_stream_id};

}  // namespace mendra

// AC-3 (stream type 0x81, or 0x06 with an AC-3 descriptor) and E-AC-3
// (0x87, or 0x06 with an enhanced AC-3 descriptor). Both begin with the sync
// word 0x0B77 and carry bsid in the sixth byte, which tells them apart.
#include "ts/audio_scan.h"

namespace mendra {
namespace {

constexpr std::size_t kAc3TestBytes = 6;
constexpr std::uint8_t kSyncHigh = 0x0B;
constexpr std::uint8_t kSyncLow = 0x77;
constexpr unsigned kReservedRate = 3;
constexpr unsigned kFrameSizeCodes = 38;
constexpr unsigned kAc3LastBsid = 8;
constexpr unsigned kEac3FirstBsid = 11;
constexpr unsigned kEac3LastBsid = 16;
constexpr unsigned kReservedStreamType = 3;

bool has_sync(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kAc3TestBytes && bytes[0] == kSyncHigh && bytes[1] == kSyncLow;
}

// bsid (5), bsmod or the next field (3): the sixth byte in both syntaxes.
unsigned bsid(std::span<const std::uint8_t> bytes) {
  return unsigned{bytes[5]} >> 3;
}

}  // namespace

bool is_ac3_header(std::span<const std::uint8_t> bytes) {
  // syncword (16), crc1 (16), fscod (2), frmsizecod (6), then bsid
  if (!has_sync(bytes)) return false;
  if ((bytes[4] >> 6) == kReservedRate) return false;
  if ((bytes[4] & 0x3Fu) >= kFrameSizeCodes) return false;
  return bsid(bytes) <= kAc3LastBsid;
}

bool is_eac3_header(std::span<const std::uint8_t> bytes) {
  // syncword (16), strmtyp (2), substreamid (3), frmsiz (11),
  // fscod (2), fscod2 or numblkscod (2), acmod (3), lfeon (1), then bsid
  if (!has_sync(bytes)) return false;
  if ((bytes[2] >> 6) == kReservedStreamType) return false;
  // fscod 3 names the half rates through fscod2, whose value 3 is reserved.
  if ((bytes[4] >> 6) == kReservedRate && ((bytes[4] >> 4) & 0x03u) == kReservedRate) return false;
  const unsigned id = bsid(bytes);
  return id >= kEac3FirstBsid && id <= kEac3LastBsid;
}

constexpr AudioSyncFormat kAc3Sync{"AC-3",         kSyncHigh,   kAc3TestBytes,      kAc3TestBytes,
                                   &is_ac3_header, StartCode{}, &is_audio_stream_id};
constexpr AudioSyncFormat kEac3Sync{"E-AC-3",        kSyncHigh,   kAc3TestBytes,      kAc3TestBytes,
                                    &is_eac3_header, StartCode{}, &is_audio_stream_id};

}  // namespace mendra

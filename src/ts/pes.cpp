#include "ts/pes.h"

#include "ts/ts_packet.h"

namespace mendra {
namespace {

// The window is compared only while more than this many packet bytes
// remain, leaving room for the fixed PES header fields behind it.
constexpr int kMinBytesBehindStartCode = 6;
constexpr std::size_t kFixedHeaderBytes = 5;
constexpr std::size_t kPtsBytes = 5;
constexpr std::size_t kPtsDtsBytes = 10;
constexpr unsigned kFlagPts = 2;
constexpr unsigned kFlagPtsDts = 3;

bool read_pes_header_behind(PacketCursor& cursor, std::optional<Ticks90k>& pts,
                            std::optional<Ticks90k>& dts, const Log& log);

// Moves the cursor behind the first four bytes in the packet that `is_start`
// takes, compared only while room for the fixed fields remains.
template <typename IsStart>
bool find_start_code(PacketCursor& cursor, IsStart is_start) {
  StartCode window{};
  if (!read_packet_bytes(cursor, window)) return false;
  for (;;) {
    if (cursor.bytes_left <= kMinBytesBehindStartCode) return false;
    if (is_start(window)) return true;
    std::array<std::uint8_t, 1> next{};
    if (!read_packet_bytes(cursor, next)) return false;
    window = {window[1], window[2], window[3], next[0]};
  }
}

}  // namespace

std::int64_t decode_time_stamp(std::span<const std::uint8_t, 5> field) {
  // '001x' prefix (4), bits 32..30 (3), marker (1)
  const std::int64_t high = (std::int64_t{field[0]} >> 1) & 0x07;
  // bits 29..15 (15), marker (1)
  const std::int64_t middle = (std::int64_t{field[1]} << 7) | (std::int64_t{field[2]} >> 1);
  // bits 14..0 (15), marker (1)
  const std::int64_t low = (std::int64_t{field[3]} << 7) | (std::int64_t{field[4]} >> 1);
  return ((high << 30) | (middle << 15) | low) & kClockMask;
}

bool read_pes_header(PacketCursor& cursor, const StartCode& start_code,
                     std::optional<Ticks90k>& pts, std::optional<Ticks90k>& dts, const Log& log) {
  if (!find_start_code(cursor, [&](const StartCode& window) { return window == start_code; })) {
    return false;
  }
  return read_pes_header_behind(cursor, pts, dts, log);
}

bool read_pes_header(PacketCursor& cursor, StreamIdTest accepts, std::optional<Ticks90k>& pts,
                     std::optional<Ticks90k>& dts, const Log& log) {
  const auto is_start = [&](const StartCode& window) {
    return window[0] == 0x00 && window[1] == 0x00 && window[2] == 0x01 && accepts(window[3]);
  };
  if (!find_start_code(cursor, is_start)) return false;
  return read_pes_header_behind(cursor, pts, dts, log);
}

namespace {

// The PES header from PES_packet_length on.
bool read_pes_header_behind(PacketCursor& cursor, std::optional<Ticks90k>& pts,
                            std::optional<Ticks90k>& dts, const Log& log) {
  std::array<std::uint8_t, kFixedHeaderBytes> fixed{};
  if (!read_packet_bytes(cursor, fixed)) return false;
  // PES_packet_length (16)
  const int packet_length = (fixed[0] << 8) | fixed[1];
  // '10' marker of an MPEG-2 header (2), scrambling, priority, alignment,
  // copyright, original (6)
  const int mpeg = fixed[2] >> 6;
  // PTS_DTS_flags (2), ESCR, ES_rate, DSM trick mode, copy info, CRC,
  // extension flags (6)
  const unsigned pts_dts_flags = fixed[3] >> 6;
  // PES_header_data_length (8)
  int header_data_length = fixed[4];
  log(LogLevel::Debug, "\t\t check:  packet_length:%06d,  mpeg:%d,  header_length:%d\n",
      packet_length, mpeg, header_data_length);
  if (header_data_length == 0) return false;

  std::size_t optional_bytes = 0;
  if (header_data_length >= static_cast<int>(kPtsDtsBytes)) {
    optional_bytes = kPtsDtsBytes;
  } else if (header_data_length >= static_cast<int>(kPtsBytes)) {
    optional_bytes = kPtsBytes;
  }
  if (pts_dts_flags != 0 && optional_bytes != 0) {
    std::array<std::uint8_t, kPtsDtsBytes> optional{};
    // Time stamps that would lie beyond the packet are not taken from the
    // next packet's bytes: the read fails and the header is not used.
    if (read_packet_bytes(cursor, std::span(optional).first(optional_bytes))) {
      header_data_length -= static_cast<int>(optional_bytes);
      log(LogLevel::Debug, "\t\t flag: %d", static_cast<int>(pts_dts_flags));
      if ((pts_dts_flags & kFlagPts) != 0) {
        pts = Ticks90k{decode_time_stamp(std::span(optional).first<kPtsBytes>())};
        log_clock(log, LogLevel::Debug, ",  pts: ", pts->count, "");
      }
      // With only five optional bytes the DTS has no bytes of its own: it is
      // then neither decoded nor traced.
      if (pts_dts_flags == kFlagPtsDts && optional_bytes == kPtsDtsBytes) {
        dts = Ticks90k{decode_time_stamp(std::span(optional).subspan<kPtsBytes, kPtsBytes>())};
        log_clock(log, LogLevel::Debug, ",  dts: ", dts->count, "");
      }
      log(LogLevel::Debug, "\n");
    }
  }
  skip_packet_bytes(cursor, header_data_length);
  return !cursor.overran;
}

}  // namespace

}  // namespace mendra

// What an elementary-stream scanner is: a state type and a scan function
// that a pass hands every packet of one PID. The scanner knows its start
// codes, sync words and bit fields and keeps its own state; the stream-type
// table (es_scanners.h) says which scanner reads which stream type. A new
// codec is a scanner file and one row of that table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "time/time_types.h"
#include "ts/start_rule.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

// What a scanner made of one packet of its PID.
enum class PacketScan {
  Passed,    // a continuation packet while no search was pending: nothing read
  Searched,  // searched (or a read failed) without finding a header
  Found,     // the header the scanner looks for was found in this packet
};

// What a pass over one elementary stream finds.
struct EsPassResult {
  std::optional<Ticks90k> start_pts;  // where the stream is taken to start
  std::optional<Ticks90k> key_pts;    // video: the first I picture's PTS
  int found_count = 0;                // packets that held a header
  int through_count = 0;              // packets passed over before the first PES start
};

// What every scanner of a pass reads besides its packets: where the video
// is taken to start, and where the traces go.
struct ScanContext {
  const StartRule& rule;
  const Log& log;
};

// The same for a continuation packet without adaptation field: its payload
// and the offset of its sync byte, as the pass takes them from the stream's
// window without a cursor.
template <typename State>
using EsPayloadFunction = PacketScan (*)(std::span<const std::uint8_t, kPlainPayloadBytes>,
                                         std::int64_t sync_offset, State&, EsPassResult&,
                                         const ScanContext&);

// Which PID of the program a scanner measures.
enum class EsRole { Video, Audio };

// A scan function and its state, as the pass loop calls it.
template <typename State>
using EsScanFunction = PacketScan (*)(PacketCursor&, const TsPacketHeader&, State&, EsPassResult&,
                                      const ScanContext&);

// Keeps the last carry.size() bytes of `searched` for the search of the next
// packet, so that a pattern split across the boundary is seen whole. With
// fewer searched bytes, `filler` (a byte that cannot begin the pattern)
// stands in front: nothing the packet did not fill is carried.
inline void carry_tail(std::span<std::uint8_t> carry, std::span<const std::uint8_t> searched,
                       std::uint8_t filler) {
  const std::size_t kept = std::min(carry.size(), searched.size());
  const std::size_t front = carry.size() - kept;
  std::fill_n(carry.begin(), front, filler);
  std::copy(searched.end() - static_cast<std::ptrdiff_t>(kept), searched.end(),
            carry.begin() + static_cast<std::ptrdiff_t>(front));
}

}  // namespace mendra

// The elementary-stream scanners behind one small interface. A pass walks
// every packet of the stream and hands those of one PID to the scanner that
// the stream-type table names for that PID's stream type; the scanner knows
// its start codes, sync words and bit fields and keeps its own state. A new
// codec is a scanner file (a state type and a scan function) and one row of
// the table in es_scanners.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

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
  std::int64_t start_pts = 0;  // where the stream is taken to start
  std::int64_t key_pts = 0;    // video: the first I picture's PTS
  int found_count = 0;         // packets that held a header
  int through_count = 0;       // packets passed over before the first PES start
};

// What every scanner of a pass reads besides its packets: where the video
// is taken to start, and where the traces go.
struct ScanContext {
  const StartRule& rule;
  const Log& log;
};

// Which PID of the program a scanner measures.
enum class EsRole { Video, Audio };

// A scan function and its state, as the pass loop calls it.
template <typename State>
using EsScanFunction = PacketScan (*)(PacketCursor&, const TsPacketHeader&, State&, EsPassResult&,
                                      const ScanContext&);

// One row of the stream-type table.
struct EsScanner {
  std::uint8_t stream_type;
  EsRole role;
  // One pass over the whole stream for `pid` until result.start_pts is set.
  void (*run_pass)(PacketCursor& cursor, std::uint16_t pid, EsPassResult& result,
                   const ScanContext& context);
  // Not 0: the row holds only for a stream whose ES_info carries a
  // descriptor of this tag (private data, 0x06, says its codec that way).
  std::uint8_t descriptor_tag = 0;
};

// The row for a stream type, or nullptr when no scanner reads it.
const EsScanner* find_es_scanner(std::uint8_t stream_type);
// The same with the stream's ES_info descriptors (the bytes held of them),
// so that rows that need a descriptor are found too.
const EsScanner* find_es_scanner(std::uint8_t stream_type, std::span<const std::uint8_t> es_info);

// The PID a PMT chose for a role and the scanner that reads it.
struct EsSelection {
  std::uint16_t pid = 0;
  const EsScanner* scanner = nullptr;
  std::uint8_t stream_type = 0;  // as the PMT lists it
};

// "Video" or "Audio", as the pass traces name the role.
const char* es_role_name(EsRole role);

// The one pass loop: every packet of `pid` goes to Scan with a fresh state
// until the start is known.
template <typename State, EsScanFunction<State> Scan, EsRole Role>
void run_es_pass(PacketCursor& cursor, std::uint16_t pid, EsPassResult& result,
                 const ScanContext& context) {
  State state{};
  bool pes_seen = false;  // a start packet of the PID was met
  TsPacketHeader header;
  for (bool more = begin_packet_walk(cursor, header); more; more = next_packet(cursor, header)) {
    if (header.pid != pid) continue;
    if (header.payload_unit_start != 0) {
      context.log(LogLevel::Debug, "\n\t Parse PES  : 0x%04X\n", static_cast<unsigned>(header.pid));
    }
    const PacketScan scan = Scan(cursor, header, state, result, context);
    if (header.payload_unit_start != 0) pes_seen = true;
    if (scan == PacketScan::Found) {
      ++result.found_count;
    } else if (scan == PacketScan::Passed && !pes_seen) {
      ++result.through_count;
    }
    if (result.start_pts != 0) {
      context.log(LogLevel::Debug, "\n\t end %s PTS check\n", es_role_name(Role));
      break;
    }
  }
}

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

// The stream-type table: which scanner reads which stream type, and which
// PID of the program it measures; and the pass that runs a row's scanner
// over the stream. The PMT walk and the measurement consult it.
#pragma once

#include <cstdint>
#include <span>

#include "ts/es_scan.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

struct AudioSyncFormat;

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
  // Not null: a private-data stream without a known descriptor is measured
  // with this row when its first PES payloads hold a header of this format.
  const AudioSyncFormat* probe_format = nullptr;
};

// The rows a private-data stream without a known descriptor is probed for,
// in the order they are tried.
std::span<const EsScanner* const> probe_scanners();

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
// until the start is known. With a Payload function (one at most), the continuation
// packets without adaptation field go to it instead, straight from the
// stream's window (it must do what Scan does with such a packet).
template <typename State, EsScanFunction<State> Scan, EsRole Role,
          EsPayloadFunction<State>... Payload>
void run_es_pass(PacketCursor& cursor, std::uint16_t pid, EsPassResult& result,
                 const ScanContext& context) {
  State state{};
  bool pes_seen = false;  // a start packet of the PID was met
  const auto tally = [&](PacketScan scan) {
    if (scan == PacketScan::Found) {
      ++result.found_count;
    } else if (scan == PacketScan::Passed && !pes_seen) {
      ++result.through_count;
    }
  };
  const auto take = [&](std::span<const std::uint8_t, kPlainPayloadBytes> payload,
                        std::int64_t sync_offset) {
    if constexpr (sizeof...(Payload) != 0) {
      (tally(Payload(payload, sync_offset, state, result, context)), ...);
    } else {
      static_cast<void>(payload);
      static_cast<void>(sync_offset);
    }
    return result.start_pts.has_value();
  };
  TsPacketHeader header;
  WalkStop stop = begin_packet_walk(cursor, header) ? WalkStop::Header : WalkStop::End;
  const auto next = [&] {
    if constexpr (sizeof...(Payload) != 0) return next_packet_of(cursor, pid, header, take);
    return next_packet_of(cursor, pid, header);
  };
  if (stop == WalkStop::Header && header.pid != pid) stop = next();
  while (stop == WalkStop::Header) {
    if (header.payload_unit_start != 0) {
      context.log(LogLevel::Debug, "\n\t Parse PES  : 0x%04X\n", static_cast<unsigned>(header.pid));
    }
    const PacketScan scan = Scan(cursor, header, state, result, context);
    if (header.payload_unit_start != 0) pes_seen = true;
    tally(scan);
    if (result.start_pts) break;
    stop = next();
  }
  if (result.start_pts) {
    context.log(LogLevel::Debug, "\n\t end %s PTS check\n", es_role_name(Role));
  }
}

}  // namespace mendra

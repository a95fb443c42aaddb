// The program-specific tables that lead from the stream to the PIDs of the
// measurement: the PAT names the PMT PID, the PMT the PCR, video and audio
// PIDs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ts/es_scanners.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

inline constexpr std::uint8_t kPatTableId = 0x00;
inline constexpr std::uint8_t kPmtTableId = 0x02;
inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr int kCrcBytes = 4;
// One PMT section's stream entries and CRC: two packets' worth.
inline constexpr std::size_t kSectionBufferBytes = 376;

// What the PMT walk has found for the measurement. pcr_pid is replaced by
// every PMT; video and audio keep the first stream of their role that a
// scanner of the stream-type table reads.
struct ProgramStreams {
  std::vector<std::uint16_t> es_pids;  // the PIDs the last PMT listed
  // The stream types of those PIDs, in the same order: what to name when
  // none of them can be measured.
  std::vector<std::uint8_t> es_types;
  // The types of those PIDs that no row of the stream-type table reads (a
  // private-data stream without a known audio descriptor among them).
  std::vector<std::uint8_t> unmeasured_types;
  // The private-data PIDs (0x06) without a known descriptor, once each: the
  // audio may be found in them by probing.
  std::vector<std::uint16_t> probe_candidates;
  std::uint16_t pcr_pid = 0;
  EsSelection video;
  EsSelection audio;
};

// Called at the table_id. Appends the PID of every listed program to
// pat_pids and sets pmt_pid, while it is 0, to the first program's PMT PID.
// True when the section header was read; false for a missing or wrong
// table_id or a missing length field.
bool read_pat(PacketCursor& cursor, std::vector<std::uint16_t>& pat_pids, std::uint16_t& pmt_pid,
              const Log& log);

// Called just behind the table_id 0x02 in a packet of pmt_pid. Appends the
// listed PIDs to program.es_pids and makes the choices above. True after a
// parse (the packet is then used up), false when the length field is
// missing. A section that continues into the next packet of pmt_pid is
// fetched from there (bytes the sync search discards on the way raise
// cursor.sync_offset).
bool read_pmt(PacketCursor& cursor, std::uint16_t pmt_pid, ProgramStreams& program, const Log& log);

// Walks the stream entries at the head of `section` (the bytes held);
// es_loop_length counts the entry bytes plus the CRC.
void scan_pmt_streams(std::uint16_t es_loop_length, std::span<const std::uint8_t> section,
                      ProgramStreams& program, const Log& log);

// Fills section_buffer from bytes_held on towards section_rest_length with
// the payload of the next packet of `pid`, then returns the stream to where
// it was. Returns how many bytes the buffer holds afterwards.
int read_section_rest(PacketCursor& cursor, std::uint16_t pid,
                      std::span<std::uint8_t> section_buffer, int bytes_held,
                      std::uint16_t section_rest_length);

}  // namespace mendra

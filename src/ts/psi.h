// The program-specific tables that lead from the stream to the PIDs of the
// measurement: the PAT names the PMT PID, the PMT the PCR, video and audio
// PIDs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "util/settings.h"
#include "ts/ts_stream.h"

namespace mendra {

inline constexpr std::uint8_t kPatTableId = 0x00;
inline constexpr std::uint8_t kPmtTableId = 0x02;
inline constexpr std::uint8_t kStreamTypeMpeg2Video = 0x02;
inline constexpr std::uint8_t kStreamTypeAdtsAac = 0x0F;
inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr int kCrcBytes = 4;
// One PMT section's stream entries and CRC: two packets' worth.
inline constexpr std::size_t kSectionBufferBytes = 376;

// Called at the table_id. Appends the PID of every listed program to
// pat_pids and sets pmt_pid, while it is 0, to the first program's PMT PID.
// 0 when the section header was read, -1 for a missing or wrong table_id or
// a missing length field.
int read_pat(TsStream& stream, std::vector<int>& pat_pids, std::uint16_t& pmt_pid,
             int& packet_bytes_left, const RunSettings& settings);

// Called just behind the table_id 0x02 in a packet of pmt_pid. Replaces
// pcr_pid; sets video_pid and audio_pid only while they are 0. 0 after a
// parse (packet_bytes_left is then 0), -1 when the length field is missing.
// A section that continues into the next packet of pmt_pid is fetched from
// there (bytes the sync search discards on the way raise ts_bytes_read).
int read_pmt(TsStream& stream, std::uint16_t pmt_pid, std::vector<int>& pmt_es_pids,
             std::uint16_t& pcr_pid, std::uint16_t& video_pid, std::uint16_t& audio_pid,
             int& packet_bytes_left, std::int64_t& ts_bytes_read, const RunSettings& settings);

// Walks the stream entries at the head of `section` (the bytes held);
// es_loop_length counts the entry bytes plus the CRC. Always 0.
int scan_pmt_streams(std::uint16_t es_loop_length, std::span<const std::uint8_t> section,
                     std::vector<int>& pmt_es_pids, std::uint16_t& video_pid,
                     std::uint16_t& audio_pid, const RunSettings& settings);

// Fills section_buffer from bytes_held on towards section_rest_length with
// the payload of the next packet of `pid`, then returns the stream to where
// it was. Returns how many bytes the buffer holds afterwards.
int read_section_rest(TsStream& stream, std::uint16_t pid, std::span<std::uint8_t> section_buffer,
                      int bytes_held, std::uint16_t section_rest_length,
                      std::int64_t& ts_bytes_read);

}  // namespace mendra

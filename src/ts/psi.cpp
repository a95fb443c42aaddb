#include "ts/psi.h"

#include <algorithm>
#include <array>

#include "ts/ts_packet.h"

namespace mendra {
namespace {

// transport_stream_id / program_number (2), version and current_next (1),
// section_number (1), last_section_number (1): passed over.
constexpr int kSectionFixedBytes = 5;
constexpr int kPatEntryBytes = 4;
constexpr int kPmtEntryBytes = 5;
constexpr unsigned kSectionLengthMask = 0x0FFF;
constexpr unsigned kPidMask = 0x1FFF;
constexpr std::uint8_t kPrivateDataType = 0x06;

unsigned be16(std::uint8_t hi, std::uint8_t lo) {
  return (unsigned{hi} << 8) | lo;
}

// The section counter counts bytes still ahead in the section. A length
// field smaller than the fixed fields behind it would wrap the 16-bit count
// and send the parsers tens of kilobytes on; it stops at 0 instead, so such
// a section has no entries.
void lower_counter(std::uint16_t& counter, unsigned bytes) {
  counter = bytes >= counter ? 0 : static_cast<std::uint16_t>(counter - bytes);
}

void trace_lengths(const Log& log, int packet_bytes_left, unsigned section_length) {
  log(LogLevel::Debug, "\t\tpacket len:%5d", packet_bytes_left);
  log(LogLevel::Debug, "    section len:%5u\n", section_length);
}

void trace_crc(const Log& log, std::span<const std::uint8_t> crc) {
  log(LogLevel::Debug, "\t\tcrc32: %02X %02X %02X %02X\n", crc[0], crc[1], crc[2], crc[3]);
}

}  // namespace

bool read_pat(PacketCursor& cursor, std::vector<std::uint16_t>& pat_pids, std::uint16_t& pmt_pid,
              const Log& log) {
  std::array<std::uint8_t, 1> table_id{};
  if (!read_packet_bytes(cursor, table_id) || table_id[0] != kPatTableId) return false;
  std::array<std::uint8_t, 2> length{};
  if (!read_packet_bytes(cursor, length)) return false;
  // section_syntax_indicator (1), '0' (1), reserved (2), section_length (12)
  const unsigned section_length = be16(length[0], length[1]) & kSectionLengthMask;
  std::uint16_t counter = static_cast<std::uint16_t>(section_length);
  trace_lengths(log, cursor.bytes_left, section_length);

  skip_packet_bytes(cursor, kSectionFixedBytes);
  lower_counter(counter, kSectionFixedBytes);

  // The PAT is read straight from the stream; entries are taken only while
  // they lie inside this packet, so that a length field beyond the packet
  // does not read the following packets' bytes as programs.
  while (counter > kCrcBytes && cursor.bytes_left >= kPatEntryBytes) {
    std::array<std::uint8_t, kPatEntryBytes> entry{};
    if (!read_packet_bytes(cursor, entry)) break;
    lower_counter(counter, kPatEntryBytes);
    // program_number (16)
    const unsigned program_number = be16(entry[0], entry[1]);
    // reserved (3), network_PID / program_map_PID (13)
    const unsigned pid = be16(entry[2], entry[3]) & kPidMask;
    if (pid == kNullPid) break;
    if (pid == 0) continue;
    log(LogLevel::Debug, "\t\tprg_id:%6d,  pid:0x%04X,  left:%4d\n",
        static_cast<int>(program_number), pid, static_cast<int>(counter));
    // Program 0 names the network PID, never a PMT.
    if (program_number != 0 && pmt_pid == 0) pmt_pid = static_cast<std::uint16_t>(pid);
    pat_pids.push_back(static_cast<std::uint16_t>(pid));
  }

  if (cursor.bytes_left < kCrcBytes) return true;
  std::array<std::uint8_t, kCrcBytes> crc{};
  if (read_packet_bytes(cursor, crc)) trace_crc(log, crc);
  return true;
}

bool read_pmt(PacketCursor& cursor, std::uint16_t pmt_pid, ProgramStreams& program,
              const Log& log) {
  std::array<std::uint8_t, 2> length{};
  if (!read_packet_bytes(cursor, length)) return false;
  // section_syntax_indicator (1), '0' (1), reserved (2), section_length (12)
  const unsigned section_length = be16(length[0], length[1]) & kSectionLengthMask;
  std::uint16_t counter = static_cast<std::uint16_t>(section_length);
  trace_lengths(log, cursor.bytes_left, section_length);

  skip_packet_bytes(cursor, kSectionFixedBytes);
  lower_counter(counter, kSectionFixedBytes);

  std::array<std::uint8_t, 2> field{};
  if (read_packet_bytes(cursor, field)) {
    // reserved (3), PCR_PID (13)
    program.pcr_pid = static_cast<std::uint16_t>(be16(field[0], field[1]) & kPidMask);
    log(LogLevel::Debug, "\t\tPCR: 0x%04X\n", static_cast<unsigned>(program.pcr_pid));
    lower_counter(counter, 2);
  }
  unsigned program_info_length = 0;
  if (read_packet_bytes(cursor, field)) {
    lower_counter(counter, 2);
    // reserved (4), program_info_length (12)
    program_info_length = be16(field[0], field[1]) & kSectionLengthMask;
  }
  skip_packet_bytes(cursor, static_cast<int>(program_info_length));
  lower_counter(counter, program_info_length);
  log(LogLevel::Debug, "\t\tprg_info_len:%5u\n", program_info_length);

  // Program descriptors that run past the packet leave no stream entries in
  // it: what follows in the file is the next packet, not this section, so
  // no entries are scanned then.
  if (!cursor.overran) {
    std::array<std::uint8_t, kSectionBufferBytes> section_buffer{};
    const std::size_t rest =
        std::min<std::size_t>(static_cast<std::size_t>(cursor.bytes_left), section_buffer.size());
    // A stream cut short still gives the entries it holds.
    int bytes_held =
        static_cast<int>(read_available_bytes(cursor, std::span(section_buffer).first(rest)));
    if (bytes_held < counter) {
      bytes_held = read_section_rest(cursor, pmt_pid, section_buffer, bytes_held, counter);
    }
    scan_pmt_streams(counter, std::span(section_buffer).first(static_cast<std::size_t>(bytes_held)),
                     program, log);
  }
  cursor.bytes_left = 0;
  return true;
}

void scan_pmt_streams(std::uint16_t es_loop_length, std::span<const std::uint8_t> section,
                      ProgramStreams& program, const Log& log) {
  const int loop_length = es_loop_length;
  const int held = static_cast<int>(section.size());
  int offset = 0;
  // One entry and the CRC must remain, and the entry's bytes must be held:
  // a section cut short by the end of the stream ends the walk.
  while (loop_length - offset >= kPmtEntryBytes + kCrcBytes && offset + kPmtEntryBytes <= held) {
    const auto entry = section.subspan(static_cast<std::size_t>(offset), kPmtEntryBytes);
    // stream_type (8)
    const std::uint8_t stream_type = entry[0];
    // reserved (3), elementary_PID (13)
    const unsigned pid = be16(entry[1], entry[2]) & kPidMask;
    // reserved (4), ES_info_length (12)
    const unsigned es_info_length = be16(entry[3], entry[4]) & kSectionLengthMask;
    // The descriptors behind the entry, as far as the section holds them.
    const std::size_t info_at = static_cast<std::size_t>(offset) + kPmtEntryBytes;
    const std::size_t info_held = std::min<std::size_t>(es_info_length, section.size() - info_at);
    const auto es_info = section.subspan(info_at, info_held);
    program.es_pids.push_back(static_cast<std::uint16_t>(pid));
    program.es_types.push_back(stream_type);
    offset += kPmtEntryBytes + static_cast<int>(es_info_length);
    log(LogLevel::Debug, "\t\t 0x%04X:", pid);
    log(LogLevel::Debug, " %5u,  left:%5d,  es_type:0x%02X\n", es_info_length, loop_length - offset,
        static_cast<unsigned>(stream_type));
    // The stream-type table decides which streams can be measured, with the
    // entry's descriptors as far as they are held; the first of each role is
    // kept.
    if (const EsScanner* scanner = find_es_scanner(stream_type, es_info)) {
      EsSelection& chosen = scanner->role == EsRole::Video ? program.video : program.audio;
      if (chosen.pid == 0) chosen = {static_cast<std::uint16_t>(pid), scanner, stream_type};
    } else {
      program.unmeasured_types.push_back(stream_type);
      const auto es_pid = static_cast<std::uint16_t>(pid);
      if (stream_type == kPrivateDataType &&
          std::find(program.probe_candidates.begin(), program.probe_candidates.end(), es_pid) ==
              program.probe_candidates.end()) {
        program.probe_candidates.push_back(es_pid);
      }
    }
  }
  if (loop_length - offset == kCrcBytes && offset + kCrcBytes <= held) {
    trace_crc(log, section.subspan(static_cast<std::size_t>(offset), kCrcBytes));
  }
}

int read_section_rest(PacketCursor& cursor, std::uint16_t pid,
                      std::span<std::uint8_t> section_buffer, int bytes_held,
                      std::uint16_t section_rest_length) {
  const int capacity = static_cast<int>(section_buffer.size());
  bytes_held = std::clamp(bytes_held, 0, capacity);
  const std::int64_t resume_at = cursor.stream.tell();
  // A look-ahead of its own: the packets passed over on the way are not
  // counted as packets of the walk, only the bytes the sync search discards.
  PacketCursor ahead{cursor.stream, kTsPacketBytes, cursor.sync_offset, false, cursor.layout};
  TsPacketHeader header;
  bool found = false;
  while (pid != 0) {
    // Each packet ahead begins behind its time-stamp prefix, if it has one.
    ahead.stream.skip(ahead.layout.prefix_bytes);
    if (!read_ts_packet_header(ahead, header)) break;
    if (header.pid == pid) {
      found = true;
      break;
    }
    skip_packet_bytes(ahead, ahead.bytes_left);
  }
  if (found) {
    skip_adaptation_field(ahead, header);
    // The rest must fit the buffer and comes from this one packet's payload;
    // a length field that claims more is not followed past either.
    const int wanted = std::min<int>(section_rest_length, capacity) - bytes_held;
    const int count = std::min(wanted, ahead.bytes_left);
    if (count > 0) {
      bytes_held += static_cast<int>(
          read_available_bytes(ahead, section_buffer.subspan(static_cast<std::size_t>(bytes_held),
                                                             static_cast<std::size_t>(count))));
    }
  }
  cursor.sync_offset = ahead.sync_offset;
  cursor.stream.seek(resume_at);
  return bytes_held;
}

}  // namespace mendra

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

void trace_lengths(const RunSettings& settings, int packet_bytes_left, unsigned section_length) {
  settings.log_debug(stderr, "\t\tpacket len:%5d", packet_bytes_left);
  settings.log_debug(stderr, "    section len:%5u\n", section_length);
}

void trace_crc(const RunSettings& settings, std::span<const std::uint8_t> crc) {
  settings.log_debug(stderr, "\t\tcrc32: %02X %02X %02X %02X\n", crc[0], crc[1], crc[2], crc[3]);
}

}  // namespace

int read_pat(TsStream& stream, std::vector<int>& pat_pids, std::uint16_t& pmt_pid,
             int& packet_bytes_left, const RunSettings& settings) {
  std::array<std::uint8_t, 1> table_id{};
  if (read_packet_bytes(stream, table_id, packet_bytes_left) < table_id.size()) return -1;
  if (table_id[0] != kPatTableId) return -1;
  std::array<std::uint8_t, 2> length{};
  if (read_packet_bytes(stream, length, packet_bytes_left) < length.size()) return -1;
  // section_syntax_indicator (1), '0' (1), reserved (2), section_length (12)
  const unsigned section_length = be16(length[0], length[1]) & kSectionLengthMask;
  std::uint16_t counter = static_cast<std::uint16_t>(section_length);
  trace_lengths(settings, packet_bytes_left, section_length);

  skip_packet_bytes(stream, kSectionFixedBytes, packet_bytes_left);
  lower_counter(counter, kSectionFixedBytes);

  // The PAT is read straight from the stream; entries are taken only while
  // they lie inside this packet, so that a length field beyond the packet
  // does not read the following packets' bytes as programs.
  while (counter > kCrcBytes && packet_bytes_left >= kPatEntryBytes) {
    std::array<std::uint8_t, kPatEntryBytes> entry{};
    if (read_packet_bytes(stream, entry, packet_bytes_left) < entry.size()) break;
    lower_counter(counter, kPatEntryBytes);
    // program_number (16)
    const unsigned program_number = be16(entry[0], entry[1]);
    // reserved (3), network_PID / program_map_PID (13)
    const unsigned pid = be16(entry[2], entry[3]) & kPidMask;
    if (pid == kNullPid) break;
    if (pid == 0) continue;
    settings.log_debug(stderr, "\t\tprg_id:%6d,  pid:0x%04X,  left:%4d\n",
                       static_cast<int>(program_number), pid, static_cast<int>(counter));
    // Program 0 names the network PID, never a PMT.
    if (program_number != 0 && pmt_pid == 0) pmt_pid = static_cast<std::uint16_t>(pid);
    pat_pids.push_back(static_cast<int>(pid));
  }

  if (packet_bytes_left < kCrcBytes) return 0;
  std::array<std::uint8_t, kCrcBytes> crc{};
  if (read_packet_bytes(stream, crc, packet_bytes_left) == crc.size()) trace_crc(settings, crc);
  return 0;
}

int read_pmt(TsStream& stream, std::uint16_t pmt_pid, std::vector<int>& pmt_es_pids,
             std::uint16_t& pcr_pid, std::uint16_t& video_pid, std::uint16_t& audio_pid,
             int& packet_bytes_left, std::int64_t& ts_bytes_read, const RunSettings& settings) {
  std::array<std::uint8_t, 2> length{};
  if (read_packet_bytes(stream, length, packet_bytes_left) < length.size()) return -1;
  // section_syntax_indicator (1), '0' (1), reserved (2), section_length (12)
  const unsigned section_length = be16(length[0], length[1]) & kSectionLengthMask;
  std::uint16_t counter = static_cast<std::uint16_t>(section_length);
  trace_lengths(settings, packet_bytes_left, section_length);

  skip_packet_bytes(stream, kSectionFixedBytes, packet_bytes_left);
  lower_counter(counter, kSectionFixedBytes);

  std::array<std::uint8_t, 2> field{};
  if (read_packet_bytes(stream, field, packet_bytes_left) == field.size()) {
    // reserved (3), PCR_PID (13)
    pcr_pid = static_cast<std::uint16_t>(be16(field[0], field[1]) & kPidMask);
    settings.log_debug(stderr, "\t\tPCR: 0x%04X\n", static_cast<unsigned>(pcr_pid));
    lower_counter(counter, 2);
  }
  unsigned program_info_length = 0;
  if (read_packet_bytes(stream, field, packet_bytes_left) == field.size()) {
    lower_counter(counter, 2);
    // reserved (4), program_info_length (12)
    program_info_length = be16(field[0], field[1]) & kSectionLengthMask;
  }
  skip_packet_bytes(stream, static_cast<int>(program_info_length), packet_bytes_left);
  lower_counter(counter, program_info_length);
  settings.log_debug(stderr, "\t\tprg_info_len:%5u\n", program_info_length);

  // Program descriptors that run past the packet leave no stream entries in
  // it: what follows in the file is the next packet, not this section, so
  // no entries are scanned then.
  if (packet_bytes_left >= 0) {
    std::array<std::uint8_t, kSectionBufferBytes> section_buffer{};
    const std::size_t rest =
        std::min<std::size_t>(static_cast<std::size_t>(packet_bytes_left), section_buffer.size());
    int bytes_held = static_cast<int>(
        read_packet_bytes(stream, std::span(section_buffer).first(rest), packet_bytes_left));
    if (bytes_held < counter) {
      bytes_held =
          read_section_rest(stream, pmt_pid, section_buffer, bytes_held, counter, ts_bytes_read);
    }
    scan_pmt_streams(counter, std::span(section_buffer).first(static_cast<std::size_t>(bytes_held)),
                     pmt_es_pids, video_pid, audio_pid, settings);
  }
  packet_bytes_left = 0;
  return 0;
}

int scan_pmt_streams(std::uint16_t es_loop_length, std::span<const std::uint8_t> section,
                     std::vector<int>& pmt_es_pids, std::uint16_t& video_pid,
                     std::uint16_t& audio_pid, const RunSettings& settings) {
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
    pmt_es_pids.push_back(static_cast<int>(pid));
    offset += kPmtEntryBytes + static_cast<int>(es_info_length);
    settings.log_debug(stderr, "\t\t 0x%04X:", pid);
    settings.log_debug(stderr, " %5u,  left:%5d,  es_type:0x%02X\n", es_info_length,
                       loop_length - offset, static_cast<unsigned>(stream_type));
    if (stream_type == kStreamTypeMpeg2Video && video_pid == 0) {
      video_pid = static_cast<std::uint16_t>(pid);
    }
    if (stream_type == kStreamTypeAdtsAac && audio_pid == 0) {
      audio_pid = static_cast<std::uint16_t>(pid);
    }
  }
  if (loop_length - offset == kCrcBytes && offset + kCrcBytes <= held) {
    trace_crc(settings, section.subspan(static_cast<std::size_t>(offset), kCrcBytes));
  }
  return 0;
}

int read_section_rest(TsStream& stream, std::uint16_t pid, std::span<std::uint8_t> section_buffer,
                      int bytes_held, std::uint16_t section_rest_length,
                      std::int64_t& ts_bytes_read) {
  const int capacity = static_cast<int>(section_buffer.size());
  bytes_held = std::clamp(bytes_held, 0, capacity);
  const std::int64_t resume_at = stream.tell();
  TsPacketHeader header;
  int packet_bytes_left = kTsPacketBytes;
  bool found = false;
  while (pid != 0) {
    packet_bytes_left = kTsPacketBytes;
    clear_packet_header(header);
    if (read_ts_packet_header(stream, header, packet_bytes_left, ts_bytes_read) < 0) break;
    if (header.pid == pid) {
      found = true;
      break;
    }
    skip_packet_bytes(stream, packet_bytes_left, packet_bytes_left);
  }
  if (found) {
    skip_adaptation_field(stream, header, packet_bytes_left);
    // The rest must fit the buffer and comes from this one packet's payload;
    // a length field that claims more is not followed past either.
    const int wanted = std::min<int>(section_rest_length, capacity) - bytes_held;
    const int count = std::min(wanted, packet_bytes_left);
    if (count > 0) {
      bytes_held += static_cast<int>(
          read_packet_bytes(stream,
                            section_buffer.subspan(static_cast<std::size_t>(bytes_held),
                                                   static_cast<std::size_t>(count)),
                            packet_bytes_left));
    }
  }
  stream.seek(resume_at);
  return bytes_held;
}

}  // namespace mendra

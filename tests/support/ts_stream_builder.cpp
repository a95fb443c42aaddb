#include "support/ts_stream_builder.h"

#include <cstdio>
#include <stdexcept>

namespace mendra::test {
namespace {

constexpr std::size_t kPacketBytes = 188;
constexpr std::size_t kHeaderBytes = 4;

void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}

// CRC_32 of MPEG-2 sections (polynomial 0x04C11DB7, no reflection).
void put_crc32(Bytes& b, std::size_t from) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = from; i < b.size(); ++i) {
    crc ^= std::uint32_t{b[i]} << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(crc >> shift));
}

void put_time_stamp(Bytes& b, unsigned prefix, std::int64_t t) {
  b.push_back(
      static_cast<std::uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1));  // prefix, 32..30, marker
  put16(b, static_cast<unsigned>(((t >> 14) & 0xFFFE) | 1));               // 29..15, marker
  put16(b, static_cast<unsigned>(((t << 1) & 0xFFFE) | 1));                // 14..0, marker
}

}  // namespace

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes ts_packet(std::uint16_t pid, bool pusi, const std::optional<Bytes>& adaptation,
                const Bytes& payload) {
  Bytes p;
  p.push_back(0x47);  // sync_byte
  p.push_back(
      static_cast<std::uint8_t>((pusi ? 0x40 : 0) | (pid >> 8)));  // TEI, PUSI, priority, PID hi
  p.push_back(static_cast<std::uint8_t>(pid));                     // PID lo
  const unsigned afc = adaptation ? (payload.empty() ? 2 : 3) : 1;
  p.push_back(static_cast<std::uint8_t>(afc << 4));  // scrambling 0, adaptation_field_control, CC 0
  if (adaptation) {
    p.push_back(static_cast<std::uint8_t>(adaptation->size()));  // adaptation_field_length
    p = p + *adaptation;
  }
  p = p + payload;
  if (p.size() > kPacketBytes) throw std::length_error("packet content beyond 188 bytes");
  p.resize(kPacketBytes, 0xFF);
  return p;
}

Bytes ts_packet_fitted(std::uint16_t pid, bool pusi, const Bytes& payload) {
  const std::size_t room = kPacketBytes - kHeaderBytes;
  if (payload.size() >= room) return ts_packet(pid, pusi, std::nullopt, payload);
  Bytes adaptation;
  if (room - payload.size() >= 2) {
    adaptation.push_back(0x00);                          // flags: nothing present
    adaptation.resize(room - payload.size() - 1, 0xFF);  // stuffing_bytes
  }
  return ts_packet(pid, pusi, adaptation, payload);
}

Bytes pcr_adaptation(std::int64_t base, bool with_pcr_flag) {
  Bytes a;
  a.push_back(with_pcr_flag ? 0x10 : 0x00);                          // flags: PCR_flag
  a.push_back(static_cast<std::uint8_t>(base >> 25));                // PCR base 32..25
  a.push_back(static_cast<std::uint8_t>(base >> 17));                // PCR base 24..17
  a.push_back(static_cast<std::uint8_t>(base >> 9));                 // PCR base 16..9
  a.push_back(static_cast<std::uint8_t>(base >> 1));                 // PCR base 8..1
  a.push_back(static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E));  // base 0, reserved, ext hi
  a.push_back(0x00);                                                 // PCR extension lo
  return a;
}

Bytes pat_section(const std::vector<std::pair<int, int>>& programs,
                  std::optional<int> section_length) {
  Bytes s{0x00};  // pointer_field
  const std::size_t start = s.size();
  s.push_back(0x00);  // table_id
  put16(s, 0xB000 | static_cast<unsigned>(section_length.value_or(
                        static_cast<int>(5 + 4 * programs.size() + 4))));  // syntax, length
  put16(s, 0x0001);                                                        // transport_stream_id
  s.push_back(0xC1);  // reserved, version 0, current_next 1
  s.push_back(0x00);  // section_number
  s.push_back(0x00);  // last_section_number
  for (const auto& [program, pid] : programs) {
    put16(s, static_cast<unsigned>(program));       // program_number
    put16(s, 0xE000 | static_cast<unsigned>(pid));  // reserved, program_map_PID
  }
  put_crc32(s, start);
  return s;
}

Bytes pmt_section(int pcr_pid, const Bytes& program_info, const std::vector<PmtStream>& streams,
                  std::optional<int> section_length) {
  std::size_t loop = 0;
  for (const auto& st : streams) loop += 5 + st.es_info.size();
  Bytes s{0x00};  // pointer_field
  const std::size_t start = s.size();
  s.push_back(0x02);  // table_id
  put16(s, 0xB000 | static_cast<unsigned>(section_length.value_or(
                        static_cast<int>(9 + program_info.size() + loop + 4))));  // syntax, length
  put16(s, 0x0001);                                                               // program_number
  s.push_back(0xC1);                                  // reserved, version 0, current_next 1
  s.push_back(0x00);                                  // section_number
  s.push_back(0x00);                                  // last_section_number
  put16(s, 0xE000 | static_cast<unsigned>(pcr_pid));  // reserved, PCR_PID
  put16(s, 0xF000 | static_cast<unsigned>(program_info.size()));  // reserved, program_info_length
  s = s + program_info;
  for (const auto& st : streams) {
    s.push_back(static_cast<std::uint8_t>(st.stream_type));       // stream_type
    put16(s, 0xE000 | static_cast<unsigned>(st.pid));             // reserved, elementary_PID
    put16(s, 0xF000 | static_cast<unsigned>(st.es_info.size()));  // reserved, ES_info_length
    s = s + st.es_info;
  }
  put_crc32(s, start);
  return s;
}

Bytes pes_header(int stream_id, std::optional<std::int64_t> pts, std::optional<std::int64_t> dts,
                 std::optional<int> header_data_length) {
  const unsigned flags = pts ? (dts ? 3 : 2) : 0;
  const int stamps = pts ? (dts ? 10 : 5) : 0;
  const int length = header_data_length.value_or(stamps);
  Bytes h{0x00, 0x00, 0x01, static_cast<std::uint8_t>(stream_id)};  // packet_start_code, stream_id
  put16(h, 0);                                                      // PES_packet_length
  h.push_back(0x80);                                   // '10', scrambling, priority, ...
  h.push_back(static_cast<std::uint8_t>(flags << 6));  // PTS_DTS_flags, other flags 0
  h.push_back(static_cast<std::uint8_t>(length));      // PES_header_data_length
  const std::size_t fields_start = h.size();
  if (pts) put_time_stamp(h, dts ? 3 : 2, *pts);  // PTS
  if (dts) put_time_stamp(h, 1, *dts);            // DTS
  if (static_cast<int>(h.size() - fields_start) < length)
    h.resize(fields_start + length, 0xFF);  // stuffing
  return h;
}

Bytes sequence_header(int width, int height, int aspect, int frame_rate_code) {
  Bytes h{0x00, 0x00, 0x01, 0xB3};                     // sequence_header_code
  h.push_back(static_cast<std::uint8_t>(width >> 4));  // horizontal_size 11..4
  h.push_back(static_cast<std::uint8_t>(((width & 0x0F) << 4) | (height >> 8)));  // h 3..0, v 11..8
  h.push_back(static_cast<std::uint8_t>(height));  // vertical_size 7..0
  h.push_back(
      static_cast<std::uint8_t>((aspect << 4) | frame_rate_code));  // aspect, frame_rate_code
  h = h + Bytes{0xFF, 0xFF, 0xE0, 0x18};  // bit_rate, marker, vbv_buffer_size, flags
  return h;
}

Bytes gop_header() {
  return {0x00, 0x00, 0x01, 0xB8,   // group_start_code
          0x00, 0x08, 0x00, 0x40};  // time_code, closed_gop, broken_link
}

Bytes picture_header(int temporal_reference, int picture_coding_type) {
  return {0x00,
          0x00,
          0x01,
          0x00,                                                          // picture_start_code
          static_cast<std::uint8_t>(temporal_reference >> 2),            // temporal_reference 9..2
          static_cast<std::uint8_t>(((temporal_reference & 3) << 6) |    // temporal_reference 1..0
                                    (picture_coding_type << 3) | 0x07),  // coding type, vbv_delay
          0xFF,
          0xF8};  // vbv_delay, extra bits
}

Bytes adts_header(int id, int profile) {
  return {
      0xFF,                                                // syncword 11..4
      static_cast<std::uint8_t>(0xF0 | (id << 3) | 0x01),  // syncword, ID, layer, protection_absent
      static_cast<std::uint8_t>((profile << 6) | (3 << 2) |
                                0),  // profile, sampling 48 kHz, private, ch hi
      0x80};                         // channel_configuration 2, ...
}

void put_bits(BitWriter& w, int count, std::uint64_t value) {
  for (int i = count - 1; i >= 0; --i) {
    if (w.used == 8) {
      w.bytes.push_back(0);
      w.used = 0;
    }
    const unsigned bit = static_cast<unsigned>((value >> i) & 1U);
    w.bytes.back() = static_cast<std::uint8_t>(w.bytes.back() | (bit << (7 - w.used)));
    ++w.used;
  }
}

void put_ue(BitWriter& w, std::uint32_t value) {
  const std::uint64_t code = std::uint64_t{value} + 1;
  int bits = 0;
  while ((code >> bits) > 1) ++bits;
  put_bits(w, bits, 0);         // leading zeros
  put_bits(w, bits + 1, code);  // 1 and the suffix
}

void put_se(BitWriter& w, std::int32_t value) {
  const std::int64_t v = value;
  put_ue(w, static_cast<std::uint32_t>(v > 0 ? 2 * v - 1 : -2 * v));
}

Bytes nal_unit(const Bytes& header, const Bytes& payload) {
  Bytes b = Bytes{0x00, 0x00, 0x01} + header;  // start code prefix, NAL unit header
  int zeros = 0;
  for (const std::uint8_t byte : payload) {
    if (zeros >= 2 && byte <= 0x03) {
      b.push_back(0x03);  // emulation_prevention_three_byte
      zeros = 0;
    }
    b.push_back(byte);
    zeros = byte == 0x00 ? zeros + 1 : 0;
  }
  return b;
}

namespace {

// rbsp_stop_one_bit, alignment zeros, then a few slice-data bytes.
Bytes finish_payload(BitWriter w) {
  put_bits(w, 1, 1);                           // rbsp_stop_one_bit
  if (w.used < 8) put_bits(w, 8 - w.used, 0);  // rbsp_alignment_zero_bit
  return w.bytes + Bytes{0x9A, 0xBC, 0xDE, 0x80};
}

}  // namespace

Bytes h264_aud() {
  return nal_unit({0x09},   // forbidden_zero_bit, nal_ref_idc 0, nal_unit_type 9
                  {0xF0});  // primary_pic_type 7, rbsp_stop_one_bit
}

Bytes h264_slice(int nal_unit_type, std::uint32_t first_mb_in_slice, int slice_type) {
  BitWriter w;
  put_ue(w, first_mb_in_slice);                                       // first_mb_in_slice
  put_ue(w, static_cast<std::uint32_t>(slice_type));                  // slice_type
  put_ue(w, 0);                                                       // pic_parameter_set_id
  put_bits(w, 4, 0x5);                                                // frame_num (4 bits here)
  return nal_unit({static_cast<std::uint8_t>(0x60 | nal_unit_type)},  // nal_ref_idc 3, type
                  finish_payload(w));
}

Bytes hevc_aud() {
  return nal_unit({0x46, 0x01},  // nal_unit_type 35, nuh_layer_id 0, nuh_temporal_id_plus1 1
                  {0x50});       // pic_type 2, rbsp_stop_one_bit
}

Bytes hevc_slice(int nal_unit_type, bool first_slice_segment_in_pic, int nuh_layer_id) {
  BitWriter w;
  put_bits(w, 1, first_slice_segment_in_pic ? 1 : 0);  // first_slice_segment_in_pic_flag
  if (nal_unit_type >= 16 && nal_unit_type <= 23) put_bits(w, 1, 0);  // no_output_of_prior_pics
  put_ue(w, 0);                                                       // slice_pic_parameter_set_id
  return nal_unit(
      {static_cast<std::uint8_t>((nal_unit_type << 1) | (nuh_layer_id >> 5)),  // type, layer 5
       static_cast<std::uint8_t>(((nuh_layer_id & 0x1F) << 3) | 1)},  // layer 4..0, tid_plus1 1
      finish_payload(w));
}

Bytes adts_frame_header(const AdtsFields& f) {
  const auto fl = static_cast<unsigned>(f.frame_length);
  return {
      0xFF,  // syncword 11..4
      static_cast<std::uint8_t>(0xF0 | (f.id << 3) | (f.layer << 1) |
                                0x01),  // syncword 3..0, ID, layer, protection_absent
      static_cast<std::uint8_t>((f.profile << 6) | (f.sampling_index << 2) |
                                0),  // profile, sampling_frequency_index, private_bit, channel hi
      static_cast<std::uint8_t>(0x80 | (fl >> 11)),  // channel 2, original/home/copyright, length
      static_cast<std::uint8_t>(fl >> 3),            // frame_length 10..3
      static_cast<std::uint8_t>(((fl & 7) << 5) | 0x1F),  // frame_length 2..0, fullness hi
      0xFC};  // buffer_fullness lo, number_of_raw_data_blocks_in_frame 0
}

Bytes mpeg_audio_header(const MpegAudioFields& f) {
  return {0xFF,  // syncword 10..3
          static_cast<std::uint8_t>(0xE0 | (f.version << 3) | (f.layer << 1) |
                                    0x01),  // syncword 2..0, version, layer, protection_bit
          static_cast<std::uint8_t>((f.bitrate_index << 4) | (f.sampling_index << 2) |
                                    0),  // bitrate_index, sampling_frequency, padding, private
          0x44};                         // mode, mode_extension, copyright, original, emphasis
}

Bytes ac3_header(const Ac3Fields& f) {
  return {0x0B,
          0x77,  // syncword
          0x12,
          0x34,                                                      // crc1
          static_cast<std::uint8_t>((f.fscod << 6) | f.frmsizecod),  // fscod, frmsizecod
          static_cast<std::uint8_t>(f.bsid << 3),                    // bsid, bsmod 0
          0xE0};                                                     // acmod 7, ...
}

Bytes eac3_header(const Eac3Fields& f) {
  return {0x0B,
          0x77,                                             // syncword
          static_cast<std::uint8_t>((f.strmtyp << 6) | 0),  // strmtyp, substreamid 0, frmsiz hi
          0xFF,                                             // frmsiz lo
          static_cast<std::uint8_t>((f.fscod << 6) | (f.fscod2 << 4) |
                                    0x04),         // fscod, fscod2/numblkscod, acmod 2, lfeon 0
          static_cast<std::uint8_t>(f.bsid << 3),  // bsid, dialnorm hi
          0x80};                                   // dialnorm lo, compre, ...
}

Bytes latm_header(int mux_length_bytes) {
  const auto n = static_cast<unsigned>(mux_length_bytes);
  return {0x56,                                        // syncword 10..3
          static_cast<std::uint8_t>(0xE0 | (n >> 8)),  // syncword 2..0, audioMuxLengthBytes hi
          static_cast<std::uint8_t>(n),                // audioMuxLengthBytes lo
          0x47};                                       // useSameStreamMux 0, StreamMuxConfig
}

Bytes descriptor(int tag, const Bytes& body) {
  Bytes d{static_cast<std::uint8_t>(tag),           // descriptor_tag
          static_cast<std::uint8_t>(body.size())};  // descriptor_length
  return d + body;
}

}  // namespace mendra::test

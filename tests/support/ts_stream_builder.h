// Transport streams built field by field for the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mendra::test {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b);

// One 188-byte packet. With `adaptation` the field holds exactly those bytes
// (flags byte first); the payload is padded with 0xFF to the packet end.
Bytes ts_packet(std::uint16_t pid, bool pusi, const std::optional<Bytes>& adaptation,
                const Bytes& payload);
// One packet whose payload ends exactly at the packet end: an adaptation
// field of stuffing takes up what the payload leaves free.
Bytes ts_packet_fitted(std::uint16_t pid, bool pusi, const Bytes& payload);

// Adaptation field bytes with a PCR; without the flag the same bytes follow a
// flags byte whose PCR_flag is clear.
Bytes pcr_adaptation(std::int64_t base, bool with_pcr_flag = true);

// Sections from the table_id on, with a pointer field of 0 in front.
// section_length is computed unless given.
Bytes pat_section(const std::vector<std::pair<int, int>>& programs,
                  std::optional<int> section_length = std::nullopt);
struct PmtStream {
  int stream_type;
  int pid;
  Bytes es_info;
};
Bytes pmt_section(int pcr_pid, const Bytes& program_info, const std::vector<PmtStream>& streams,
                  std::optional<int> section_length = std::nullopt);

// PES header with the PTS (and DTS) given; header_data_length defaults to
// what the time stamps need, more adds stuffing bytes.
Bytes pes_header(int stream_id, std::optional<std::int64_t> pts,
                 std::optional<std::int64_t> dts = std::nullopt,
                 std::optional<int> header_data_length = std::nullopt);

Bytes sequence_header(int width, int height, int aspect, int frame_rate_code);
Bytes gop_header();
Bytes picture_header(int temporal_reference, int picture_coding_type);
// ADTS fixed header start; id 1 = MPEG-2, profile 1 = AAC LC.
Bytes adts_header(int id = 1, int profile = 1);

// Bits of a NAL unit's payload, most significant first.
struct BitWriter {
  Bytes bytes;
  int used = 8;  // bits used of the last byte
};
void put_bits(BitWriter& w, int count, std::uint64_t value);
// Exp-Golomb codes: ue(v) and se(v).
void put_ue(BitWriter& w, std::uint32_t value);
void put_se(BitWriter& w, std::int32_t value);

// 00 00 01, the NAL unit header bytes, then `payload` with an emulation
// prevention byte 03 put behind every 00 00 that a byte 00 to 03 follows.
Bytes nal_unit(const Bytes& header, const Bytes& payload);
// H.264 access unit delimiter (primary_pic_type 7: any slice type).
Bytes h264_aud();
// H.264 slice: nal_unit_type 1 (non-IDR) or 5 (IDR); slice_type 0..9.
Bytes h264_slice(int nal_unit_type, std::uint32_t first_mb_in_slice, int slice_type);
// HEVC access unit delimiter.
Bytes hevc_aud();
// HEVC slice segment of nal_unit_type 0..31.
Bytes hevc_slice(int nal_unit_type, bool first_slice_segment_in_pic, int nuh_layer_id = 0);

// Whole audio frame headers, every field given; the defaults make a valid
// header (48 kHz where a rate is named).
struct AdtsFields {
  int id = 0, layer = 0, profile = 1, sampling_index = 3, frame_length = 371;
};
Bytes adts_frame_header(const AdtsFields& f);
struct MpegAudioFields {
  int version = 3, layer = 2, bitrate_index = 12, sampling_index = 1;
};
Bytes mpeg_audio_header(const MpegAudioFields& f);
struct Ac3Fields {
  int fscod = 0, frmsizecod = 28, bsid = 8;
};
Bytes ac3_header(const Ac3Fields& f);
struct Eac3Fields {
  int strmtyp = 0, fscod = 0, fscod2 = 3, bsid = 16;
};
Bytes eac3_header(const Eac3Fields& f);
// LOAS AudioSyncStream header.
Bytes latm_header(int mux_length_bytes = 300);
// A descriptor of an ES_info or program_info loop.
Bytes descriptor(int tag, const Bytes& body = {});

// The bytes as characters, for write_file.
inline std::string_view as_chars(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace mendra::test

// HEVC video start: a random-access picture is an IRAP picture, one whose
// slice segments have a nal_unit_type from 16 to 23 (BLA, IDR, CRA).
#include <array>

#include "ts/bit_reader.h"
#include "ts/nal_scan.h"

namespace mendra {
namespace {

constexpr std::size_t kNalHeaderBytes = 2;
// VCL units (slice segments) have types 0 to 31.
constexpr unsigned kLastVclType = 31;
constexpr unsigned kFirstIrapType = 16;
constexpr unsigned kLastIrapType = 23;

// Indexed by nal_unit_type (6 bits).
constexpr std::array<const char*, 64> nal_unit_names = {
    "TRAIL_N",     "TRAIL_R",     "TSA_N",       "TSA_R",       "STSA_N",      "STSA_R",
    "RADL_N",      "RADL_R",      "RASL_N",      "RASL_R",      "RSV_VCL",     "RSV_VCL",
    "RSV_VCL",     "RSV_VCL",     "RSV_VCL",     "RSV_VCL",     "BLA_W_LP",    "BLA_W_RADL",
    "BLA_N_LP",    "IDR_W_RADL",  "IDR_N_LP",    "CRA",         "RSV_IRAP",    "RSV_IRAP",
    "RSV_VCL",     "RSV_VCL",     "RSV_VCL",     "RSV_VCL",     "RSV_VCL",     "RSV_VCL",
    "RSV_VCL",     "RSV_VCL",     "VPS",         "SPS",         "PPS",         "AUD",
    "EOS",         "EOB",         "FD",          "prefix SEI",  "suffix SEI",  "reserved",
    "reserved",    "reserved",    "reserved",    "reserved",    "reserved",    "reserved",
    "unspecified", "unspecified", "unspecified", "unspecified", "unspecified", "unspecified",
    "unspecified", "unspecified", "unspecified", "unspecified", "unspecified", "unspecified",
    "unspecified", "unspecified", "unspecified", "unspecified"};

// One slice segment; true when it is the first of a picture.
bool handle_slice_segment(const NalHead& head, unsigned nal_unit_type, NalScanState& state,
                          EsPassResult& result, const ScanContext& context) {
  BitReader reader{std::span(head.bytes).first(head.size)};
  // forbidden_zero_bit (1), nal_unit_type (6), nuh_layer_id (6),
  // nuh_temporal_id_plus1 (3)
  read_bits(reader, 7);
  const std::uint32_t nuh_layer_id = read_bits(reader, 6);
  read_bits(reader, 3);
  const std::uint32_t first_slice_segment_in_pic_flag = read_bits(reader, 1);
  // Pictures of other layers than the base layer are not decoded alone.
  if (reader.past_end || nuh_layer_id != 0) return false;
  context.log(LogLevel::Debug, "\t\t first_slice_segment_in_pic_flag: %u\n",
              static_cast<unsigned>(first_slice_segment_in_pic_flag));
  if (first_slice_segment_in_pic_flag == 0) return false;
  if (nal_unit_type >= kFirstIrapType && nal_unit_type <= kLastIrapType) {
    record_random_access(head.pts, head.sync_offset, state.random_access, result, context);
  }
  return true;
}

}  // namespace

bool handle_hevc_head(const NalHead& head, NalScanState& state, EsPassResult& result,
                      const ScanContext& context) {
  if (head.size < kNalHeaderBytes) return false;
  // forbidden_zero_bit (1), nal_unit_type (6), ...
  const unsigned nal_unit_type = (head.bytes[0] >> 1) & 0x3FU;
  context.log(LogLevel::Debug, "\t\t -- NAL %u [%s] --\n", nal_unit_type,
              nal_unit_names[nal_unit_type]);
  if (nal_unit_type > kLastVclType) return false;
  return handle_slice_segment(head, nal_unit_type, state, result, context);
}

}  // namespace mendra

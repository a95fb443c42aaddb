// H.264 video start: a random-access picture is an IDR picture, or one
// whose slices are all I (or SI) slices.
#include <array>

#include "ts/bit_reader.h"
#include "ts/nal_scan.h"

namespace mendra {
namespace {

constexpr unsigned kNonIdrSlice = 1;
constexpr unsigned kPartitionA = 2;  // data partition A carries the slice header
constexpr unsigned kIdrSlice = 5;

// Indexed by nal_unit_type (5 bits).
constexpr std::array<const char*, 32> nal_unit_names = {"unspecified", "non-IDR",
                                                        "partition A", "partition B",
                                                        "partition C", "IDR",
                                                        "SEI",         "SPS",
                                                        "PPS",         "AUD",
                                                        "end of seq",  "end of stream",
                                                        "filler",      "SPS extension",
                                                        "prefix",      "subset SPS",
                                                        "depth PS",    "reserved",
                                                        "reserved",    "auxiliary slice",
                                                        "slice ext",   "slice ext depth",
                                                        "reserved",    "reserved",
                                                        "unspecified", "unspecified",
                                                        "unspecified", "unspecified",
                                                        "unspecified", "unspecified",
                                                        "unspecified", "unspecified"};

// Indexed by slice_type % 5; 5 to 9 say that every slice of the picture
// has the same type.
constexpr std::array<const char*, 5> slice_type_names = {"P", "B", "I", "SP", "SI"};
constexpr unsigned kSliceTypeCount = 10;
constexpr unsigned kISlice = 2;
constexpr unsigned kSiSlice = 4;

bool is_slice(unsigned nal_unit_type) {
  return nal_unit_type == kNonIdrSlice || nal_unit_type == kPartitionA ||
         nal_unit_type == kIdrSlice;
}

// The units that may only stand at the head of an access unit (or end the
// one before): AUD, SEI, SPS, PPS, end of sequence and of stream, 14 to 18.
bool begins_access_unit(unsigned nal_unit_type) {
  return (nal_unit_type >= 6 && nal_unit_type <= 11) ||
         (nal_unit_type >= 14 && nal_unit_type <= 18);
}

// The picture being read ends: a non-IDR picture of I slices only is a
// random-access picture.
void close_picture(NalScanState& state, EsPassResult& result, const ScanContext& context) {
  if (state.picture.open && state.picture.intra) {
    record_random_access(state.picture.pts, state.picture.sync_offset, state.random_access, result,
                         context);
  }
  state.picture.open = false;
}

// One slice; true when it is the first slice of a picture.
bool handle_slice(const NalHead& head, unsigned nal_unit_type, NalScanState& state,
                  EsPassResult& result, const ScanContext& context) {
  BitReader reader{std::span(head.bytes).first(head.size)};
  read_bits(reader, 8);  // forbidden_zero_bit, nal_ref_idc, nal_unit_type
  const std::uint32_t first_mb_in_slice = read_ue(reader);
  const std::uint32_t slice_type = read_ue(reader);
  if (reader.past_end || slice_type >= kSliceTypeCount) {
    // A slice that cannot be read cannot vouch for an intra picture.
    state.picture.intra = false;
    return false;
  }
  context.log(LogLevel::Debug, "\t\t slice_type: %u [%s]\n", static_cast<unsigned>(slice_type),
              slice_type_names[slice_type % 5]);
  const bool intra = slice_type % 5 == kISlice || slice_type % 5 == kSiSlice;
  if (first_mb_in_slice != 0) {
    state.picture.intra = state.picture.intra && intra;
    return false;
  }
  close_picture(state, result, context);
  if (nal_unit_type == kIdrSlice) {
    // Every slice of an IDR picture is an IDR slice: decided at once.
    record_random_access(head.pts, head.sync_offset, state.random_access, result, context);
    return true;
  }
  state.picture.open = true;
  state.picture.intra = intra;
  state.picture.pts = head.pts;
  state.picture.sync_offset = head.sync_offset;
  return true;
}

}  // namespace

bool handle_h264_head(const NalHead& head, NalScanState& state, EsPassResult& result,
                      const ScanContext& context) {
  // forbidden_zero_bit (1), nal_ref_idc (2), nal_unit_type (5)
  const unsigned nal_unit_type = head.bytes[0] & 0x1FU;
  context.log(LogLevel::Debug, "\t\t -- NAL %u [%s] --\n", nal_unit_type,
              nal_unit_names[nal_unit_type]);
  if (is_slice(nal_unit_type)) return handle_slice(head, nal_unit_type, state, result, context);
  if (begins_access_unit(nal_unit_type)) close_picture(state, result, context);
  return false;
}

}  // namespace mendra

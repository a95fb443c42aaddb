#include "ts/bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/ts_stream_builder.h"

namespace mendra::test {
namespace {

// One read of a sequence: `count` bits, or an Exp-Golomb code.
enum class Read { Bits, Ue, Se };
struct Step {
  Read read;
  int count;           // for Read::Bits
  std::int64_t value;  // expected
};

struct SequenceCase {
  const char* name;
  Bytes bytes;
  std::vector<Step> steps;
  bool past_end;    // after the last step
  std::size_t bit;  // position after the last step
};

class BitReaderSequenceTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(BitReaderSequenceTest, ReadsInOrder) {
  const SequenceCase& c = GetParam();
  BitReader reader{c.bytes};
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const Step& s = c.steps[i];
    std::int64_t got = 0;
    switch (s.read) {
      case Read::Bits:
        got = read_bits(reader, s.count);
        break;
      case Read::Ue:
        got = read_ue(reader);
        break;
      case Read::Se:
        got = read_se(reader);
        break;
    }
    EXPECT_EQ(got, s.value) << "step " << i;
  }
  EXPECT_EQ(reader.past_end, c.past_end);
  EXPECT_EQ(reader.bit, c.bit);
}

constexpr auto B = Read::Bits;
constexpr auto U = Read::Ue;
constexpr auto S = Read::Se;

INSTANTIATE_TEST_SUITE_P(
    Cases, BitReaderSequenceTest,
    ::testing::Values(
        SequenceCase{"Empty", {}, {{B, 0, 0}}, false, 0},
        SequenceCase{"EmptyOneBit", {}, {{B, 1, 0}}, true, 0},
        SequenceCase{
            "AcrossByteBoundary", {0xA5, 0x3C}, {{B, 3, 5}, {B, 7, 0x14}, {B, 6, 0x3C}}, false, 16},
        SequenceCase{"ExactEnd", {0xFF, 0x00, 0xFF, 0x01}, {{B, 32, 0xFF00FF01}}, false, 32},
        SequenceCase{"ThirtyTwoBitsAcrossFiveBytes",
                     {0x0F, 0xFF, 0xFF, 0xFF, 0xF0},
                     {{B, 4, 0}, {B, 32, 0xFFFFFFFF}},
                     false,
                     36},
        SequenceCase{"OneBitPastEnd", {0xFF}, {{B, 7, 0x7F}, {B, 2, 0}}, true, 7},
        // Once past the end, even a read that would fit yields 0.
        SequenceCase{"Sticky", {0xFF, 0xFF}, {{B, 17, 0}, {B, 1, 0}, {B, 0, 0}}, true, 0},
        SequenceCase{"MoreThan32BitsAtOnce", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {{B, 33, 0}}, true, 0},
        // 1 | 010 | 011 | 00100 | 00101 -> 0, 1, 2, 3, 4
        SequenceCase{"UeFirstCodes",
                     {0xA6, 0x42, 0x80},
                     {{U, 0, 0}, {U, 0, 1}, {U, 0, 2}, {U, 0, 3}, {U, 0, 4}},
                     false,
                     17},
        // The same codes read as se(v): 0, 1, -1, 2, -2.
        SequenceCase{"SeFirstCodes",
                     {0xA6, 0x42, 0x80},
                     {{S, 0, 0}, {S, 0, 1}, {S, 0, -1}, {S, 0, 2}, {S, 0, -2}},
                     false,
                     17},
        // 0001000 across a byte boundary: 7.
        SequenceCase{"UeAcrossBoundary", {0xF1, 0x00}, {{B, 4, 15}, {U, 0, 7}}, false, 11},
        // 31 leading zeros, 1, 31 ones: the largest code, 2^32 - 2.
        SequenceCase{"UeLargest",
                     {0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFE},
                     {{U, 0, 4294967294}},
                     false,
                     63},
        SequenceCase{"SeLargest",
                     {0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFC},
                     {{S, 0, 2147483647}, {B, 1, 0}},
                     false,
                     64},
        // 32 leading zeros do not fit a 32-bit value.
        SequenceCase{"UeTooLong", {0x00, 0x00, 0x00, 0x00, 0x80}, {{U, 0, 0}}, true, 32},
        // Only zeros: the 1 never comes.
        SequenceCase{"UeWithoutOne", {0x00, 0x00}, {{U, 0, 0}, {B, 0, 0}}, true, 16},
        // The suffix is cut by the end: 11 | 0001 | two of its three bits.
        SequenceCase{"UeSuffixPastEnd", {0xC5}, {{B, 2, 3}, {U, 0, 0}}, true, 6}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

// Values written by the test writer come back unchanged, with the bit
// position just behind each code.
TEST(BitReaderRoundTrip, UeAndSeValues) {
  const std::vector<std::uint32_t> ue_values = {
      0, 1, 2, 6, 7, 8, 254, 255, 65535, 65536, 99999, 1u << 30, 2147483647, 4294967294u};
  const std::vector<std::int32_t> se_values = {
      0, 1, -1, 2, -2, 1000, -1000, 1 << 20, -(1 << 20), 2147483647, -2147483647};
  BitWriter w;
  for (std::uint32_t v : ue_values) put_ue(w, v);
  for (std::int32_t v : se_values) put_se(w, v);
  const std::size_t written = (w.bytes.size() - 1) * 8 + static_cast<std::size_t>(w.used);
  BitReader reader{w.bytes};
  for (std::uint32_t v : ue_values) EXPECT_EQ(read_ue(reader), v);
  for (std::int32_t v : se_values) EXPECT_EQ(read_se(reader), v);
  EXPECT_FALSE(reader.past_end);
  EXPECT_EQ(reader.bit, written);
}

}  // namespace
}  // namespace mendra::test

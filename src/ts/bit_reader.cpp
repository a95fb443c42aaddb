#include "ts/bit_reader.h"

namespace mendra {
namespace {

constexpr int kMaxReadBits = 32;
// A ue(v) code of 32 leading zeros or more would not fit 32 bits.
constexpr int kMaxLeadingZeros = 31;

std::size_t bits_in(const BitReader& reader) {
  return reader.bytes.size() * 8;
}

}  // namespace

std::uint32_t read_bits(BitReader& reader, int count) {
  if (reader.past_end || count < 0 || count > kMaxReadBits) {
    reader.past_end = true;
    return 0;
  }
  const auto wanted = static_cast<std::size_t>(count);
  if (wanted > bits_in(reader) - reader.bit) {
    reader.past_end = true;
    return 0;
  }
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < wanted; ++i, ++reader.bit) {
    const std::uint8_t byte = reader.bytes[reader.bit / 8];
    const unsigned shift = 7U - static_cast<unsigned>(reader.bit % 8);
    value = (value << 1) | ((byte >> shift) & 1U);
  }
  return static_cast<std::uint32_t>(value);
}

std::uint32_t read_ue(BitReader& reader) {
  int leading_zeros = 0;
  while (!reader.past_end && read_bits(reader, 1) == 0) {
    if (reader.past_end) return 0;
    if (++leading_zeros > kMaxLeadingZeros) {
      reader.past_end = true;
      return 0;
    }
  }
  if (reader.past_end) return 0;
  // codeNum = 2^leading_zeros - 1 + the leading_zeros bits behind the 1.
  const std::uint64_t base = (std::uint64_t{1} << leading_zeros) - 1;
  const std::uint32_t suffix = read_bits(reader, leading_zeros);
  if (reader.past_end) return 0;
  return static_cast<std::uint32_t>(base + suffix);
}

std::int32_t read_se(BitReader& reader) {
  const std::int64_t code = read_ue(reader);
  // Odd code numbers are positive, even ones negative: k -> (-1)^(k+1) ceil(k/2).
  const std::int64_t magnitude = (code + 1) / 2;
  return static_cast<std::int32_t>(code % 2 == 1 ? magnitude : -magnitude);
}

}  // namespace mendra

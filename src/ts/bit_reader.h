// A bit reader over a byte buffer, most significant bit first, with the
// Exp-Golomb codes of the H.264 and HEVC headers. Every read stays inside
// the buffer: one that would pass its end sets a sticky flag and yields 0,
// so a parser does a group of reads and checks the flag once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mendra {

struct BitReader {
  std::span<const std::uint8_t> bytes;
  std::size_t bit = 0;  // the next bit to read, counted from the buffer start
  // Set by a read that would pass the end of the buffer (an Exp-Golomb code
  // too long for 32 bits counts as one); every later read then yields 0 and
  // moves nothing.
  bool past_end = false;
};

// The next `count` bits (0 to 32) as an unsigned number.
std::uint32_t read_bits(BitReader& reader, int count);
// An unsigned Exp-Golomb code, ue(v).
std::uint32_t read_ue(BitReader& reader);
// A signed Exp-Golomb code, se(v): 1, -1, 2, -2 ... for code numbers 1, 2, 3, 4 ...
std::int32_t read_se(BitReader& reader);

}  // namespace mendra

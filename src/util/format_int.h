// Decimal formatting of ints as printf's "%d" and "%0Nd" print them, without
// the cost of parsing a format for every field: the rewriters print nine
// numbers for every subtitle.
#pragma once

#include <cstddef>
#include <cstring>

namespace mendra {

// Longest text of an int: a sign and ten digits (more only when a larger
// width asks for padding).
constexpr std::size_t kMaxIntChars = 11;

// "00" to "99", for writing two digits at a time.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Any value and width; append_int's general case.
char* append_any_int(char* out, int value, int width);

// Writes `value` at `out` as "%0<width>d" would (width 0: "%d"): a '-' for a
// negative value, then the digits padded with zeros to a total of at least
// `width` characters. Returns the end of what was written. Inline, so that
// with a constant width the clock fields (0 to 999, one to three digits)
// come down to a copy from the table.
[[gnu::always_inline]] inline char* append_int(char* out, int value, int width) {
  if (value < 0 || value >= 1000 || width > 3) return append_any_int(out, value, width);
  const int digits = value < 10 ? 1 : value < 100 ? 2 : 3;
  for (int pad = width - digits; pad > 0; --pad) *out++ = '0';
  if (digits == 3) *out++ = static_cast<char>('0' + value / 100);
  const char* pair = kDigitPairs + std::size_t{2} * static_cast<std::size_t>(value % 100);
  if (digits == 1) {
    *out++ = pair[1];
  } else {
    std::memcpy(out, pair, 2);
    out += 2;
  }
  return out;
}

}  // namespace mendra

// Decimal formatting of ints as printf's "%d" and "%0Nd" print them, without
// the cost of parsing a format for every field: the rewriters print nine
// numbers for every subtitle.
#pragma once

#include <cstddef>

namespace mendra {

// Longest text of an int: a sign and ten digits (more only when a larger
// width asks for padding).
constexpr std::size_t kMaxIntChars = 11;

// Writes `value` at `out` as "%0<width>d" would (width 0: "%d"): a '-' for a
// negative value, then the digits padded with zeros to a total of at least
// `width` characters. Returns the end of what was written.
char* append_int(char* out, int value, int width);

}  // namespace mendra

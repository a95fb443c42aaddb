#include "util/scan.h"

#include <cstdint>
#include <cstring>

#include "util/int_math.h"

namespace mendra {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Text up to the first NUL: what a C string reader would see.
std::string_view c_string_part(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// Reads sign and digits of at most `width` characters (0: unlimited) from
// text[pos]; white space before them is skipped first and does not count.
// Saturates at the int limits.
bool read_int(std::string_view text, std::size_t& pos, std::size_t width, int& value) {
  while (pos < text.size() && is_space(text[pos])) ++pos;
  const std::size_t limit = width == 0 ? text.size() : std::min(text.size(), pos + width);
  std::size_t p = pos;
  bool negative = false;
  if (p < limit && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  if (p >= limit || !is_digit(text[p])) return false;
  std::int64_t magnitude = 0;
  for (; p < limit && is_digit(text[p]); ++p) {
    // Beyond 2^31 the result saturates anyway; stop growing to avoid overflow.
    if (magnitude <= 0x80000000LL) magnitude = magnitude * 10 + (text[p] - '0');
  }
  pos = p;
  value = clamp_to_int(negative ? -magnitude : magnitude);
  return true;
}

}  // namespace

int parse_atoi(std::string_view text) {
  text = c_string_part(text);
  std::size_t pos = 0;
  int value = 0;
  return read_int(text, pos, 0, value) ? value : 0;
}

int scan_ints(std::string_view text, const char* format, int* const* outs, int max_outs) {
  text = c_string_part(text);
  std::size_t pos = 0;
  int converted = 0;
  for (const char* f = format; *f != '\0'; ++f) {
    if (is_space(*f)) {
      while (pos < text.size() && is_space(text[pos])) ++pos;
      continue;
    }
    if (*f == '%' && f[1] != '%') {
      ++f;
      std::size_t width = 0;
      while (is_digit(*f)) width = width * 10 + static_cast<std::size_t>(*f++ - '0');
      if (*f != 'd' || converted >= max_outs) return converted;  // only %d is supported
      int value = 0;
      if (!read_int(text, pos, width, value)) return converted;
      *outs[converted++] = value;
      continue;
    }
    if (*f == '%') ++f;  // "%%" matches a literal percent sign
    if (pos >= text.size() || text[pos] != *f) return converted;
    ++pos;
  }
  return converted;
}

}  // namespace mendra

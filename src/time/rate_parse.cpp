#include "time/rate_parse.h"

#include <cstddef>

#include "util/scan.h"

namespace mendra {

bool lowest_terms_rate(AfterCut::Wide num, AfterCut::Wide den, FrameRate& rate) {
  if (num <= 0 || den <= 0) return false;
  const AfterCut::Wide common = wide_gcd(num, den);
  num /= common;
  den /= common;
  if (num > kMaxRateTerm || den > kMaxRateTerm) return false;
  rate = FrameRate{static_cast<std::int64_t>(num), static_cast<std::int64_t>(den)};
  return true;
}

namespace {

// Wide enough for a decimal's digits scaled to a whole number and then
// multiplied by 1001 in the test against the television rates.
__extension__ using Wide = __int128;

// Digits of a decimal's fraction read at most; with the whole part at most
// kMaxRateTerm, 1001 times the scaled value stays far inside 127 bits. Every
// rate whose denominator is at most kMaxRateTerm needs fewer.
constexpr std::size_t kMaxFractionDigits = 24;

// A number read from more digits than this overflows for sure.
constexpr Wide kMaxDigitValue = static_cast<Wide>(1000000000000000000) * 1000000000000;

// A non-empty run of decimal digits and nothing else; false beyond
// kMaxDigitValue.
bool read_digits(std::string_view text, Wide& value) {
  if (text.empty()) return false;
  value = 0;
  for (const char c : text) {
    if (!is_digit(c) || value > kMaxDigitValue / 10) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// a / b is a decimal with a fraction (b a power of ten above 1). Typed rates
// such as 29.97 and 23.976 are rounded forms of n * 1000/1001; the one whose
// n lies nearest is meant when the value is within 0.1 % of it, that is when
// |a/b - 1000n/1001| < n/1001, or |1001a - 1000nb| < nb.
bool is_television_rate(Wide a, Wide b, Wide& n) {
  constexpr Wide kNtscNum = 1000;
  constexpr Wide kNtscDen = 1001;
  // round(a/b * 1001/1000)
  n = (2 * kNtscDen * a + kNtscNum * b) / (2 * kNtscNum * b);
  if (n < 1) return false;
  Wide distance = kNtscDen * a - kNtscNum * n * b;
  if (distance < 0) distance = -distance;
  return distance < n * b;
}

bool parse_decimal(std::string_view whole_text, std::string_view fraction_text, FrameRate& rate) {
  Wide whole = 0;
  if (!read_digits(whole_text, whole) || fraction_text.empty()) return false;
  for (const char c : fraction_text) {
    if (!is_digit(c)) return false;
  }
  // Trailing zeros say nothing about the value: 25.000 is 25.
  while (!fraction_text.empty() && fraction_text.back() == '0') fraction_text.remove_suffix(1);
  if (fraction_text.empty()) return lowest_terms_rate(whole, 1, rate);
  // Beyond these the value is no usable rate in any case.
  if (whole > kMaxRateTerm || fraction_text.size() > kMaxFractionDigits) return false;
  Wide fraction = 0;
  Wide scale = 1;
  for (const char c : fraction_text) {
    fraction = fraction * 10 + (c - '0');
    scale *= 10;
  }
  const Wide a = whole * scale + fraction;
  Wide n = 0;
  if (is_television_rate(a, scale, n)) return lowest_terms_rate(n * 1000, 1001, rate);
  return lowest_terms_rate(a, scale, rate);
}

}  // namespace

bool parse_frame_rate(std::string_view text, FrameRate& rate) {
  if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
    Wide num = 0;
    Wide den = 0;
    if (!read_digits(text.substr(0, slash), num) || !read_digits(text.substr(slash + 1), den)) {
      return false;
    }
    return lowest_terms_rate(num, den, rate);
  }
  if (const std::size_t point = text.find('.'); point != std::string_view::npos) {
    return parse_decimal(text.substr(0, point), text.substr(point + 1), rate);
  }
  Wide value = 0;
  return read_digits(text, value) && lowest_terms_rate(value, 1, rate);
}

}  // namespace mendra
